// The bell of a program without a window.

#include <fcntl.h>
#include <unistd.h>

#include "platform/Platform.h"

namespace platform {

void terminalBeep() {
    // The controlling terminal, not standard error: the bell reaches the user even when the
    // output is redirected, and a program started detached (no terminal) stays silent.
    const int fd = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;
    const char bell = '\a';
    [[maybe_unused]] const ssize_t n = ::write(fd, &bell, 1);
    ::close(fd);
}

}  // namespace platform
