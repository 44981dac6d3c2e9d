// Conversions between UTF-8, UTF-16 and the ANSI code page.

#include "platform/win32/CodePage.h"

#include <windows.h>

#include <climits>

namespace platform::win32 {

namespace {

bool fitsInt(size_t n) {
    return n <= static_cast<size_t>(INT_MAX);
}

std::optional<std::wstring> toWide(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) return std::wstring();
    if (!fitsInt(bytes.size())) return std::nullopt;
    const int in = static_cast<int>(bytes.size());
    const int n =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), in, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), in, wide.data(), n) !=
        n)
        return std::nullopt;
    return wide;
}

// Wide text to the code page, exactly: no best-fit look-alikes, no default character, and the
// bytes must give the same wide text back.
std::optional<std::string> fromWide(std::wstring_view wide, unsigned codePage) {
    if (wide.empty()) return std::string();
    if (!fitsInt(wide.size())) return std::nullopt;
    const unsigned cp = codePage == CP_ACP ? ::GetACP() : codePage;
    const bool utf8 = cp == CP_UTF8;
    // UTF-8 takes neither flag nor the default-character report.
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
    const int in = static_cast<int>(wide.size());
    const int n =
        ::WideCharToMultiByte(cp, flags, wide.data(), in, nullptr, 0, nullptr, usedDefaultOut);
    if (n <= 0 || usedDefault) return std::nullopt;
    std::string bytes(static_cast<size_t>(n), '\0');
    if (::WideCharToMultiByte(cp, flags, wide.data(), in, bytes.data(), n, nullptr,
                              usedDefaultOut) != n ||
        usedDefault)
        return std::nullopt;
    const auto back = toWide(bytes, cp);
    if (!back || *back != wide) return std::nullopt;
    return bytes;
}

}  // namespace

std::optional<std::wstring> wideFromUtf8(std::string_view utf8) {
    return toWide(utf8, CP_UTF8);
}

std::optional<std::string> utf8FromWide(std::wstring_view wide) {
    return fromWide(wide, CP_UTF8);
}

std::optional<std::string> toCodePage(std::string_view utf8, unsigned codePage) {
    const auto wide = wideFromUtf8(utf8);
    if (!wide) return std::nullopt;
    return fromWide(*wide, codePage);
}

std::optional<std::string> fromCodePage(std::string_view bytes, unsigned codePage) {
    const auto wide = toWide(bytes, codePage);
    if (!wide) return std::nullopt;
    return utf8FromWide(*wide);
}

bool carried(std::string_view utf8, unsigned codePage) {
    return toCodePage(utf8, codePage).has_value();
}

std::string nativeSeparators(std::string_view utf8Path) {
    std::string path(utf8Path);
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::optional<std::string> systemPath(std::string_view utf8Path) {
    if (utf8Path.empty()) return std::nullopt;
    return toCodePage(nativeSeparators(utf8Path));
}

}  // namespace platform::win32
