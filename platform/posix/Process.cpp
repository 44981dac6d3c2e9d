// Starting programs detached, listing and ending processes.

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/Diagnostics.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/posix/ShellStart.h"

extern char** environ;

namespace platform {

namespace {

bool isRunnableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string currentFolder() {
    std::string buf(4096, '\0');
    if (!::getcwd(buf.data(), buf.size())) return ".";
    buf.resize(std::strlen(buf.c_str()));
    return buf;
}

std::string absoluteFrom(const std::string& path, const std::string& base) {
    if (!path.empty() && path[0] == '/') return path;
    return base + "/" + path;
}

// The file to start: a name with a separator as given; a bare name from the working folder
// first, then from the search path. Empty when nothing runnable is found.
std::string resolveProgram(const std::string& file, const std::string& dir) {
    if (file.empty()) return {};
    const std::string cwd = currentFolder();
    if (file.find('/') != std::string::npos) return absoluteFrom(file, cwd);
    const std::string work = dir.empty() ? cwd : absoluteFrom(dir, cwd);
    const std::string inWork = work + "/" + file;
    if (isRunnableFile(inWork)) return inWork;
    const char* searchPath = std::getenv("PATH");
    std::string paths = searchPath ? searchPath : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= paths.size()) {
        size_t end = paths.find(':', start);
        if (end == std::string::npos) end = paths.size();
        std::string folder = paths.substr(start, end - start);
        if (folder.empty()) folder = cwd;
        const std::string candidate = absoluteFrom(folder, cwd) + "/" + file;
        if (isRunnableFile(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

// The programs this process started and has not yet reaped, one slot each. A started program is
// reaped by the SIGCHLD handler the moment it ends, so it never lingers as a zombie; the handler
// waits only for these pids, never for children that others (a QProcess) started. A slot holds
// the pid while the program runs, its negative while a caller sends it a signal (the handler then
// leaves it alone, so the pid cannot be reaped and reused in between), 0 when free.
constexpr int kSlots = 512;
std::atomic<pid_t> g_slots[kSlots];
struct sigaction g_previousChildHandler {};

// True when the program of the pid has ended and is reaped now (or was reaped by someone else).
bool reapIfEnded(pid_t pid) {
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    return r == pid || (r < 0 && errno == ECHILD);
}

// Written to (one byte) whenever a started program was reaped, so an event loop that watches the
// read end wakes at once.
int g_endedPipe[2] = {-1, -1};

void reapSlots() {
    bool reaped = false;
    for (auto& slot : g_slots) {
        pid_t pid = slot.load();
        if (pid <= 0) continue;
        if (reapIfEnded(pid) && slot.compare_exchange_strong(pid, 0)) reaped = true;
    }
    if (reaped && g_endedPipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_endedPipe[1], &byte, 1);
    }
}

void onChildEnded(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    reapSlots();
    errno = savedErrno;
    // Whoever handled SIGCHLD before keeps getting it.
    const auto& prev = g_previousChildHandler;
    if (prev.sa_flags & SA_SIGINFO) {
        if (prev.sa_sigaction) prev.sa_sigaction(sig, info, context);
    } else if (prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN && prev.sa_handler) {
        prev.sa_handler(sig);
    }
}

void installChildHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (::pipe2(g_endedPipe, O_NONBLOCK | O_CLOEXEC) != 0) g_endedPipe[0] = g_endedPipe[1] = -1;
        struct sigaction sa {};
        sa.sa_sigaction = onChildEnded;
        sa.sa_flags = SA_SIGINFO | SA_RESTART | SA_NOCLDSTOP;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGCHLD, &sa, &g_previousChildHandler);
    });
}

// Puts a started program into a free slot. A program that ended before it got its slot is reaped
// here. False when every slot is taken (the program is then reaped at a later process-list read).
bool keepStarted(pid_t pid) {
    for (auto& slot : g_slots) {
        pid_t free = 0;
        if (!slot.compare_exchange_strong(free, pid)) continue;
        pid_t mine = pid;
        if (reapIfEnded(pid)) slot.compare_exchange_strong(mine, 0);
        return true;
    }
    return false;
}

