#pragma once
// Helpers for the Windows build's tests, without Qt: a temporary folder that cleans up after
// itself, the helper programs built beside the tests, waiting for files and processes.

#include <string>
#include <vector>

namespace wintest {

// A fresh folder under the user's temporary folder, removed with everything in it when the object
// goes. Its path holds a blank.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& str() const { return m_path; }
    // str() + "\" + name, made as a folder (with parents) when mkdir is true.
    std::string sub(const std::string& name, bool mkdir = false) const;

private:
    std::string m_path;
};

// True when the system's ANSI code page is GBK (936), so that Chinese names can be carried. The
// wine run sets it (LC_ALL=zh_CN.UTF-8); tests of Chinese names are skipped without it.
bool systemCodePageIsGbk();
#define WINTEST_NEEDS_GBK()                                                                 \
    if (!wintest::systemCodePageIsGbk())                                                    \
    GTEST_SKIP() << "needs the GBK code page (the wine run sets LC_ALL=zh_CN.UTF-8, which " \
                    "scripts/test-windows makes available)"

// Path of a program built beside the tests (e.g. "sw_win_argecho.exe").
std::string builtHelper(const std::string& fileName);
// Copies source to folder\name (making the folder). Empty on failure.
std::string stageCopy(const std::string& source, const std::string& folder,
                      const std::string& name);

// Waits until the file exists; false after a minute without it.
bool waitForFile(const std::string& path);
// Waits until the process has ended (it need not be ours); false after a minute.
bool waitForExit(int pid);
// Ends the process and waits until it is gone.
void killAndWait(int pid);
// Pids of the live processes with exactly this name.
std::vector<int> pidsNamed(const std::string& name);

// Every entry of a folder, hidden and system ones included, sorted; names as UTF-8.
std::vector<std::string> allEntries(const std::string& dir);
// Makes a file through the wide call, for names that the code page cannot carry.
bool makeFileWide(const std::string& path);

// The records of a file written by the echo helper: fields ended by NUL bytes.
std::vector<std::string> readRecords(const std::string& path);

}  // namespace wintest
