#pragma once
// The transcoders of a run and their pace: started through the tool run with a report in the work
// folder, a pause after a start in one-by-one mode that ends when the transcoder does, a bound on
// how many run at once in parallel mode, and the waits, with the window's events pumped and the
// stop tested. A hardware form that fails while more of its sessions ran than the graphics card
// takes is held to one fewer for the rest of the run.

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "media/ToolRun.h"
#include "merge/MergeHost.h"

class PassTools {
public:
    struct Env {
        std::string programFolder;
        ToolRun::StartRecord onToolStart;  // may be empty
        int processors = 0;                // the machine's logical processors; 0: asked of it
    };
    PassTools(Env env, MergeHost& host, std::function<bool()> stopped);

    // How many transcoders of a pass run at once in parallel mode: one per logical processor (at
    // least 2; an unknown count, 0 or less, counts as 2); for a hardware form the sessions the
    // acceleration probe saw run at once (at least 1).
    static int ParallelBound(bool hardware, int hardwareSessions, int processors);

    // Starts the transcoder with its report in `reportFile`; false when it cannot be started.
    bool start(const std::string& params, const std::string& reportFile);
    // A program handed work (the compressor): it outlives the run and this program.
    void handOver(const std::string& file, const std::string& params);

    // One-by-one mode: the pause after a start, until the transcoder has ended, at most 2 s.
    void pauseAfterStart();
    // After a stop or a close: the run's own transcoders that are ending are waited for, as long
    // as the pause after a start at most, so that none still holds a claimed file or runs when
    // the run ends.
    void awaitEnding();
    // Parallel mode: waits until a clip of the given form may start; false on a stop.
    bool awaitRoom(const MergeHost::ClipInputs& inputs, bool hardware);
    // The wait of a tool step: until no transcoder runs (true) or the user stops (false);
    // `between` runs after every look (a status refresh).
    bool waitAll(const std::function<void()>& between);
    // A fixed pause that keeps the window live.
    void hold(float seconds);

    // The hardware sessions of a pass: a new pass, a hardware start, and a failed hardware
    // preparation. After a failure with more than one session at once the form is held to one
    // fewer for the run: {sessions that ran, sessions from now on}.
    void beginPass() { m_hardwareAtOnce = 0; }
    void noteHardwareStart(const std::string& form);
    std::optional<std::pair<int, int>> hardwareFailed();
    void beginRun() { m_lowered.clear(); }

    bool anyRunning() { return m_tools.anyRunning(); }
    void endAll() { m_tools.endAll(); }

private:
    void waitOwnTools(bool stopEnds);
    Env m_env;
    MergeHost& m_host;
    std::function<bool()> m_stopped;
    ToolRun m_tools;
    std::map<std::string, int> m_lowered;  // hardware form -> the sessions it is held to
    int m_hardwareAtOnce = 0;              // the most hardware sessions the pass ran at once
    std::string m_hardwareForm;            // the hardware form the pass used last
};
