#include "tests/platform/ToolProcess.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <chrono>
#include <set>
#include <thread>

#include "platform/Platform.h"
#include "tests/support/TestMedia.h"

namespace tooltest {

std::string stageCopy(const std::string& source, const std::string& folder,
                      const std::string& exeName) {
    if (!platform::makeSurePathExists(folder)) return {};
    const std::string target = folder + platform::sepStr() + exeName;
    if (!platform::copyFileReplace(source, target)) return {};
    QFile(QString::fromStdString(target))
        .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                        QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    return target;
}

std::string stageTranscoder(const std::string& folder, const std::string& exeName) {
    return stageCopy((testsupport::builtBinDir() + "/Vidforge.dll").toStdString(), folder, exeName);
}

std::string longRunParameters() {
    return "-nostdin -re -f lavfi -i anullsrc=r=8000:cl=mono -t 3600 -f null -";
}

std::string shortRunParameters(double seconds, const std::string& output) {
    return "-nostdin -y -f lavfi -i testsrc2=size=176x144:rate=25:duration=" +
           std::to_string(seconds) + " -c:v libx264 -preset ultrafast -pix_fmt yuv420p \"" +
           output + "\"";
}

int startAndFind(const std::string& exePath, const std::string& params) {
    const std::string name = exePath.substr(exePath.rfind('/') + 1);
    const std::string folder = exePath.substr(0, exePath.rfind('/'));
    const auto before = pidsNamed(name);
    const std::set<int> known(before.begin(), before.end());
    if (platform::shellExecute(exePath, params, folder, true) != 42) return -1;
    // The start returns once the program runs, so it is listed already; the loop only guards
    // against a list taken in the same instant.
    while (true) {
        for (int pid : pidsNamed(name))
            if (!known.count(pid)) return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void waitForExit(int pid) {
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) {
        // Not supported: watch the process list instead.
        while (platform::pathExists("/proc/" + std::to_string(pid) + "/exe")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return;
    }
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, -1) < 0) {
    }
    ::close(fd);
}

void killAndWait(int pid) {
    if (pid <= 0) return;
    platform::killProcess(pid);
    waitForExit(pid);
}

}  // namespace tooltest
