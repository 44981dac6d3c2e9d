// How much a tool wait costs: polls CountToolProcesses with one PumpEvents per pass for a fixed
// time while a real transcoder (the staged Vidforge.dll copied as Vidforge.exe) encodes, and
// prints the polling process's processor time as a share of the wall time and the delay between
// the transcoder's end and the first poll that no longer sees it.
//
// Usage: tool_poll_bench [poll-seconds=10] [transcode-seconds=10]
// The poll goes on past poll-seconds until it has seen the transcoder end (at most 60 s more).
// Run it while no other Vidforge.exe runs (e.g. under flock /tmp/sw-tools.lock).

#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "media/General.h"
#include "platform/Platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
           u.ru_stime.tv_usec / 1e6;
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Phase {
    long polls = 0;
    Clock::duration inCount{};
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double pollSeconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const double transcodeSeconds = argc > 2 ? std::atof(argv[2]) : 10.0;

    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/bench 程序";
    const std::string exe = folder + "/Vidforge.exe";
    if (!platform::makeSurePathExists(folder) ||
        !platform::copyFileReplace(STITCHWELL_BIN_DIR "/Vidforge.dll", exe) ||
        !QFile::setPermissions(QString::fromStdString(exe),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        std::fprintf(stderr, "cannot stage the transcoder from %s\n", STITCHWELL_BIN_DIR);
        return 1;
    }
    if (General::CountToolProcesses("Vidforge.exe")) {
        std::fprintf(stderr, "another Vidforge.exe is running; run the benchmark alone\n");
        return 1;
    }

    // Real-time input, so the encode lasts about transcodeSeconds whatever the machine's speed.
    const std::string params =
        "-nostdin -y -re -f lavfi -i testsrc2=size=320x240:rate=25:duration=" +
        std::to_string(transcodeSeconds) + " -c:v libx264 -preset ultrafast -pix_fmt yuv420p \"" +
        folder + "/out.mp4\"";
    if (platform::shellExecute(exe, params, folder, true) != platform::kShellStarted) {
        std::fprintf(stderr, "the transcoder did not start\n");
        return 1;
    }
    int pid = 0;
    for (const auto& p : platform::listProcesses())
        if (p.name == "Vidforge.exe") pid = p.pid;
    const int pidFd = pid > 0 ? static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)) : -1;
    if (pidFd < 0) {
        std::fprintf(stderr, "cannot watch the transcoder (pid %d)\n", pid);
        return 1;
    }
    // The moment the transcoder ends, as the kernel reports it.
    std::atomic<Clock::rep> endedAt{0};
    std::thread watcher([pidFd, &endedAt] {
        pollfd p{pidFd, POLLIN, 0};
        while (::poll(&p, 1, -1) < 0) {
        }
        endedAt = Clock::now().time_since_epoch().count();
    });

    const int processCount = static_cast<int>(platform::listProcesses().size());
    const double cpuBefore = cpuSeconds();
    const auto start = Clock::now();
    const auto stop = start + std::chrono::duration<double>(pollSeconds);
    const auto limit = stop + std::chrono::seconds(60);
    // Two phases: while the transcoder runs (each poll finds it), and after its end (each poll
    // reads the whole process list and finds nothing).
    Phase running, after;
    Clock::time_point noticedAt{};
    double cpuAtNotice = 0;
    for (auto now = Clock::now(); now < stop || (noticedAt == Clock::time_point{} && now < limit);
         now = Clock::now()) {
        const auto before = Clock::now();
        const bool found = General::CountToolProcesses("Vidforge.exe");
        const auto done = Clock::now();
        Phase& phase = found ? running : after;
        phase.inCount += done - before;
        ++phase.polls;
        if (!found && running.polls > 0 && noticedAt == Clock::time_point{}) {
            noticedAt = done;
            cpuAtNotice = cpuSeconds();
        }
        General::PumpEvents();
    }
    const auto end = Clock::now();
    const double cpuAfter = cpuSeconds();
    watcher.join();
    ::close(pidFd);

    const double wall = std::chrono::duration<double>(end - start).count();
    std::printf("processes on the machine:        %d\n", processCount);
    std::printf("polling time (wall):             %.3f s, %ld polls (%.1f per second)\n", wall,
                running.polls + after.polls, (running.polls + after.polls) / wall);
    std::printf("processor time of the poller:    %.3f s = %.2f %% of one core (target < 2 %%)\n",
                cpuAfter - cpuBefore, 100.0 * (cpuAfter - cpuBefore) / wall);
    if (running.polls == 0 || noticedAt == Clock::time_point{} || endedAt.load() == 0) {
        std::printf("end of the transcoder:           not seen within the polling time\n");
        return 1;
    }
    const Clock::time_point ended{Clock::duration{endedAt.load()}};
    const double runWall = std::chrono::duration<double>(noticedAt - start).count();
    const double afterWall = std::chrono::duration<double>(end - noticedAt).count();
    std::printf(
        "  while the transcoder ran:      %.3f s wall, %ld polls, %.1f us per poll, "
        "%.2f %% of one core\n",
        runWall, running.polls, ms(running.inCount) * 1000.0 / running.polls,
        100.0 * (cpuAtNotice - cpuBefore) / runWall);
    if (after.polls > 0 && afterWall > 0)
        std::printf(
            "  after its end (nothing found): %.3f s wall, %ld polls, %.1f us per poll, "
            "%.2f %% of one core\n",
            afterWall, after.polls, ms(after.inCount) * 1000.0 / after.polls,
            100.0 * (cpuAfter - cpuAtNotice) / afterWall);
    // The process leaves the list when it drops its memory, a moment before the kernel reports
    // its exit; a negative delay means the poll saw the end first.
    std::printf("end noticed after:               %.2f ms (target < 50 ms)\n",
                ms(noticedAt - ended));
    return 0;
}
