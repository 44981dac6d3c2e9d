#include "merge/PassTools.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "media/General.h"
#include "media/ProgramFolder.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace {

const std::string kTool(ProgramFolder::kTranscoder);
// The longest wait between two looks at the process list, and so between two progress texts. A
// wait ends early when a tool of ours ends or the stop is pressed, so it only bounds how late the
// end of someone else's transcoder is seen. Every wake costs the processor: at half a second the
// looks were a sixth of the run's own time with three folders.
constexpr int kPollMs = 1000;
// The longest pause after a transcoder start in one-by-one mode; it ends when the transcoder does.
constexpr double kStartPauseSeconds = 2.0;
// How often a pause or wait that ends with a transcoder of this run looks whether it has ended
// where the end itself does not wake the pump.
constexpr int kToolEndPollMs = 50;

// The pump's wait while a transcoder of this run runs: where the end of a started program wakes
// the pump, a look per kPollMs is enough; elsewhere one per kToolEndPollMs.
int toolEndWaitMs() {
    static const bool woken = General::PumpsWokenByToolEnds();
    return woken ? kPollMs : kToolEndPollMs;
}

}  // namespace

PassTools::PassTools(Env env, MergeHost& host, std::function<bool()> stopped)
    : m_env(std::move(env)),
      m_host(host),
      m_stopped(std::move(stopped)),
      m_tools(m_env.programFolder, m_env.onToolStart) {}

int PassTools::ParallelBound(bool hardware, int hardwareSessions, int processors) {
    if (hardware) return std::max(1, hardwareSessions);
    return std::max(2, processors);
}

bool PassTools::start(const std::string& params, const std::string& reportFile) {
    return m_tools.start(kTool, params, reportFile);
}

void PassTools::handOver(const std::string& file, const std::string& params) {
    if (m_env.onToolStart) m_env.onToolStart(file, params);
    platform::shellExecute(file, params, m_env.programFolder, true);
}

void PassTools::pauseAfterStart() {
    waitOwnTools(true);
}

void PassTools::awaitEnding() {
    waitOwnTools(false);
}

// Pumps while a transcoder of the run runs, the pause after a start at most; the end of one
// wakes the pump. `stopEnds`: the stop ends the wait too.
void PassTools::waitOwnTools(bool stopEnds) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::duration<double>(kStartPauseSeconds);
    while (m_tools.anyRunning() && !(stopEnds && m_stopped())) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) break;
        m_host.pumpEvents(static_cast<int>(std::min<std::int64_t>(left, toolEndWaitMs())));
    }
}

bool PassTools::awaitRoom(const MergeHost::ClipInputs& inputs, bool hardware) {
    const int processors = m_env.processors > 0
                               ? m_env.processors
                               : static_cast<int>(std::thread::hardware_concurrency());
    int sessions = inputs.hardwareSessions;
    if (const auto lowered = m_lowered.find(inputs.accelerator); lowered != m_lowered.end())
        sessions = std::min(sessions, lowered->second);
    const int bound = ParallelBound(hardware, sessions, processors);
    while (m_tools.runningCount() >= bound) {
        if (m_stopped()) return false;
        m_host.pumpEvents(toolEndWaitMs());
    }
    return true;
}

// The poll of a tool step; its pause ends when a tool of ours ends, and after the last look (no
// tool left) only pending events are handled, so the next step follows at once.
bool PassTools::waitAll(const std::function<void()>& between) {
    return ToolRun::waitWhileRunning(kTool, m_stopped, [&](bool running) {
        m_host.pumpEvents(running ? kPollMs : 0);
        between();
    });
}

// A fixed pause (WaitSeconds) pumps window events until its time is up, in waits that end with it.
void PassTools::hold(float seconds) {
    const double start = text::RoundHalfEven(platform::secondsSinceMidnight(), 0);
    General::WaitSeconds(seconds, platform::secondsSinceMidnight, [&] {
        const double left = start + seconds - platform::secondsSinceMidnight();
        m_host.pumpEvents(std::clamp(static_cast<int>(left * 1000) + 1, 1, kPollMs));
    });
}

void PassTools::noteHardwareStart(const std::string& form) {
    m_hardwareForm = form;
    m_hardwareAtOnce = std::max(m_hardwareAtOnce, m_tools.runningCount() + 1);
}

std::optional<std::pair<int, int>> PassTools::hardwareFailed() {
    if (m_hardwareAtOnce <= 1) return std::nullopt;
    m_lowered[m_hardwareForm] = m_hardwareAtOnce - 1;
    return std::make_pair(m_hardwareAtOnce, m_hardwareAtOnce - 1);
}
