#include "merge/AccelerationProbe.h"

#include <algorithm>
#include <chrono>
#include <span>

#include "media/General.h"
#include "media/ProgramFolder.h"
#include "media/ToolRun.h"
#include "merge/MergeTexts.h"
#include "platform/Diagnostics.h"
#include "platform/Platform.h"

namespace {

long long secondsNow() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

// A failing transcoder leaves an empty output file behind, so the mere existence of the file
// proves nothing: only a readable play length does.
bool playable(const std::string& file) {
    const std::optional<double> played = General::ReadDuration(file);
    return played && *played > 0;
}

// Waits while a transcoder started by one of the runs is running, pumping between two looks, for
// at most limitSeconds; then every transcoder still running is ended. Per run: true when its
// transcoder ended on its own in time.
std::vector<bool> awaitRuns(std::span<ToolRun> runs, const std::function<void()>& pump,
                            double limitSeconds, const std::string& what) {
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(limitSeconds));
    std::vector<bool> ended(runs.size(), false);
    for (;;) {
        bool anyRunning = false;
        for (size_t i = 0; i < runs.size(); ++i) {
            if (!ended[i] && !runs[i].anyRunning()) ended[i] = true;
            anyRunning = anyRunning || !ended[i];
        }
        if (!anyRunning) return ended;
        if (std::chrono::steady_clock::now() >= until) break;
        pump();
    }
    for (size_t i = 0; i < runs.size(); ++i)
        if (!ended[i]) runs[i].endAll();
    diag::note(diag::Area::Tools, "the acceleration probe gave up on " + what + " after " +
                                      std::to_string(limitSeconds) + " s");
    return ended;
}

// One attempt: whole seconds passed (second boundaries counted), or nullopt when the transcoder
// left no playable output.
std::optional<int> attempt(ToolRun& tools, const ProgramFolder& folder, MergeTexts::Encoder enc,
                           const std::function<void()>& pump, double limitSeconds) {
    const long long start = secondsNow();
    tools.start(ProgramFolder::kTranscoder,
                MergeTexts::ProbeCommand(enc, folder.path(), folder.separator()));
    if (!awaitRuns(std::span(&tools, 1), pump, limitSeconds,
                   std::string(MergeTexts::AcceleratorEntry(enc)))[0])
        return std::nullopt;
    const long long seconds = secondsNow() - start;
    if (!playable(folder.probeOutput())) return std::nullopt;
    return static_cast<int>(seconds);
}

void removeSessionOutputs(const ProgramFolder& folder) {
    for (int n = 1; n <= kProbeSessions; ++n) platform::deleteFile(folder.probeSessionOutput(n));
}

// The session round of a form that worked: kProbeSessions of its attempt at once, each into its
// own output; the number that left a playable output, at least 1 (the single attempt worked).
int sessionRound(const ProgramFolder& folder, MergeTexts::Encoder enc,
                 const std::function<void()>& pump,
                 const std::function<void(const std::string&, const std::string&)>& onStart,
                 double limitSeconds) {
    removeSessionOutputs(folder);
    std::vector<ToolRun> runs(kProbeSessions, ToolRun(folder.path(), onStart));
    for (int n = 1; n <= kProbeSessions; ++n)
        runs[n - 1].start(ProgramFolder::kTranscoder,
                          MergeTexts::ProbeCommand(enc, folder.path(), folder.separator(),
                                                   folder.probeSessionOutput(n)));
    const std::vector<bool> ended = awaitRuns(
        runs, pump, limitSeconds, "sessions of " + std::string(MergeTexts::AcceleratorEntry(enc)));
    int worked = 0;
    for (int n = 1; n <= kProbeSessions; ++n)
        if (ended[n - 1] && playable(folder.probeSessionOutput(n))) ++worked;
    removeSessionOutputs(folder);
    return std::max(worked, 1);
}

}  // namespace

std::optional<int> PreferredEncoderIndex(int intelSeconds, int nvidiaSeconds) {
    if (intelSeconds == 0 || nvidiaSeconds == 0) return std::nullopt;
    return nvidiaSeconds > intelSeconds ? 0 : 1;
}

ProbeFindings RunAccelerationProbe(
    const std::string& programFolder, const std::function<void()>& pump,
    const std::function<void(const std::string&, const std::string&)>& onStart,
    double attemptSeconds) {
    const ProgramFolder folder(programFolder);
    ToolRun tools(programFolder, onStart);
    platform::copyFileReplace(folder.shippedTranscoder(), folder.transcoder());
    platform::deleteFile(folder.probeOutput());
    platform::copyFileReplace(folder.probeSample(), folder.probeInput());

    ProbeFindings findings;
    int seconds[2] = {0, 0};
    const MergeTexts::Encoder encoders[2] = {MergeTexts::Encoder::Intel,
                                             MergeTexts::Encoder::Nvidia};
    std::vector<MergeTexts::Encoder> working;
    for (int i = 0; i < 2; ++i) {
        platform::deleteFile(folder.probeOutput());
        if (const auto s = attempt(tools, folder, encoders[i], pump, attemptSeconds)) {
            seconds[i] = *s;
            findings.entries.emplace_back(MergeTexts::AcceleratorEntry(encoders[i]));
            working.push_back(encoders[i]);
        }
    }
    findings.preferredIndex = PreferredEncoderIndex(seconds[0], seconds[1]);
    // After both attempts, so that their timing stays that of one transcoder alone.
    for (MergeTexts::Encoder enc : working)
        findings.sessions.push_back(sessionRound(folder, enc, pump, onStart, attemptSeconds));
    platform::deleteFile(folder.probeInput());
    platform::deleteFile(folder.probeOutput());
    return findings;
}