std::atomic<pid_t>* slotOf(pid_t pid) {
    if (pid <= 0) return nullptr;
    for (auto& slot : g_slots) {
        const pid_t held = slot.load();
        if (held == pid || held == -pid) return &slot;
    }
    return nullptr;
}

// Started programs that found no slot (more than kSlots at once).
struct Overflow {
    std::mutex mutex;
    std::vector<pid_t> pids;
};

Overflow& overflow() {
    static Overflow s;
    return s;
}

void reapEnded() {
    reapSlots();
    Overflow& s = overflow();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::erase_if(s.pids, [](pid_t pid) { return reapIfEnded(pid); });
}

// Everything the started program needs, prepared before the start: nothing is allocated between
// the start and the program's exec.
struct Launch {
    const char* path = nullptr;
    char* const* argv = nullptr;
    char* const* envp = nullptr;
    const char* dir = nullptr;  // nullptr: the caller's working folder
    bool hidden = true;
    bool tied = false;
    pid_t parent = 0;
    volatile int error = 0;  // errno of the step that failed in the child, 0 when it ran
};

// The started program's surroundings: its own session, default signal handling with nothing
// blocked, no terminal input, no output when hidden, no descriptor of ours beyond 0-2; a tied
// program is ended (SIGKILL) when its starter ends, however the starter ends.
[[noreturn]] void becomeProgram(Launch& l) {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int s = 1; s < NSIG; ++s) {
        if (s != SIGKILL && s != SIGSTOP) ::sigaction(s, &dfl, nullptr);
    }
    if (l.tied) {
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != l.parent) {
            l.error = errno ? errno : ESRCH;
            ::_exit(127);
        }
    }
    ::setsid();
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = l.hidden ? ::open("/dev/null", O_WRONLY) : -1;
    if (in < 0 || ::dup2(in, 0) < 0 ||
        (l.hidden && (out < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0))) {
        l.error = errno ? errno : EBADF;
        ::_exit(127);
    }
    if (l.dir && ::chdir(l.dir) != 0) {
        l.error = errno ? errno : ENOENT;
        ::_exit(127);
    }
    ::close_range(3, ~0U, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(l.path, l.argv, l.envp);
    l.error = errno ? errno : ENOEXEC;
    ::_exit(127);
}

// Starts the program; its pid, or 0 when it did not start (the program then never ran).
pid_t launch(Launch& l) {
    installChildHandler();
    sigset_t all, old;
    sigfillset(&all);
    // No handler of ours may run in the child while it shares our memory.
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    l.parent = ::getpid();
    l.error = 0;
    const pid_t pid = ::vfork();
    if (pid == 0) becomeProgram(l);
    bool started = pid > 0;
    if (started && l.error != 0) {
        // The child ended without running the program; it is ours to reap.
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        started = false;
    } else if (started && !keepStarted(pid)) {
        Overflow& s = overflow();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.pids.push_back(pid);
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return started ? pid : 0;
}

int start(const std::string& file, const std::string& params, const std::string& dir, bool hidden,
          bool tied, int* pidOut) {
    if (pidOut) *pidOut = 0;
    const std::string path = resolveProgram(file, dir);
    if (path.empty() || !isRunnableFile(path)) {
        diag::note(diag::Area::Tools,
                   "starting " + file + " in " + dir + ": no runnable program of that name");
        return kShellFileNotFound;
    }

    std::vector<std::string> args = splitCommandLine(params);
    args.insert(args.begin(), path);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string prefix = std::string(kShellParamsVariable) + "=";
    std::string handedOver = prefix + params;
    std::vector<char*> envp;
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, prefix.c_str(), prefix.size()) != 0) envp.push_back(*e);
    }
    envp.push_back(handedOver.data());
    envp.push_back(nullptr);
    const std::string workDir = dir.empty() ? std::string() : absoluteFrom(dir, currentFolder());

    reapEnded();
    Launch l;
    l.path = path.c_str();
    l.argv = argv.data();
    l.envp = envp.data();
    l.dir = workDir.empty() ? nullptr : workDir.c_str();
    l.hidden = hidden;
    l.tied = tied;
    const pid_t pid = launch(l);
    if (pid <= 0) {
        diag::note(diag::Area::Tools, "starting " + path + " in " + dir +
                                          " failed: " + std::strerror(l.error ? l.error : errno));
        return kShellFileNotFound;
    }
    if (pidOut) *pidOut = static_cast<int>(pid);
    return kShellStarted;
}

}  // namespace

