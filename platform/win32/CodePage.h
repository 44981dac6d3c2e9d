#pragma once
// Texts between the layer's UTF-8 and what Windows calls take and give: the system's ANSI code
// page for the A calls, UTF-16 for the wide ones. A text that a code page cannot carry is a
// failure, never a text with a '?' or a look-alike character put in.

#include <optional>
#include <string>
#include <string_view>

namespace platform::win32 {

// The code page of the A calls (the system's ANSI code page).
constexpr unsigned kSystemCodePage = 0;  // CP_ACP

// UTF-8 to the code page's bytes; nullopt when the text is not UTF-8 or holds a character that the
// code page cannot carry exactly.
std::optional<std::string> toCodePage(std::string_view utf8, unsigned codePage = kSystemCodePage);
// The code page's bytes to UTF-8; nullopt when they are not valid in that code page.
std::optional<std::string> fromCodePage(std::string_view bytes,
                                        unsigned codePage = kSystemCodePage);
// True when every character of the UTF-8 text can go through the code page.
bool carried(std::string_view utf8, unsigned codePage = kSystemCodePage);
// A path for the A calls: "/" turned into "\" (on the UTF-8 text, where no byte of a character
// can look like a separator), then the system code page; nullopt when it cannot be carried.
std::optional<std::string> systemPath(std::string_view utf8Path);
// The path with "/" turned into "\".
std::string nativeSeparators(std::string_view utf8Path);

std::optional<std::wstring> wideFromUtf8(std::string_view utf8);
// Unpaired surrogates (which Windows names may hold) make it fail.
std::optional<std::string> utf8FromWide(std::wstring_view wide);

}  // namespace platform::win32
