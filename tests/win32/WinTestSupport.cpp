#include "tests/win32/WinTestSupport.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/Platform.h"
#include "platform/win32/CodePage.h"

namespace wintest {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::wstring buf(MAX_PATH + 1, L'\0');
    const DWORD n = ::GetTempPathW(static_cast<DWORD>(buf.size()), buf.data());
    buf.resize(n);
    std::string base = platform::win32::utf8FromWide(buf).value_or("C:\\");
    if (!base.empty() && base.back() == '\\') base.pop_back();
    m_path = base + "\\sw test " + std::to_string(::GetCurrentProcessId()) + "-" +
             std::to_string(counter++);
    platform::deleteTree(m_path);
    platform::makeSurePathExists(m_path);
}

TempDir::~TempDir() {
    platform::deleteTree(m_path);
}

std::string TempDir::sub(const std::string& name, bool mkdir) const {
    const std::string path = m_path + "\\" + name;
    if (mkdir) platform::makeSurePathExists(path);
    return path;
}

bool systemCodePageIsGbk() {
    return ::GetACP() == 936;
}

std::string builtHelper(const std::string& fileName) {
    return platform::programFolder() + "\\" + fileName;
}

std::string stageCopy(const std::string& source, const std::string& folder,
                      const std::string& name) {
    if (!platform::makeSurePathExists(folder)) return {};
    const std::string target = folder + "\\" + name;
    return platform::copyFileReplace(source, target) ? target : std::string();
}

bool waitForFile(const std::string& path) {
    for (int i = 0; i < 12000; ++i) {
        if (platform::fileExists(path)) return true;
        ::Sleep(5);
    }
    return false;
}

bool waitForExit(int pid) {
    HANDLE h = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!h) return true;  // gone already
    const bool ended = ::WaitForSingleObject(h, 60000) == WAIT_OBJECT_0;
    ::CloseHandle(h);
    return ended;
}

void killAndWait(int pid) {
    if (pid <= 0) return;
    HANDLE h = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
    if (!h) return;
    ::TerminateProcess(h, 1);
    ::WaitForSingleObject(h, 60000);
    ::CloseHandle(h);
}

std::vector<int> pidsNamed(const std::string& name) {
    std::vector<int> pids;
    for (const auto& p : platform::listProcesses())
        if (p.name == name) pids.push_back(p.pid);
    return pids;
}

std::vector<std::string> allEntries(const std::string& dir) {
    std::vector<std::string> names;
    const auto pattern = platform::win32::wideFromUtf8(dir + "\\*");
    WIN32_FIND_DATAW found{};
    HANDLE find = pattern ? ::FindFirstFileW(pattern->c_str(), &found) : INVALID_HANDLE_VALUE;
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(platform::win32::utf8FromWide(name).value_or("<unreadable>"));
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

bool makeFileWide(const std::string& path) {
    const auto wide = platform::win32::wideFromUtf8(path);
    if (!wide) return false;
    HANDLE h = ::CreateFileW(wide->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    return true;
}

std::vector<std::string> readRecords(const std::string& path) {
    const std::string text = platform::readFile(path).value_or("");
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\0') continue;
        fields.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    return fields;
}

}  // namespace wintest
