#include "shell/ShutDownP.h"

#include "platform/Platform.h"
#include "platform/Text.h"

namespace ShutDownP {

int TerminateProcessByName(const std::string& exeName, const std::string& folder) {
    const std::string wanted = text::lowerAscii(exeName);
    if (wanted.empty()) return 0;
    const int self = platform::currentProcessId();
    const std::string where = folder.empty() ? std::string() : platform::canonicalPath(folder);
    for (const auto& entry : platform::listProcesses()) {
        if (entry.pid == self || text::lowerAscii(entry.name) != wanted) continue;
        if (!where.empty()) {
            const auto sep = entry.path.rfind(platform::kSep);
            if (sep == std::string::npos ||
                platform::canonicalPath(entry.path.substr(0, sep)) != where)
                continue;
        }
        // Only the first match is ended; one that cannot be ended (another user's) still counts.
        platform::killProcess(entry.pid);
        return 1;
    }
    return 0;
}

}  // namespace ShutDownP
