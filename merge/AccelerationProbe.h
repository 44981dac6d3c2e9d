#pragma once
// The hardware-acceleration probe: one Intel and one NVIDIA attempt on the shipped sample clip
// with the program folder's transcoder, each judged by the output it left (a playable file), and
// timed in whole seconds. Qt-free; the window's events are pumped between two looks at the
// process list.

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ProbeFindings {
    // The entries of the hardware-encoder list, in the order the attempts found them.
    std::vector<std::string> entries;
    // The list index of the faster encoder when both were found and timed; nullopt when the
    // preferred index keeps its value.
    std::optional<int> preferredIndex;
};

// Index of the preferred encoder after both attempts (durations in whole seconds, 0 for an
// attempt without output); nullopt when the index keeps its value.
std::optional<int> PreferredEncoderIndex(int intelSeconds, int nvidiaSeconds);

// How long one attempt may take before it is given up and counted as not working: the sample is
// 2 s of 320×180 (50 frames) made 720×1280; the slowest encoder, a hardware one that has to set up
// its device first, finishes such a job within a few seconds, so 30 s only ever cuts off a
// transcoder that hangs (in a driver, or waiting for a device that never answers).
inline constexpr double kProbeAttemptSeconds = 30;

// Runs both attempts in the program folder and removes the probe's files afterwards. An attempt
// waits only for the transcoder it started (transcoders elsewhere on the machine do not hold it),
// and for at most attemptSeconds: then that transcoder is ended and the form counts as not
// working. onStart sees every tool start (may be empty).
ProbeFindings RunAccelerationProbe(
    const std::string& programFolder, const std::function<void()>& pump,
    const std::function<void(const std::string&, const std::string&)>& onStart = {},
    double attemptSeconds = kProbeAttemptSeconds);
