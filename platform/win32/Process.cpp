// Starting programs through the shell, listing processes through Toolhelp32 and ending them.

#include <windows.h>
// After windows.h:
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/Platform.h"
#include "platform/win32/CodePage.h"
#include "platform/win32/ShellStart.h"

namespace platform {

namespace win32 {

namespace {
constexpr std::intptr_t kHighestShellError = 32;  // the shell's error values are 0 to 32
}  // namespace

int shellResult(std::intptr_t value) {
    if (value > kHighestShellError) return kShellStarted;
    return static_cast<int>(value);
}

}  // namespace win32

namespace {

using win32::toCodePage;

// A started program: the handle the start gave, and the system's wait that signals its end.
struct Kept {
    HANDLE process = nullptr;
    HANDLE wait = nullptr;
};

// The programs this process started, by pid. A handle is closed as soon as its program is seen
// ended, so no ended program is kept in the system's tables on our account. The tools
// (startTool) are in one job object that ends them when it closes; it is kept open for the life
// of the process, so the system closes it, and ends the tools, however this process ends.
struct Started {
    std::mutex mutex;
    std::map<DWORD, Kept> handles;
    HANDLE job = nullptr;
};

Started& started() {
    static Started s;
    return s;
}

bool hasEnded(HANDLE process) {
    return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

// Signalled (and reset by the wait that sees it) when a started program ends: an event loop
// that watches it learns of the end at once instead of looking again and again.
HANDLE endedEvent() {
    static const HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

void CALLBACK onStartedEnded(PVOID, BOOLEAN) {
    ::SetEvent(endedEvent());
}

// The system's wait is removed (its callback, when it runs, has run) before the handle it waits
// on is closed.
void release(Kept& kept) {
    if (kept.wait) ::UnregisterWaitEx(kept.wait, INVALID_HANDLE_VALUE);
    ::CloseHandle(kept.process);
}

// With the lock held.
void forgetEnded(Started& s) {
    for (auto it = s.handles.begin(); it != s.handles.end();) {
        if (hasEnded(it->second.process)) {
            release(it->second);
            it = s.handles.erase(it);
        } else {
            ++it;
        }
    }
}

void forgetEnded() {
    Started& s = started();
    std::lock_guard<std::mutex> lock(s.mutex);
    forgetEnded(s);
}

// With the lock held.
HANDLE toolJob(Started& s) {
    if (s.job) return s.job;
    HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits)) {
        ::CloseHandle(job);
        return nullptr;
    }
    s.job = job;
    return job;
}

bool hasSeparator(const std::string& path) {
    return path.find_first_of("\\/:") != std::string::npos;
}

// The file to start: a bare name found in the working folder as that path (the shell searches
// the search path for the others); a relative path with a separator from the caller's folder.
std::string resolveProgram(const std::string& file, const std::string& dir) {
    if (!hasSeparator(file)) {
        if (!dir.empty()) {
            const std::string inWork = win32::nativeSeparators(dir) + "\\" + file;
            if (fileExists(inWork)) return inWork;
        }
        return file;
    }
    return canonicalPath(file);
}

// The shell's value for a system error of a start: its own below 32, 11 for a file that is no
// program, else 2.
int startError(DWORD error) {
    if (error == ERROR_BAD_EXE_FORMAT) return ERROR_BAD_FORMAT;  // the shell's "not a program"
    const bool shellValue = error > 0 && error <= static_cast<DWORD>(win32::kHighestShellError);
    return shellValue ? static_cast<int>(error) : kShellFileNotFound;
}

// Keeps the handle of a started program until it is seen ended, with a wait that signals the end;
// hands out its pid. Without the wait (the system refused it) the end is seen by looking.
void keepStarted(HANDLE process, int* pidOut) {
    Started& s = started();
    std::lock_guard<std::mutex> lock(s.mutex);
    forgetEnded(s);
    const DWORD pid = ::GetProcessId(process);
    const auto [it, kept] = s.handles.emplace(pid, Kept{process, nullptr});
    if (pid == 0 || hasEnded(process) || !kept) {
        if (kept) s.handles.erase(it);
        ::CloseHandle(process);
        ::SetEvent(endedEvent());
    } else if (endedEvent() &&
               !::RegisterWaitForSingleObject(&it->second.wait, process, onStartedEnded, nullptr,
                                              INFINITE, WT_EXECUTEONLYONCE)) {
        it->second.wait = nullptr;
    }
    if (pidOut) *pidOut = static_cast<int>(pid);
}

// A tool is in the job from its first instruction: made suspended, put into the job, then let
// run. A tool that cannot be tied is ended before it ran; a Stitchwell killed at any moment
// leaves none behind.
int startTied(const std::string& program, const std::string& params, const std::string& dir,
              bool hidden, int* pidOut) {
    std::string commandLine = "\"" + program + "\"";
    if (!params.empty()) commandLine += " " + params;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = hidden ? SW_HIDE : SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    const DWORD flags = CREATE_SUSPENDED | (hidden ? CREATE_NO_WINDOW : CREATE_NEW_CONSOLE);
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                          dir.empty() ? nullptr : dir.c_str(), &startup, &info)) {
        return startError(::GetLastError());
    }
    bool tiedOk = false;
    {
        Started& s = started();
        std::lock_guard<std::mutex> lock(s.mutex);
        HANDLE job = toolJob(s);
        tiedOk = job && ::AssignProcessToJobObject(job, info.hProcess);
    }
    if (!tiedOk) {
        ::TerminateProcess(info.hProcess, 1);
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
        return kShellFileNotFound;
    }
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);
    keepStarted(info.hProcess, pidOut);
    return kShellStarted;
}