int shellExecute(const std::string& file, const std::string& params, const std::string& dir,
                 bool hidden) {
    return start(file, params, dir, hidden, false, nullptr);
}

int startTool(const std::string& file, const std::string& params, const std::string& dir,
              bool hidden, int* pid) {
    return start(file, params, dir, hidden, true, pid);
}

int startedEndedDescriptor() {
    installChildHandler();
    return g_endedPipe[0];
}

void* startedEndedEvent() {
    return nullptr;
}

void drainStartedEnded() {
    if (g_endedPipe[0] < 0) return;
    char buf[64];
    while (::read(g_endedPipe[0], buf, sizeof buf) > 0) {
    }
}

bool startedRunning(int pid) {
    std::atomic<pid_t>* slot = slotOf(static_cast<pid_t>(pid));
    if (!slot) return false;
    pid_t held = static_cast<pid_t>(pid);
    if (reapIfEnded(held)) {
        slot->compare_exchange_strong(held, 0);
        return false;
    }
    return true;
}

bool endStarted(int pid) {
    std::atomic<pid_t>* slot = slotOf(static_cast<pid_t>(pid));
    if (!slot) return false;
    pid_t held = static_cast<pid_t>(pid);
    // Marked busy, the pid is not reaped (and so not reused) while the signal goes out.
    if (!slot->compare_exchange_strong(held, -held)) return false;
    const bool sent = ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
    pid_t busy = -static_cast<pid_t>(pid);
    slot->compare_exchange_strong(busy, static_cast<pid_t>(pid));
    // A SIGCHLD that came while the slot was busy found nothing to do.
    held = static_cast<pid_t>(pid);
    if (reapIfEnded(held)) slot->compare_exchange_strong(held, 0);
    return sent;
}

