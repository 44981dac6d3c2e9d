// Files and folders: lookups, listing, creating, deleting, moving and copying.

#include <windows.h>
// After windows.h:
#include <dbghelp.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/win32/CodePage.h"

namespace platform {

namespace {

using win32::systemPath;

DWORD attributesOf(const std::string& path) {
    const auto p = systemPath(path);
    return p ? ::GetFileAttributesA(p->c_str()) : INVALID_FILE_ATTRIBUTES;
}

bool isFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('\\');
    if (slash == std::string::npos) return ".";
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file's own handle, for reading its facts; folders are not opened.
HANDLE openForFacts(const std::string& path) {
    const auto p = systemPath(path);
    if (!p) return INVALID_HANDLE_VALUE;
    return ::CreateFileA(p->c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
}

std::int64_t ticksOf(const LARGE_INTEGER& t) {
    return static_cast<std::int64_t>(t.QuadPart);
}

std::int64_t now100ns() {
    FILETIME ft{};
    ::GetSystemTimePreciseAsFileTime(&ft);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) |
                                     ft.dwLowDateTime);
}

bool writeAll(HANDLE h, const char* data, size_t size) {
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1 << 20));
        DWORD written = 0;
        if (!::WriteFile(h, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool copyData(HANDLE in, HANDLE out) {
    std::vector<char> buf(1 << 16);
    while (true) {
        DWORD got = 0;
        if (!::ReadFile(in, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr))
            return false;
        if (got == 0) return true;
        if (!writeAll(out, buf.data(), got)) return false;
    }
}

// Takes the read-only mark off a file, so that it can be deleted or replaced as the posix layer
// deletes and replaces read-only files.
bool clearReadOnly(const std::string& ansiPath) {
    const DWORD a = ::GetFileAttributesA(ansiPath.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) ||
        !(a & FILE_ATTRIBUTE_READONLY))
        return false;
    return ::SetFileAttributesA(ansiPath.c_str(), a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

// A name of our own for a temporary file in the folder, made as a new hidden file (so that a
// listing never shows a half-written copy). Empty when none could be made.
std::string newTemporaryFile(const std::string& folder, const std::string& name, HANDLE* out) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = folder + "\\~" + name + "." +
                                 std::to_string(::GetCurrentProcessId()) + "-" +
                                 std::to_string(counter++) + ".tmp";
        const auto t = systemPath(temp);
        if (!t) return {};
        *out = ::CreateFileA(t->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (*out != INVALID_HANDLE_VALUE) return *t;
        if (::GetLastError() != ERROR_FILE_EXISTS) return {};
    }
    return {};
}

}  // namespace

bool pathExists(const std::string& path) {
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool fileExists(const std::string& path) {
    const DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool dirExists(const std::string& path) {
    return isFolder(attributesOf(path));
}

std::int64_t fileSize(const std::string& path) {
    const auto p = systemPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!p || !::GetFileAttributesExA(p->c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                     data.nFileSizeLow);
}

std::optional<double> secondsSinceChange(const std::string& path) {
    HANDLE h = openForFacts(path);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    FILE_BASIC_INFO info{};
    const BOOL ok = ::GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info);
    ::CloseHandle(h);
    if (!ok || (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
    // The change time moves with every write and cannot be set back by a copying program (which
    // may give the copy its source's last-write time); the later of the two counts.
    const std::int64_t changed = std::max(ticksOf(info.LastWriteTime), ticksOf(info.ChangeTime));
    return static_cast<double>(now100ns() - changed) / 1e7;
}

std::optional<std::int64_t> freeSpace(const std::string& path) {
    const DWORD a = attributesOf(path);
    if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    std::string folder = win32::nativeSeparators(path);
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) folder = parentOf(folder);
    if (folder.empty() || folder.back() != '\\') folder.push_back('\\');
    const auto f = systemPath(folder);
    ULARGE_INTEGER available{}, total{}, free{};
    if (!f || !::GetDiskFreeSpaceExA(f->c_str(), &available, &total, &free)) return std::nullopt;
    return static_cast<std::int64_t>(available.QuadPart);
}

std::string canonicalPath(const std::string& path) {
    if (path.empty()) return {};
    const auto p = systemPath(path);
    if (!p) return {};
    // Absolute, with "." and ".." resolved.
    std::string full(32768, '\0');
    const DWORD n =
        ::GetFullPathNameA(p->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) return {};
    full.resize(n);
    const auto utf8 = win32::fromCodePage(full);
    if (!utf8) return {};
    std::string absolute = text::withoutTrailingSeparators(*utf8, '\\', text::KeepRoot::Drive);
    // The longest part that exists, with its links resolved and its names as they are written on
    // the disk; the rest as given.
    std::string existing = absolute, rest;
    while (!pathExists(existing)) {
        const std::string parent = parentOf(existing);
        if (parent == existing || parent == ".") return absolute;
        rest.insert(0, nameOf(existing));
        rest.insert(0, 1, '\\');
        existing = parent;
    }
    const auto e = systemPath(existing);
    if (!e) return absolute;
    HANDLE h = ::CreateFileA(e->c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return absolute;
    std::wstring finalPath(32768, L'\0');
    const DWORD m =
        ::GetFinalPathNameByHandleW(h, finalPath.data(), static_cast<DWORD>(finalPath.size()),
                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    ::CloseHandle(h);
    if (m == 0 || m >= finalPath.size()) return absolute;
    finalPath.resize(m);
    if (finalPath.rfind(L"\\\\?\\UNC\\", 0) == 0)
        finalPath = L"\\\\" + finalPath.substr(8);
    else if (finalPath.rfind(L"\\\\?\\", 0) == 0)
        finalPath = finalPath.substr(4);
    const auto resolved = win32::utf8FromWide(finalPath);
    if (!resolved) return absolute;
    return text::withoutTrailingSeparators(*resolved, '\\', text::KeepRoot::Drive) + rest;
}

bool folderWritable(const std::string& dir) {
    if (!dirExists(dir)) return false;
    HANDLE h = INVALID_HANDLE_VALUE;
    const std::string probe = newTemporaryFile(
        text::withoutTrailingSeparators(win32::nativeSeparators(dir), '\\', text::KeepRoot::Drive),
        "write-probe", &h);
    if (probe.empty()) return false;
    // A folder on a full disk still takes an empty file: a byte must go in as well.
    const char byte = 0;
    const bool ok = writeAll(h, &byte, 1) && ::FlushFileBuffers(h);
    ::CloseHandle(h);
    ::DeleteFileA(probe.c_str());
    return ok;
}

std::optional<std::vector<std::string>> listFiles(const std::string& dir, bool withHidden) {
    if (dir.empty() || !systemPath(dir)) return std::nullopt;
    // Read wide, so that a name the code page lacks is seen as such rather than altered.
    const auto pattern = win32::wideFromUtf8(
        text::withoutTrailingSeparators(win32::nativeSeparators(dir), '\\', text::KeepRoot::Drive) +
        "\\*");
    if (!pattern) return std::nullopt;
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileExW(pattern->c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        // Only the root of an empty drive has no entry at all.
        if (::GetLastError() == ERROR_FILE_NOT_FOUND && dirExists(dir))
            return std::vector<std::string>{};
        return std::nullopt;
    }
    std::vector<std::string> names;
    const DWORD skipped =
        withHidden ? FILE_ATTRIBUTE_DIRECTORY
                   : FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
        if (found.dwFileAttributes & skipped) continue;
        // A name that the code page cannot carry is listed all the same: the caller says why it
        // passes it over (systemCarries).
        const auto name = win32::utf8FromWide(found.cFileName);
        if (name) names.push_back(*name);
    } while (::FindNextFileW(find, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(find);
    // A listing cut short (the folder went while it was read) is no listing.
    if (error != ERROR_NO_MORE_FILES) return std::nullopt;
    std::sort(names.begin(), names.end());
    return names;
}

bool makeSurePathExists(const std::string& path) {
    if (path.empty()) return false;
    // The call creates every folder up to the last separator.
    std::string p = win32::nativeSeparators(path);
    if (p.back() != '\\') p.push_back('\\');
    const auto a = systemPath(p);
    if (!a) return false;
    ::MakeSureDirectoryPathExists(a->c_str());
    return dirExists(path);
}

bool deleteTree(const std::string& path) {
    if (path.empty()) return false;
    const std::string p = text::withoutTrailingSeparators(win32::nativeSeparators(path), '\\');
    // Never a drive's root, never a tree named through "." or "..", never a wildcard (the shell
    // would delete every match).
    const std::string name = nameOf(p);
    if (name.empty() || name == "." || name == ".." || p.back() == ':' ||
        p.find_first_of("*?") != std::string::npos)
        return false;
    if (!pathExists(p)) return false;
    const auto a = systemPath(p);
    if (!a) return false;
    // A read-only file of its own is not always taken by the shell (the files inside a folder
    // are); its mark goes first.
    clearReadOnly(*a);
    std::string full(32768, '\0');
    const DWORD n =
        ::GetFullPathNameA(a->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) return false;
    full.resize(n);
    // A list of one name: ends in two NULs.
    full.push_back('\0');
    full.push_back('\0');
    SHFILEOPSTRUCTA op{};
    op.hwnd = nullptr;
    op.wFunc = FO_DELETE;
    op.pFrom = full.c_str();
    op.pTo = "\0";
    // 1044: silent, no confirmation, no error window; nothing goes to the recycle bin.
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    const int result = ::SHFileOperationA(&op);
    return result == 0 && !op.fAnyOperationsAborted && !pathExists(p);
}

bool deleteFile(const std::string& path) {
    const auto p = systemPath(path);
    if (!p || dirExists(path)) return false;
    if (::DeleteFileA(p->c_str())) return true;
    return ::GetLastError() == ERROR_ACCESS_DENIED && clearReadOnly(*p) &&
           ::DeleteFileA(p->c_str());
}

bool moveFileNoReplace(const std::string& from, const std::string& to) {
    const auto a = systemPath(from), b = systemPath(to);
    if (!a || !b) return false;
    // MoveFileA never replaces an existing target; across drives it copies and deletes a file.
    return ::MoveFileA(a->c_str(), b->c_str()) != FALSE;
}

bool copyFileReplace(const std::string& from, const std::string& to) {
    const auto src = systemPath(from), dst = systemPath(to);
    if (!src || !dst) return false;
    HANDLE in = ::CreateFileA(src->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION facts{};
    if (!::GetFileInformationByHandle(in, &facts) ||
        (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(in);
        return false;
    }
    const std::string target = win32::nativeSeparators(to);
    HANDLE out = INVALID_HANDLE_VALUE;
    const std::string temp = newTemporaryFile(parentOf(target), nameOf(target), &out);
    if (temp.empty()) {
        ::CloseHandle(in);
        return false;
    }
    bool ok = copyData(in, out);
    ::CloseHandle(in);
    ok = ok && ::SetFileTime(out, nullptr, nullptr, &facts.ftLastWriteTime);
    ok = ok && ::FlushFileBuffers(out);
    ok = ::CloseHandle(out) && ok;
    constexpr DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (ok && !::MoveFileExA(temp.c_str(), dst->c_str(), flags))
        ok = ::GetLastError() == ERROR_ACCESS_DENIED && clearReadOnly(*dst) &&
             ::MoveFileExA(temp.c_str(), dst->c_str(), flags);
    if (!ok) {
        ::DeleteFileA(temp.c_str());
        return false;
    }
    // The copy takes the source's marks in place of the temporary file's hidden one.
    const DWORD marks = facts.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    ::SetFileAttributesA(dst->c_str(), marks ? marks : FILE_ATTRIBUTE_NORMAL);
    return true;
}

bool appendToFile(const std::string& path, const std::string& text) {
    const auto p = systemPath(path);
    if (!p) return false;
    HANDLE h = ::CreateFileA(p->c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = writeAll(h, text.data(), text.size());
    return ::CloseHandle(h) && ok;
}

std::optional<std::string> readFile(const std::string& path) {
    const auto p = systemPath(path);
    if (!p) return std::nullopt;
    HANDLE h = ::CreateFileA(p->c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string text;
    char buf[1 << 16];
    while (true) {
        DWORD got = 0;
        if (!::ReadFile(h, buf, sizeof buf, &got, nullptr)) {
            ::CloseHandle(h);
            return std::nullopt;
        }
        if (got == 0) break;
        text.append(buf, got);
    }
    ::CloseHandle(h);
    return text;
}

bool writeFile(const std::string& path, const std::string& text) {
    const auto p = systemPath(path);
    if (!p) return false;
    HANDLE h = ::CreateFileA(p->c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = writeAll(h, text.data(), text.size());
    return ::CloseHandle(h) && ok;
}

}  // namespace platform