int start(const std::string& file, const std::string& params, const std::string& dir, bool hidden,
          bool tied, int* pidOut) {
    if (pidOut) *pidOut = 0;
    if (file.empty()) return kShellFileNotFound;
    const std::string program = resolveProgram(file, dir);
    // A folder is opened by the shell in a window, not started; the layer starts programs only.
    if (program.empty() || dirExists(program)) return kShellFileNotFound;
    const auto programText = win32::systemPath(program);
    const auto paramsText = toCodePage(params);
    const auto dirText =
        dir.empty() ? std::optional<std::string>(std::string()) : win32::systemPath(dir);
    if (!programText || !paramsText || !dirText) return kShellFileNotFound;

    if (tied) return startTied(*programText, *paramsText, *dirText, hidden, pidOut);

    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = "open";
    info.lpFile = programText->c_str();
    info.lpParameters = paramsText->empty() ? nullptr : paramsText->c_str();
    info.lpDirectory = dirText->empty() ? nullptr : dirText->c_str();
    info.nShow = hidden ? SW_HIDE : SW_SHOWNORMAL;
    const BOOL ok = ::ShellExecuteExA(&info);
    const auto answer = reinterpret_cast<std::intptr_t>(info.hInstApp);
    if (!ok) {
        if (info.hProcess) ::CloseHandle(info.hProcess);
        // The shell's value when it gave one, else the system's error (its values below 32 are
        // the shell's own: 2 file, 3 path, 5 access, 11 format).
        if (answer > 0 && answer <= win32::kHighestShellError) return win32::shellResult(answer);
        return startError(::GetLastError());
    }
    if (!info.hProcess) return win32::shellResult(answer);  // handed to a running program
    keepStarted(info.hProcess, pidOut);
    return win32::shellResult(answer);
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

// No descriptor tells of the ends here; the event object does.
int startedEndedDescriptor() {
    return -1;
}

void* startedEndedEvent() {
    return endedEvent();
}

void drainStartedEnded() {
    if (endedEvent()) ::ResetEvent(endedEvent());
}

bool startedRunning(int pid) {
    if (pid <= 0) return false;
    Started& s = started();
    std::lock_guard<std::mutex> lock(s.mutex);
    forgetEnded(s);
    return s.handles.count(static_cast<DWORD>(pid)) != 0;
}

bool endStarted(int pid) {
    if (pid <= 0) return false;
    Started& s = started();
    std::lock_guard<std::mutex> lock(s.mutex);
    forgetEnded(s);
    const auto it = s.handles.find(static_cast<DWORD>(pid));
    // The handle keeps the pid from being reused, so this is the program we started.
    return it != s.handles.end() && ::TerminateProcess(it->second.process, 1);
}

namespace {

// What opening a process tells: whether it still runs and its executable's full path. A process
// that ended between the snapshot and the opening cannot be opened (or is opened ended); one that
// cannot be opened for lack of rights (another user's) counts as running, without a path.
struct Opened {
    bool running = false;
    std::string path;
};

Opened openProcess(DWORD pid, bool wantPath) {
    Opened o;
    HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!h) {
        o.running = ::GetLastError() == ERROR_ACCESS_DENIED;
        return o;
    }
    DWORD code = 0;
    o.running = ::GetExitCodeProcess(h, &code) && code == STILL_ACTIVE && !hasEnded(h);
    if (o.running && wantPath) {
        std::wstring buf(32768, L'\0');
        DWORD size = static_cast<DWORD>(buf.size());
        if (::QueryFullProcessImageNameW(h, 0, buf.data(), &size)) {
            buf.resize(size);
            o.path = win32::utf8FromWide(buf).value_or("");
        }
    }
    ::CloseHandle(h);
    return o;
}

// Walks a Toolhelp32 snapshot of the processes; visit gets each pid with its executable name
// (read wide, so that no name is altered on the way). False when no snapshot can be taken.
template <typename Visit>
bool walkSnapshot(Visit&& visit) {
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snap, &entry); more; more = ::Process32NextW(snap, &entry)) {
        if (entry.th32ProcessID == 0) continue;  // the idle process
        const auto name = win32::utf8FromWide(entry.szExeFile);
        if (!name || name->empty()) continue;
        visit(entry.th32ProcessID, *name);
    }
    ::CloseHandle(snap);
    return true;
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<ProcessEntry> listProcesses() {
    forgetEnded();
    std::vector<ProcessEntry> list;
    walkSnapshot([&list](DWORD pid, const std::string& name) {
        Opened o = openProcess(pid, true);
        if (o.running) list.push_back(ProcessEntry{static_cast<int>(pid), name, std::move(o.path)});
    });
    std::sort(list.begin(), list.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    return list;
}

int findProcess(const std::function<bool(std::string_view name)>& matches) {
    forgetEnded();
    std::vector<DWORD> candidates;
    walkSnapshot([&](DWORD pid, const std::string& name) {
        if (matches(name)) candidates.push_back(pid);
    });
    std::sort(candidates.begin(), candidates.end());
    for (DWORD pid : candidates)
        if (openProcess(pid, false).running) return static_cast<int>(pid);
    return 0;
}

std::string processName(int pid) {
    if (pid <= 0) return {};
    const Opened o = openProcess(static_cast<DWORD>(pid), true);
    if (!o.running) return {};
    if (!o.path.empty()) return baseName(o.path);
    // Another user's process: its name from the snapshot.
    std::string name;
    walkSnapshot([&](DWORD p, const std::string& n) {
        if (p == static_cast<DWORD>(pid)) name = n;
    });
    return name;
}

int currentProcessId() {
    return static_cast<int>(::GetCurrentProcessId());
}

bool killProcess(int pid) {
    if (pid <= 0) return false;
    HANDLE h = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!h) return false;
    // A process that has ended (but is held open by someone) cannot be ended again.
    const bool ended = !hasEnded(h) && ::TerminateProcess(h, 0);
    ::CloseHandle(h);
    return ended;
}

}  // namespace platform
