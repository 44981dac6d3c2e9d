#pragma once
// The hardware-acceleration probe: one Intel and one NVIDIA attempt on the shipped sample clip
// with the program folder's transcoder, each judged by the output it left (a playable file), and
// timed in whole seconds; then, for each form that worked, a round of sessions at once that
// establishes how many of them its driver lets run side by side. Qt-free; the window's events are
// pumped between two looks at the process list.

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ProbeFindings {
    // The entries of the hardware-encoder list, in the order the attempts found them.
    std::vector<std::string> entries;
    // How many sessions of each entry's form ran at once with a playable output, 1 to
    // kProbeSessions (same order as entries).
    std::vector<int> sessions;
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

// How many sessions of a working form the probe starts at once. Consumer drivers allow as few as
// 2 to 3 hardware encode sessions (Intel has no fixed limit); more at once would lengthen the
// probe and gain little, since the processor bounds a merge run's transcoders beside them.
inline constexpr int kProbeSessions = 3;

// Runs both attempts in the program folder, then the session round of each form that worked (a
// form that did not work costs nothing more), and removes the probe's files afterwards. An
// attempt or a round waits only for the transcoders it started (transcoders elsewhere on the
// machine do not hold it), and for at most attemptSeconds: then a transcoder still running is
// ended and its attempt or session counts as not working. onStart sees every tool start (may be
// empty).
ProbeFindings RunAccelerationProbe(
    const std::string& programFolder, const std::function<void()>& pump,
    const std::function<void(const std::string&, const std::string&)>& onStart = {},
    double attemptSeconds = kProbeAttemptSeconds);
