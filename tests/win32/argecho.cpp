// Test helper started through the shell start: writes what it was given into "args.txt" in its
// working folder: its pid, its working folder, whether it was asked to run hidden, the raw
// command line and the arguments (as the C runtime split them, in the system code page, turned
// into UTF-8). Records end in a NUL byte. The file appears whole (written under another name
// first, then renamed).

#include <windows.h>

#include <string>

#include "platform/Platform.h"
#include "platform/win32/CodePage.h"

int main(int argc, char** argv) {
    std::string out;
    const auto record = [&out](const std::string& text) {
        out += text;
        out.push_back('\0');
    };
    record(std::to_string(::GetCurrentProcessId()));
    std::wstring cwd(32768, L'\0');
    cwd.resize(::GetCurrentDirectoryW(static_cast<DWORD>(cwd.size()), cwd.data()));
    record(platform::win32::utf8FromWide(cwd).value_or("<unreadable>"));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    const bool hidden = (startup.dwFlags & STARTF_USESHOWWINDOW) && startup.wShowWindow == SW_HIDE;
    record(hidden ? "hidden" : "shown");
    record(platform::rawCommandLine(argc, argv));
    record(std::to_string(argc - 1));
    for (int i = 1; i < argc; ++i)
        record(platform::win32::fromCodePage(argv[i]).value_or("<unreadable>"));
    if (!platform::writeFile("args.txt.part", out)) return 1;
    return ::MoveFileA("args.txt.part", "args.txt") ? 0 : 1;
}
