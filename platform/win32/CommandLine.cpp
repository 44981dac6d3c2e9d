// The program's own raw command line: what follows its name in the process's command line.

#include <windows.h>

#include "platform/Platform.h"
#include "platform/win32/CodePage.h"
#include "platform/win32/ShellStart.h"

namespace platform {

namespace win32 {

std::string_view argumentsPart(std::string_view commandLine) {
    size_t i = 0;
    const size_t n = commandLine.size();
    if (i < n && commandLine[i] == '"') {
        // A quoted program name runs to the next quote; quotes cannot occur in file names.
        ++i;
        while (i < n && commandLine[i] != '"') ++i;
        if (i < n) ++i;
    }
    while (i < n && commandLine[i] != ' ' && commandLine[i] != '\t') ++i;
    while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    return commandLine.substr(i);
}

}  // namespace win32

std::string rawCommandLine(int, char**) {
    // The A form is the system's own conversion of the command line, which puts look-alikes or
    // '?' in for characters that the code page lacks: it is taken only when the wide form says
    // nothing was lost, else the command line counts as unreadable (empty).
    const char* ansi = ::GetCommandLineA();
    const wchar_t* wide = ::GetCommandLineW();
    if (!ansi || !wide) return {};
    const auto utf8 = win32::utf8FromWide(wide);
    if (!utf8) return {};
    const auto exact = win32::toCodePage(*utf8);
    if (!exact || *exact != ansi) return {};
    const auto text = win32::fromCodePage(win32::argumentsPart(ansi));
    return text.value_or(std::string());
}

}  // namespace platform
