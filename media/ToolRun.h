#pragma once
// The one place that starts a tool and waits for it. A tool is started hidden through the shell
// start, from the program folder, tied to this process (it ends when this process ends, however
// that happens) and reaped the moment it ends. A tool step is over when no process of the tool's
// executable name is left in the process list; between two looks at the list the caller pumps
// its window's events and may refresh its status line, and a stop ends the wait. Qt-free.

#include <functional>
#include <string>
#include <vector>

class ToolRun {
public:
    using StartRecord = std::function<void(const std::string& file, const std::string& params)>;

    // folder: the tools' working folder; a bare file name is started from it. onStart sees every
    // start (file, parameter text) before it happens; may be empty.
    explicit ToolRun(std::string folder, StartRecord onStart = {});

    // Starts file with the parameter text. False when it could not be started (missing, not a
    // program); lastStartResult() then holds the shell's answer (2). With a report file the tool
    // gets FFREPORT in its environment (ToolReport) and writes its own messages there.
    bool start(const std::string& file, const std::string& params,
               const std::string& reportFile = {});
    int lastStartResult() const { return m_lastResult; }

    // The wait of a tool step: one look at the process list for exeName, then between() told
    // whether such a process still runs, again and again while one runs and stopped() is false.
    // True when no such process was left, false when the wait ended by a stop. A between() that
    // pauses should pause only while the tool runs: after the last look nothing wakes it.
    static bool waitWhileRunning(const std::string& exeName, const std::function<bool()>& stopped,
                                 const std::function<void(bool running)>& between);

    // Ends every tool started here that still runs; the number ended.
    int endAll();
    // True while a tool started here runs; how many of them run.
    bool anyRunning();
    int runningCount();

    const std::string& folder() const { return m_folder; }

private:
    std::string m_folder;
    StartRecord m_onStart;
    std::vector<int> m_pids;
    int m_lastResult = 0;
};
