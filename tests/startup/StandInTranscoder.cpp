// Stand-in for the transcoder in the acceleration probe's tests. Its folder holds behaviour.txt,
// one line per encoder: "<encoder> <write|empty|none> <milliseconds> [align] [sessions K]". It
// appends the command text it was started with to commands.txt, waits the given time (with
// "align", then on to 50 ms past the next whole second), and then copies the input to the output
// ("write"), makes an empty output ("empty", as a transcoder whose encoder fails does) or leaves
// none ("none"). With "sessions K" only K of it run at once, as a driver that limits its encode
// sessions allows: each takes one of K slot files for its whole run, and one that finds no free
// slot makes an empty output at once.

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"

namespace {

// Takes the first free one of the encoder's slots: a file of this process renamed onto the slot's
// name, which fails while another holds it. The slot's file, or empty when none is free.
std::string takeSlot(const std::string& folder, const std::string& encoder, int slots) {
    const std::string mine =
        folder + "/slot-" + encoder + "." + std::to_string(platform::currentProcessId());
    platform::writeFile(mine, "");
    for (int i = 0; i < slots; ++i) {
        const std::string slot = folder + "/slot-" + encoder + "-" + std::to_string(i);
        if (platform::moveFileNoReplace(mine, slot)) return slot;
    }
    platform::deleteFile(mine);
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = platform::programFolder();
    platform::appendToFile(folder + "/commands.txt", platform::rawCommandLine(argc, argv) + "\n");

    std::vector<std::string> args(argv + 1, argv + argc);
    std::string encoder, input, output;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-c:v") encoder = args[i + 1];
        if (args[i] == "-i") input = args[i + 1];
    }
    if (!args.empty()) output = args.back();

    std::string outcome = "none";
    bool align = false;
    int slots = 0;  // no limit
    long waitMs = 0;
    std::istringstream behaviour(platform::readFile(folder + "/behaviour.txt").value_or(""));
    for (std::string line; std::getline(behaviour, line);) {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        if (name != encoder) continue;
        fields >> outcome >> waitMs;
        for (std::string field; fields >> field;) {
            if (field == "align") align = true;
            if (field == "sessions") fields >> slots;
        }
    }

    std::string slot;
    if (slots > 0 && (slot = takeSlot(folder, encoder, slots)).empty()) {
        platform::writeFile(output, "");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    if (align) {
        using namespace std::chrono;
        const auto now = system_clock::now();
        std::this_thread::sleep_until(ceil<seconds>(now) + milliseconds(50));
    }
    if (outcome == "write") platform::copyFileReplace(input, output);
    if (outcome == "empty") platform::writeFile(output, "");
    if (!slot.empty()) platform::deleteFile(slot);
    return 0;
}
