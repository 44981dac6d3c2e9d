#include "merge/AccelerationProbe.h"

#include <chrono>

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

// One attempt: whole seconds passed (second boundaries counted), or nullopt when the transcoder
// left no playable output. A failing transcoder leaves an empty output file behind, so the mere
// existence of the file proves nothing.
std::optional<int> attempt(ToolRun& tools, const ProgramFolder& folder, MergeTexts::Encoder enc,
                           const std::function<void()>& pump, double limitSeconds) {
    const std::string tool(ProgramFolder::kTranscoder);
    const long long start = secondsNow();
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(limitSeconds));
    tools.start(tool, MergeTexts::ProbeCommand(enc, folder.path(), folder.separator()));
    while (tools.anyRunning()) {
        if (std::chrono::steady_clock::now() >= until) {
            tools.endAll();
            diag::note(diag::Area::Tools, "the acceleration probe gave up on " +
                                              std::string(MergeTexts::AcceleratorEntry(enc)) +
                                              " after " + std::to_string(limitSeconds) + " s");
            return std::nullopt;
        }
        pump();
    }
    const long long seconds = secondsNow() - start;
    const std::optional<double> played = General::ReadDuration(folder.probeOutput());
    if (!played || *played <= 0) return std::nullopt;
    return static_cast<int>(seconds);
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
    for (int i = 0; i < 2; ++i) {
        platform::deleteFile(folder.probeOutput());
        if (const auto s = attempt(tools, folder, encoders[i], pump, attemptSeconds)) {
            seconds[i] = *s;
            findings.entries.emplace_back(MergeTexts::AcceleratorEntry(encoders[i]));
        }
    }
    findings.preferredIndex = PreferredEncoderIndex(seconds[0], seconds[1]);
    platform::deleteFile(folder.probeInput());
    platform::deleteFile(folder.probeOutput());
    return findings;
}
