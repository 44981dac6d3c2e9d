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

// Runs both attempts in the program folder and removes the probe's files afterwards. onStart sees
// every tool start (may be empty).
ProbeFindings RunAccelerationProbe(
    const std::string& programFolder, const std::function<void()>& pump,
    const std::function<void(const std::string&, const std::string&)>& onStart = {});
