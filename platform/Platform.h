#pragma once
// Operating-system services behind one small interface. Everything here is Qt-free and speaks
// UTF-8 std::string; the implementation is chosen per OS by CMake (platform/posix on this
// machine, platform/win32 on Windows). On Windows every text goes to the system in its ANSI code
// page; a text that the code page cannot carry makes the call fail (false, empty, nullopt, 2)
// rather than reach the system altered.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The separator used when composing paths and command texts ("/" here, "\" on Windows).
extern const char kSep;
std::string sepStr();  // kSep as a one-character string

// Folder of the running executable, without a trailing separator.
std::string programFolder();
// The name this machine has on the network (the computer name); empty when unknown.
std::string machineName();

// ---- processes ---------------------------------------------------------------------------

// The shell start's answers, the Windows shell's values: the program started, and the file missing
// (or, here, not runnable).
inline constexpr int kShellStarted = 42;
inline constexpr int kShellFileNotFound = 2;

// Shell start: starts `file` with the parameter text `params` in the working folder `dir`,
// detached (own session, standard streams on /dev/null when hidden). `file` without a separator
// is looked up in `dir` first, then on the search path. The parameter text is split into argv by
// the Windows command-line rules (splitCommandLine) and is also handed over unsplit so that our own
// programs can read it whole (rawCommandLine). The child never lingers as a zombie.
// Returns kShellStarted when started, kShellFileNotFound when the file is missing or cannot be run
// (as the Windows shell does; on Windows a failure gives the shell's own error value).
// The started program outlives this process (a program handed work, an update program).
int shellExecute(const std::string& file, const std::string& params, const std::string& dir,
                 bool hidden);
// The shell start of a tool: as shellExecute, but the tool is tied to this process and ended when
// this process ends, however it ends (closed, killed, crashed). *pid (when given) receives the
// started tool's process id, 0 when it did not start.
int startTool(const std::string& file, const std::string& params, const std::string& dir,
              bool hidden, int* pid);
// True while a program that this process started (shellExecute or startTool) has not ended.
// Started programs are reaped the moment they end: none lingers as a zombie.
bool startedRunning(int pid);
// Ends a program that this process started, when it still runs; false when it had ended.
bool endStarted(int pid);
// What an event loop watches to learn at once that a program this process started has ended:
// a descriptor that becomes readable (posix; -1 elsewhere), or an event object that becomes
// signalled (Windows; nullptr elsewhere). drainStartedEnded() empties or resets it.
int startedEndedDescriptor();
void* startedEndedEvent();
void drainStartedEnded();

// Splits a parameter text by the Windows command-line rules: blanks and tabs separate words,
// double quotes group words, a backslash is literal unless it stands before a quote.
std::vector<std::string> splitCommandLine(const std::string& text);

// The raw command line of this process: the unsplit text handed over by shellExecute when this
// process was started that way, else the arguments (argv[1..]) joined by one blank. On Windows:
// the process's command line after the program's name (argc and argv are not read).
std::string rawCommandLine(int argc, char** argv);

struct ProcessEntry {
    int pid = 0;
    std::string name;  // executable file name, e.g. "Vidforge.exe"
    std::string path;  // full path of the executable; empty where it cannot be read (another
                       // user's process)
};
// Every live process of the machine (ended but unreaped processes are left out), in pid order.
std::vector<ProcessEntry> listProcesses();
// The first live process, in pid order, whose executable name passes the test; 0 when there is
// none. Reads no more of the list than needed and keeps no names: the cheap form of
// listProcesses for polling.
int findProcess(const std::function<bool(std::string_view name)>& matches);
// Executable file name of one live process; empty when it has ended or has none.
std::string processName(int pid);
int currentProcessId();
// Ends the process at once. False when it cannot be ended.
bool killProcess(int pid);

// ---- files and folders --------------------------------------------------------------------

