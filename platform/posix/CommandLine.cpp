// Reading back the unsplit parameter text a shell start handed over.

#include <cstdlib>

#include "platform/Platform.h"
#include "platform/posix/ShellStart.h"

namespace platform {

std::string rawCommandLine(int argc, char** argv) {
    std::vector<std::string> given;
    for (int i = 1; i < argc; ++i) given.emplace_back(argv[i] ? argv[i] : "");
    if (const char* raw = std::getenv(kShellParamsVariable)) {
        // Only trusted when it is the text this process was really started with (a variable
        // inherited from some other start would not split into our own arguments).
        if (splitCommandLine(raw) == given) return raw;
    }
    std::string joined;
    for (size_t i = 0; i < given.size(); ++i) {
        if (i) joined.push_back(' ');
        joined += given[i];
    }
    return joined;
}

}  // namespace platform
