// Test helper: starts one tool tied to itself (argv[1] program, argv[2] its parameters, in the
// folder argv[3]), writes the tool's pid into argv[4] (written under another name first, then
// renamed) and then waits until it is ended.

#include <windows.h>

#include <string>

#include "platform/Platform.h"
#include "platform/win32/CodePage.h"

int main(int argc, char** argv) {
    if (argc < 5) return 2;
    std::string a[5];
    for (int i = 1; i < 5; ++i) {
        const auto text = platform::win32::fromCodePage(argv[i]);
        if (!text) return 2;
        a[i] = *text;
    }
    int pid = 0;
    if (platform::startTool(a[1], a[2], a[3], true, &pid) != 42) return 1;
    if (!platform::writeFile(a[4] + ".part", std::to_string(pid))) return 1;
    if (!platform::moveFileNoReplace(a[4] + ".part", a[4])) return 1;
    while (true) ::Sleep(INFINITE);
}
