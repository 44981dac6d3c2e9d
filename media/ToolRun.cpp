#include "media/ToolRun.h"

#include <algorithm>

#include "media/General.h"
#include "media/ToolReport.h"
#include "platform/Diagnostics.h"
#include "platform/Platform.h"

ToolRun::ToolRun(std::string folder, StartRecord onStart)
    : m_folder(std::move(folder)), m_onStart(std::move(onStart)) {}

bool ToolRun::start(const std::string& file, const std::string& params,
                    const std::string& reportFile) {
    if (m_onStart) m_onStart(file, params);
    // Tools that ended are forgotten, so the list stays as long as the tools that run.
    std::erase_if(m_pids, [](int pid) { return !platform::startedRunning(pid); });
    int pid = 0;
    // The report variable is set for this start only: later starts (the compressor) inherit the
    // environment as it was.
    const std::string before = platform::environmentVariable(ToolReport::kVariable);
    if (!reportFile.empty()) {
        platform::deleteFile(reportFile);
        platform::setEnvironmentVariable(ToolReport::kVariable, ToolReport::Setting(reportFile));
    }
    m_lastResult = platform::startTool(file, params, m_folder, true, &pid);
    if (!reportFile.empty()) platform::setEnvironmentVariable(ToolReport::kVariable, before);
    if (m_lastResult != platform::kShellStarted) return false;
    m_pids.push_back(pid);
    diag::note(diag::Area::Tools, "started " + file + " (" + std::to_string(pid) + "): " + params);
    return true;
}

bool ToolRun::waitWhileRunning(const std::string& exeName, const std::function<bool()>& stopped,
                               const std::function<void(bool running)>& between) {
    bool waited = false;
    while (true) {
        const bool busy = General::CountToolProcesses(exeName);
        if (between) between(busy);
        if (!busy) {
            if (waited) diag::note(diag::Area::Tools, "no " + exeName + " runs any more");
            return true;
        }
        waited = true;
        if (stopped && stopped()) return false;
    }
}

int ToolRun::endAll() {
    int ended = 0;
    for (int pid : m_pids)
        if (platform::endStarted(pid)) ++ended;
    m_pids.clear();
    return ended;
}

bool ToolRun::anyRunning() {
    return std::any_of(m_pids.begin(), m_pids.end(),
                       [](int pid) { return platform::startedRunning(pid); });
}

int ToolRun::runningCount() {
    return static_cast<int>(std::count_if(m_pids.begin(), m_pids.end(),
                                          [](int pid) { return platform::startedRunning(pid); }));
}
