// Starting programs detached, listing and ending processes.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
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

// The programs this process started and has not yet reaped. A started program is our child;
// once it ends it is reaped at the next start or process-list read, so it never lingers as a
// zombie.
struct Started {
    std::mutex mutex;
    std::vector<pid_t> pids;
};

Started& started() {
    static Started s;
    return s;
}

void reapEnded() {
    Started& s = started();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::erase_if(s.pids, [](pid_t pid) {
        int status = 0;
        pid_t r;
        while ((r = ::waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
        }
        // Gone as well when someone else reaped it (ECHILD).
        return r != 0;
    });
}

// The started program's surroundings: its own session, default signal handling with nothing
// blocked, no terminal input, no output when hidden, no descriptor of ours beyond 0-2.
struct SpawnSetup {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    bool ok = false;

    SpawnSetup(bool hidden, const std::string& dir) {
        if (::posix_spawnattr_init(&attr) != 0) return;
        if (::posix_spawn_file_actions_init(&actions) != 0) {
            ::posix_spawnattr_destroy(&attr);
            return;
        }
        m_initialised = true;
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        int rc = ::posix_spawnattr_setflags(
            &attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        rc |= ::posix_spawnattr_setsigmask(&attr, &none);
        rc |= ::posix_spawnattr_setsigdefault(&attr, &all);
        rc |= ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (hidden) {
            rc |= ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            rc |= ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
        }
        if (!dir.empty()) rc |= ::posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        // Descriptors the caller left inheritable (locks, pipes) stay with the caller.
        rc |= ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        ok = rc == 0;
    }
    ~SpawnSetup() {
        if (!m_initialised) return;
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

private:
    bool m_initialised = false;
};

}  // namespace

int shellExecute(const std::string& file, const std::string& params, const std::string& dir,
                 bool hidden) {
    const std::string path = resolveProgram(file, dir);
    if (path.empty() || !isRunnableFile(path)) return 2;

    // Everything the child needs is prepared before the start.
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
    SpawnSetup setup(hidden, workDir);
    if (!setup.ok) return 2;
    // The start reports a failed exec (and a working folder it cannot enter) as its result.
    pid_t child = 0;
    if (::posix_spawn(&child, path.c_str(), &setup.actions, &setup.attr, argv.data(),
                      envp.data()) != 0)
        return 2;
    Started& s = started();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.pids.push_back(child);
    return 42;
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
