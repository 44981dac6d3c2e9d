// Stand-in for the transcoder in the acceleration probe's tests. Its folder holds behaviour.txt,
// one line per encoder: "<encoder> <write|empty|none> <milliseconds> [align]". It appends the
// command text it was started with to commands.txt, waits the given time (with "align", then on
// to 50 ms past the next whole second), and then copies the input to the output ("write"), makes
// an empty output ("empty", as a transcoder whose encoder fails does) or leaves none ("none").

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"

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

    std::string outcome = "none", align;
    long waitMs = 0;
    std::istringstream behaviour(platform::readFile(folder + "/behaviour.txt").value_or(""));
    for (std::string line; std::getline(behaviour, line);) {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        if (name == encoder) fields >> outcome >> waitMs >> align;
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    if (align == "align") {
        using namespace std::chrono;
        const auto now = system_clock::now();
        std::this_thread::sleep_until(ceil<seconds>(now) + milliseconds(50));
    }
    if (outcome == "write") platform::copyFileReplace(input, output);
    if (outcome == "empty") platform::writeFile(output, "");
    return 0;
}
