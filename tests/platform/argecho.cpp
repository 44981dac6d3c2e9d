// Test helper started through the shell start: writes what it was given into "args.txt" in its
// working folder: its own pid and session, facts about its standard streams and terminal, the
// arguments one per record and the raw command line. Records end in a NUL byte. The file appears
// whole (written under another name first, then renamed).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/Platform.h"

namespace {
bool isDevNull(int fd) {
    struct stat a {
    }, b{};
    return ::fstat(fd, &a) == 0 && ::stat("/dev/null", &b) == 0 && a.st_rdev == b.st_rdev &&
           S_ISCHR(a.st_mode);
}
}  // namespace

int main(int argc, char** argv) {
    std::string out;
    const auto record = [&out](const std::string& text) {
        out += text;
        out.push_back('\0');
    };
    record(std::to_string(::getpid()));
    record(std::to_string(::getsid(0)));
    record(isDevNull(0) ? "stdin-null" : "stdin-other");
    record(isDevNull(1) && isDevNull(2) ? "output-null" : "output-other");
    const int tty = ::open("/dev/tty", O_RDONLY | O_NOCTTY);
    record(tty < 0 ? "no-terminal" : "terminal");
    if (tty >= 0) ::close(tty);
    record(platform::rawCommandLine(argc, argv));
    record(std::to_string(argc - 1));
    for (int i = 1; i < argc; ++i) record(argv[i]);
    if (!platform::writeFile("args.txt.part", out)) return 1;
    return std::rename("args.txt.part", "args.txt") == 0 ? 0 : 1;
}