namespace {

constexpr std::string_view kDeletedMark = " (deleted)";

// The executable file name of a process, written into buf: the target of /proc/PID/exe without
// a " (deleted)" mark, else (another user's process, whose link cannot be read) argv[0] of its
// command line. Empty for a process without an executable: a kernel thread, or one that has
// ended (state Z), whose memory and with it both sources are gone. withoutExe tells whether the
// link was missing rather than unreadable.
std::string_view nameOf(int procFd, const char* pidText, char (&buf)[4096], bool* withoutExe,
                        std::string_view* fullPath = nullptr) {
    char link[64];
    std::snprintf(link, sizeof link, "%s/exe", pidText);
    const ssize_t n = ::readlinkat(procFd, link, buf, sizeof buf - 1);
    const int err = errno;
    if (withoutExe) *withoutExe = n < 0 && err == ENOENT;
    if (fullPath) *fullPath = {};
    if (n > 0) {
        std::string_view exe(buf, static_cast<size_t>(n));
        if (exe.size() > kDeletedMark.size() && exe.ends_with(kDeletedMark))
            exe.remove_suffix(kDeletedMark.size());
        if (fullPath) *fullPath = exe;
        return text::baseName(exe, '/');
    }
    if (err != EACCES && err != EPERM) return {};
    std::snprintf(link, sizeof link, "%s/cmdline", pidText);
    const int fd = ::openat(procFd, link, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    const ssize_t got = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (got <= 0) return {};
    buf[got] = '\0';
    return text::baseName(std::string_view(buf, std::strlen(buf)), '/');
}

// Entries without an executable (mostly kernel threads) stay so for their life. A scan remembers
// them by pid and by the inode number of their /proc entry, which a new process under a reused
// pid does not share, and reads no link for them next time: a scan costs the folder read plus one
// link read per process that can carry a name, and allocates nothing.
struct ScanMemory {
    std::mutex mutex;
    std::vector<std::pair<long, ino64_t>> nameless;  // ascending pids, as /proc lists them
    std::vector<std::pair<long, ino64_t>> next;
};

ScanMemory& scanMemory() {
    static ScanMemory memory;
    return memory;
}

// Visits every process that has a name, in the order /proc lists them (ascending pids), until
// visit returns true. Returns the pid visit stopped at, 0 when it never did, -1 when /proc
// cannot be read.
int scanProcesses(const std::function<bool(int, std::string_view, std::string_view)>& visit) {
    reapEnded();
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0) return -1;
    ScanMemory& memory = scanMemory();
    std::lock_guard<std::mutex> lock(memory.mutex);
    const auto& known = memory.nameless;
    auto& next = memory.next;
    next.clear();
    size_t k = 0;
    int stoppedAt = 0;
    alignas(dirent64) char entries[32768];
    while (stoppedAt == 0) {
        const ssize_t got = ::getdents64(procFd, entries, sizeof entries);
        if (got <= 0) break;
        for (ssize_t off = 0; off < got && stoppedAt == 0;) {
            const auto* e = reinterpret_cast<const dirent64*>(entries + off);
            off += e->d_reclen;
            const char* text = e->d_name;
            if (text[0] < '1' || text[0] > '9') continue;
            char* end = nullptr;
            const long pid = std::strtol(text, &end, 10);
            if (*end != '\0') continue;
            while (k < known.size() && known[k].first < pid) ++k;
            if (k < known.size() && known[k].first == pid && known[k].second == e->d_ino) {
                next.push_back(known[k]);
                continue;
            }
            char buf[4096];
            bool withoutExe = false;
            std::string_view path;
            const std::string_view name = nameOf(procFd, text, buf, &withoutExe, &path);
            if (name.empty()) {
                if (withoutExe) next.emplace_back(pid, e->d_ino);
                continue;
            }
            if (visit(static_cast<int>(pid), name, path)) stoppedAt = static_cast<int>(pid);
        }
    }
    ::close(procFd);
    if (stoppedAt != 0) {
        // The rest of the list was not read: what was known about it stays.
        while (k < known.size() && known[k].first <= stoppedAt) ++k;
        next.insert(next.end(), known.begin() + static_cast<std::ptrdiff_t>(k), known.end());
    }
    memory.nameless.swap(next);
    return stoppedAt;
}

}  // namespace

std::vector<ProcessEntry> listProcesses() {
    std::vector<ProcessEntry> list;
    scanProcesses([&list](int pid, std::string_view name, std::string_view path) {
        list.push_back(ProcessEntry{pid, std::string(name), std::string(path)});
        return false;
    });
    std::sort(list.begin(), list.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    return list;
}

int findProcess(const std::function<bool(std::string_view name)>& matches) {
    const int pid = scanProcesses(
        [&matches](int, std::string_view name, std::string_view) { return matches(name); });
    return pid > 0 ? pid : 0;
}

std::string processName(int pid) {
    if (pid <= 0) return {};
    reapEnded();
    char pidText[32];
    std::snprintf(pidText, sizeof pidText, "/proc/%d", pid);
    char buf[4096];
    return std::string(nameOf(AT_FDCWD, pidText, buf, nullptr));
}

int currentProcessId() {
    return static_cast<int>(::getpid());
}

bool killProcess(int pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

}  // namespace platform
