// Paths of the running program, the clock, libraries, the environment, the registry and the beep.

#include <windows.h>

#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/win32/CodePage.h"

namespace platform {

const char kSep = '\\';

std::string machineName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size)) return {};
    return win32::utf8FromWide(std::wstring(name, size)).value_or(std::string());
}

std::string programFolder() {
    // Read wide: the folder comes back whole, whatever the code page.
    std::wstring buf(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0 || n >= buf.size()) return ".";
    buf.resize(n);
    const auto path = win32::utf8FromWide(buf);
    if (!path) return ".";
    const auto slash = path->rfind('\\');
    if (slash == std::string::npos) return ".";
    if (slash == 2 && (*path)[1] == ':') return path->substr(0, 3);
    return path->substr(0, slash);
}

double secondsSinceMidnight() {
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    SYSTEMTIME utc{}, local{};
    if (!::FileTimeToSystemTime(&now, &utc) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return 0;
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    // The fraction of the second from the clock's 100 ns ticks (time zones move whole minutes).
    const double fraction = static_cast<double>(ticks % 10000000) / 1e7;
    return local.wHour * 3600.0 + local.wMinute * 60.0 + local.wSecond + fraction;
}

Date today() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    return Date{local.wYear, local.wMonth, local.wDay};
}

void* loadLibrary(const std::string& path) {
    if (path.empty()) return nullptr;
    const auto p = win32::toCodePage(win32::nativeSeparators(path));
    if (!p) return nullptr;
    // A missing or broken library is a failure to report, not a message box for the user.
    DWORD previous = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    HMODULE lib = ::LoadLibraryA(p->c_str());
    ::SetThreadErrorMode(previous, nullptr);
    return reinterpret_cast<void*>(lib);
}

void* librarySymbol(void* lib, const char* name) {
    if (!lib || !name) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(lib), name));
}

void unloadLibrary(void* lib) {
    if (lib) ::FreeLibrary(static_cast<HMODULE>(lib));
}

std::string systemMediaInfoLibrary() {
    return {};  // Windows has no copy of its own: the program folder's is the only one
}

std::string environmentVariable(const char* name) {
    if (!name) return {};
    const auto wideName = win32::wideFromUtf8(name);
    if (!wideName) return {};
    std::wstring value(256, L'\0');
    while (true) {
        const DWORD n = ::GetEnvironmentVariableW(wideName->c_str(), value.data(),
                                                  static_cast<DWORD>(value.size()));
        if (n == 0) return {};
        if (n < value.size()) {
            value.resize(n);
            return win32::utf8FromWide(value).value_or(std::string());
        }
        value.resize(n);
    }
}

bool setEnvironmentVariable(const char* name, const std::string& value) {
    if (!name || !*name) return false;
    const auto wideName = win32::wideFromUtf8(name);
    if (!wideName) return false;
    if (value.empty()) return ::SetEnvironmentVariableW(wideName->c_str(), nullptr) != 0;
    const auto wideValue = win32::wideFromUtf8(value);
    return wideValue && ::SetEnvironmentVariableW(wideName->c_str(), wideValue->c_str()) != 0;
}

namespace {

HKEY rootKey(const std::string& name) {
    struct Root {
        const char* longName;
        const char* shortName;
        HKEY key;
    };
    static const Root roots[] = {
        {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
        {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
        {"HKEY_USERS", nullptr, HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", nullptr, HKEY_CURRENT_CONFIG},
    };
    for (const Root& r : roots)
        if (::lstrcmpiA(name.c_str(), r.longName) == 0 ||
            (r.shortName && ::lstrcmpiA(name.c_str(), r.shortName) == 0))
            return r.key;
    return nullptr;
}

// The key's default value in one view of the registry; nullopt when there is none.
std::optional<std::string> defaultValueIn(HKEY root, const std::string& subKey, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return std::nullopt;
    // Read wide, so that the value comes back whole. Text only; expandable text comes expanded.
    std::optional<std::string> value;
    std::wstring text(256, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LSTATUS status =
            ::RegGetValueW(key, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
        if (status == ERROR_MORE_DATA) {
            text.resize(bytes / sizeof(wchar_t) + 1);
            continue;
        }
        if (status == ERROR_SUCCESS) {
            text.resize(::lstrlenW(text.c_str()));
            value = win32::utf8FromWide(text);
        }
        break;
    }
    ::RegCloseKey(key);
    return value;
}

}  // namespace

bool showFileSelected(const std::string& path) {
    return shellExecute("explorer.exe", "/select,\"" + win32::nativeSeparators(path) + "\"", "",
                        false) == kShellStarted;
}

bool systemCarries(const std::string& utf8) {
    return win32::carried(utf8);
}

std::optional<std::string> toSystemText(const std::string& utf8) {
    return win32::toCodePage(utf8);
}

std::optional<std::string> fromSystemText(const std::string& bytes) {
    return win32::fromCodePage(bytes);
}

bool systemTextIsUtf8() {
    return ::GetACP() == CP_UTF8;
}

std::string registryDefaultValue(const std::string& key) {
    const std::string name = text::withoutTrailingSeparators(key, '\\', text::KeepRoot::Nothing);
    const auto slash = name.find('\\');
    HKEY root = rootKey(name.substr(0, slash));
    if (!root) return {};
    const auto subKey =
        win32::toCodePage(slash == std::string::npos ? std::string() : name.substr(slash + 1));
    if (!subKey) return {};
    // The program's own view first, then the one 32-bit programs (such as many installers) write.
    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)}) {
        if (auto value = defaultValueIn(root, *subKey, view)) return *value;
    }
    return {};
}

Utf8ConversionScope::Utf8ConversionScope() {
    // Nothing to do: wide names go to the system unconverted.
}

Utf8ConversionScope::~Utf8ConversionScope() = default;

void terminalBeep() {
    ::MessageBeep(MB_OK);
}

}  // namespace platform
