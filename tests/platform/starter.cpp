// Test helper: starts one tool tied to itself (argv[1] program, argv[2] its parameters, in the
// folder argv[3]), writes the tool's pid into argv[4] (written under another name first, then
// renamed) and then waits until it is killed.

#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/Platform.h"

int main(int argc, char** argv) {
    if (argc < 5) return 2;
    int pid = 0;
    if (platform::startTool(argv[1], argv[2], argv[3], true, &pid) != 42) return 1;
    const std::string target = argv[4];
    if (!platform::writeFile(target + ".part", std::to_string(pid))) return 1;
    if (std::rename((target + ".part").c_str(), target.c_str()) != 0) return 1;
    while (true) ::pause();
}
