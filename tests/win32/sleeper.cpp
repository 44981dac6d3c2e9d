// Test helper: runs until the file named by its argument exists (without an argument, until it is
// ended), then ends.

#include <windows.h>

#include <string>

#include "platform/Platform.h"
#include "platform/win32/CodePage.h"

int main(int argc, char** argv) {
    const std::string stop =
        argc > 1 ? platform::win32::fromCodePage(argv[1]).value_or("") : std::string();
    while (stop.empty() || !platform::fileExists(stop)) ::Sleep(5);
    return 0;
}
