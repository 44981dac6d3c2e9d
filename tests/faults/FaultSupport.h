#pragma once
// The fault suite's stage: a program folder of its own with the driven Stitchwell (the real
// start-up, window and run with a scripted user), distinct real media, an inventory of every
// file by its bytes, and the processes to aim a fault at.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TestMedia.h"

namespace faults {

// Real media made once (ffmpeg), and copies that differ in their bytes (a remux with a title of
// their own), so that every file of a test can be told apart by its contents.
enum class Kind { Landscape, Portrait, Square, Mp3Short, Mp3Long };
bool putMedia(Kind kind, const std::string& target);

// Every file below the folders, counted by its contents.
std::map<std::string, int> inventory(const std::vector<std::string>& folders);

struct Driven {
    testsupport::TempDir tmp;
    std::string program, control, output, used, settings, home;

    // The program folder (with a blank in its path) holds the driven program as "Stitchwell" and
    // what the build ships; the settings name the output and used-material folders and say that
    // the acceleration probe has run.
    Driven();
    ~Driven();
    std::string folder(const std::string& name) const;  // made when missing

    // Starts the program with these job lines (settings and control are added); its pid. The
    // program is tied to the test: it ends when the test ends.
    int start(const std::vector<std::string>& job);
    std::vector<std::string> log() const;
    // Waits until a line of the log passes the test (false after two minutes without one).
    bool waitForLine(const std::function<bool(const std::string&)>& test) const;
    bool waitForStatus(const std::string& prefix) const;
    bool sawLine(const std::string& line) const;
    int made() const;  // videos counted by the last run, from its log
    // Waits until the program has ended (false after two minutes).
    bool waitForEnd(int pid) const;
    // Live transcoders started from this program folder whose parameters hold `piece`.
    std::vector<int> tools(const std::string& piece = {}) const;
    // Kills, at once, the first transcoder of this folder whose parameters hold `piece`, as soon
    // as there is one (false after two minutes without one).
    bool killTool(const std::string& piece) const;
    // The finished videos of the output folder, each with a play length above 0.
    bool outputsAllGood(std::vector<std::string>* names = nullptr) const;

    std::vector<int> started;
};

}  // namespace faults