bool pathExists(const std::string& path);  // file or folder
bool fileExists(const std::string& path);  // regular file
bool dirExists(const std::string& path);
// Length in bytes; 0 when missing.
std::int64_t fileSize(const std::string& path);
// Seconds since the file's contents or length last changed (a copy still being written keeps it
// near 0); nullopt when there is no such file.
std::optional<double> secondsSinceChange(const std::string& path);
// Bytes free for this user on the file system that holds the path; nullopt when unknown.
std::optional<std::int64_t> freeSpace(const std::string& path);
// The path with every link, "." and ".." resolved, when it exists; else the path made absolute
// and cleaned lexically. Empty for an empty path.
std::string canonicalPath(const std::string& path);
// True when the folder takes a new file now (a probe file is made and removed).
bool folderWritable(const std::string& dir);
// Names (no path) of the folder's regular files that are neither hidden nor system files (here:
// names that do not begin with "."), or of all its regular files withHidden; nullopt when the
// folder cannot be listed. Sorted by name. On Windows the list holds names the code page cannot
// carry too (systemCarries tells them), so that a caller can say why it passes them over.
std::optional<std::vector<std::string>> listFiles(const std::string& dir, bool withHidden = false);
// Creates every missing folder of the path. True when the folder exists afterwards.
bool makeSurePathExists(const std::string& path);
// Recursive, silent delete of a folder or file, read-only entries included. False when nothing
// was there or something could not be removed.
bool deleteTree(const std::string& path);
bool deleteFile(const std::string& path);
// Rename that never replaces an existing target; copy + delete across file systems.
bool moveFileNoReplace(const std::string& from, const std::string& to);
// Copies to a temporary name in the target folder, flushed to the disk, then renames over the
// target: after a power cut the target holds either the old or the whole new contents.
bool copyFileReplace(const std::string& from, const std::string& to);
// Appends text to a file, creating it when missing (one open, one write, one close).
bool appendToFile(const std::string& path, const std::string& text);
std::optional<std::string> readFile(const std::string& path);
bool writeFile(const std::string& path, const std::string& text);

// Shows the file selected in the system's file manager ("explorer.exe /select," on Windows); false
// where the system has no such call (the caller opens the file's folder instead).
bool showFileSelected(const std::string& path);

// True when the system's calls for files and programs can carry the text unaltered (on Windows:
// every character is in the ANSI code page); always here.
bool systemCarries(const std::string& utf8);
// A text for a file that a tool reads (a join list, the compression list): in the ANSI code page
// on Windows, UTF-8 here; nullopt when the code page cannot carry it.
std::optional<std::string> toSystemText(const std::string& utf8);
// Such a file's text as UTF-8; nullopt when it is not valid in the code page.
std::optional<std::string> fromSystemText(const std::string& bytes);
// True when the system's text is UTF-8 (always here; on Windows only with code page 65001), false
// when it is a code page that writes a Chinese character in two bytes.
bool systemTextIsUtf8();

// ---- time, libraries, misc -----------------------------------------------------------------

// Local time of day in seconds since midnight, with fractions.
double secondsSinceMidnight();
// Today's local date.
struct Date {
    int year, month, day;
};
Date today();

// Loads a shared library; empty handle when it cannot be loaded.
void* loadLibrary(const std::string& path);
void* librarySymbol(void* lib, const char* name);
void unloadLibrary(void* lib);
// The system's own copy of the media-information library, tried after the program folder's
// "MediaInfoT.dll" ("libmediainfo.so.0" here); empty where there is none.
std::string systemMediaInfoLibrary();

std::string environmentVariable(const char* name);
// Sets a variable of this process's environment, which the programs it starts from now on
// inherit; an empty value removes it. False when it cannot be set.
bool setEnvironmentVariable(const char* name, const std::string& value);

// The default value of a registry key named with its root, such as the key "App Paths\WinRAR.exe"
// under HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion (the name may end in a
// separator, as such names are often written); empty when the key or its value is missing or not
// text, and always empty where there is no registry. Roots: HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG and the short forms HKCR, HKCU, HKLM. A
// 64-bit program also reads the key as 32-bit programs see it when its own view has none.
std::string registryDefaultValue(const std::string& key);

// While alive, the calling thread's multibyte conversions of the C library use UTF-8, whatever
// the process locale is (libraries that turn wide file names into bytes through the C locale
// need it for names with Chinese characters). Nothing to do where wide names go to the system
// unconverted.
class Utf8ConversionScope {
public:
    Utf8ConversionScope();
    ~Utf8ConversionScope();
    Utf8ConversionScope(const Utf8ConversionScope&) = delete;
    Utf8ConversionScope& operator=(const Utf8ConversionScope&) = delete;

private:
    void* m_previous = nullptr;
    void* m_locale = nullptr;
};

// The system beep of a program without a window: the bell character on the controlling
// terminal when there is one; nothing when there is none (a program started hidden).
void terminalBeep();

}  // namespace platform
