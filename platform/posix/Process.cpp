// Starting programs detached, listing and ending processes.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/Platform.h"
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

void writeAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        size -= static_cast<size_t>(n);
    }
}

// Runs in the started process between fork and exec: only async-signal-safe calls.
[[noreturn]] void execChild(const char* path, char* const* argv, char* const* envp, const char* dir,
                            bool hidden, int errorFd) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP) ::sigaction(sig, &dfl, nullptr);
    }
    // Never read a terminal; a hidden program writes nowhere either.
    const int nullIn = ::open("/dev/null", O_RDONLY);
    if (nullIn >= 0 && nullIn != 0) {
        ::dup2(nullIn, 0);
        ::close(nullIn);
    }
    if (hidden) {
        const int nullOut = ::open("/dev/null", O_WRONLY);
        if (nullOut >= 0) {
            ::dup2(nullOut, 1);
            ::dup2(nullOut, 2);
            if (nullOut > 2) ::close(nullOut);
        }
    }
    int err = 0;
    if (dir && *dir && ::chdir(dir) != 0) {
        err = errno;
    } else {
        // Descriptors the caller left inheritable (locks, pipes) stay with the caller.
        ::syscall(SYS_close_range, 3u, ~0u, 4u /* CLOSE_RANGE_CLOEXEC */);
        ::execve(path, argv, envp);
        err = errno;
    }
    writeAll(errorFd, &err, sizeof err);
    ::_exit(127);
}

}  // namespace

int shellExecute(const std::string& file, const std::string& params, const std::string& dir,
                 bool hidden) {
    const std::string path = resolveProgram(file, dir);
    if (path.empty() || !isRunnableFile(path)) return 2;

    // Everything the child needs is prepared before the fork.
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

    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) return 2;

    // Double fork: the started program is adopted by the system and reaped there, so it never
    // lingers as a zombie of ours.
    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(errorPipe[0]);
        ::close(errorPipe[1]);
        return 2;
    }
    if (middle == 0) {
        ::close(errorPipe[0]);
        ::setsid();
        // No fork handlers here: other threads of the caller may have held their locks.
        const pid_t child = ::_Fork();
        if (child < 0) {
            const int err = errno;
            writeAll(errorPipe[1], &err, sizeof err);
            ::_exit(127);
        }
        if (child > 0) ::_exit(0);
        execChild(path.c_str(), argv.data(), envp.data(), workDir.c_str(), hidden, errorPipe[1]);
    }
    ::close(errorPipe[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes at a successful exec; a failed one sends its error number first.
    int childError = 0;
    ssize_t got;
    while ((got = ::read(errorPipe[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    ::close(errorPipe[0]);
    return got == 0 ? 42 : 2;
}

namespace {

constexpr std::string_view kDeletedMark = " (deleted)";

std::string_view baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The executable file name of a process, written into buf: the target of /proc/PID/exe without
// a " (deleted)" mark, else (another user's process, whose link cannot be read) argv[0] of its
// command line. Empty for a process without an executable: a kernel thread, or one that has
// ended (state Z), whose memory and with it both sources are gone. withoutExe tells whether the
// link was missing rather than unreadable.
std::string_view nameOf(int procFd, const char* pidText, char (&buf)[4096], bool* withoutExe) {
    char link[64];
    std::snprintf(link, sizeof link, "%s/exe", pidText);
    const ssize_t n = ::readlinkat(procFd, link, buf, sizeof buf - 1);
    const int err = errno;
    if (withoutExe) *withoutExe = n < 0 && err == ENOENT;
    if (n > 0) {
        std::string_view exe(buf, static_cast<size_t>(n));
        if (exe.size() > kDeletedMark.size() && exe.ends_with(kDeletedMark))
            exe.remove_suffix(kDeletedMark.size());
        return baseName(exe);
    }
    if (err != EACCES && err != EPERM) return {};
    std::snprintf(link, sizeof link, "%s/cmdline", pidText);
    const int fd = ::openat(procFd, link, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    const ssize_t got = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (got <= 0) return {};
    buf[got] = '\0';
    return baseName(std::string_view(buf, std::strlen(buf)));
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
int scanProcesses(const std::function<bool(int, std::string_view)>& visit) {
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
            const std::string_view name = nameOf(procFd, text, buf, &withoutExe);
            if (name.empty()) {
                if (withoutExe) next.emplace_back(pid, e->d_ino);
                continue;
            }
            if (visit(static_cast<int>(pid), name)) stoppedAt = static_cast<int>(pid);
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
    scanProcesses([&list](int pid, std::string_view name) {
        list.push_back(ProcessEntry{pid, std::string(name)});
        return false;
    });
    std::sort(list.begin(), list.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    return list;
}

int findProcess(const std::function<bool(std::string_view name)>& matches) {
    const int pid = scanProcesses([&matches](int, std::string_view name) { return matches(name); });
    return pid > 0 ? pid : 0;
}

std::string processName(int pid) {
    if (pid <= 0) return {};
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
