#pragma once
// Small text helpers that every layer shares: blanks, fields, file names, ASCII case, numbers.
// Pure functions, the same on every system.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace text {

// The text without leading and trailing blanks (the character ' ' only).
std::string trimBlanks(std::string_view text);
// The fields between the separators; one field (the whole text) when there is none.
std::vector<std::string> splitAt(std::string_view text, char sep);
// The part of a path after its last separator (the whole path when there is none).
std::string_view baseName(std::string_view path, char sep);
// What a path keeps when its trailing separators go.
enum class KeepRoot {
    Nothing,    // every trailing separator goes: a path of separators only becomes empty
    Separator,  // a path of separators only keeps one (the root "/")
    Drive,      // as Separator, and a drive's root keeps its separator ("C:\" stays whole)
};
// The path without its trailing separators `sep`, but for what `keep` keeps.
std::string withoutTrailingSeparators(std::string path, char sep,
                                      KeepRoot keep = KeepRoot::Separator);
// ASCII letters folded; other bytes (UTF-8 included) stay as they are.
std::string lowerAscii(std::string text);
std::string upperAscii(std::string text);
bool equalsNoCase(std::string_view a, std::string_view b);
bool endsWithNoCase(std::string_view text, std::string_view tail);

// The leading decimal number of the text as std::from_chars reads it ("." as the point); 0 when
// it starts with none.
double parseDouble(std::string_view text);
// Rounds to the given number of decimals, halves to the even neighbour (2.5 -> 2, 0.125 -> 0.12).
// A value is judged by the decimal text it is written as (1.0035 is a half), not by the binary
// fraction stored for it.
double RoundHalfEven(double x, int decimals = 0);
// Plain decimal form: shortest text that gives the value back, at most 15 significant digits,
// no trailing zeros (30 -> "30", 23.456 -> "23.456", 1.5 -> "1.5").
std::string PlainNumber(double x);
// A 16-bit integer from a decimal number (blanks around it allowed, rounded halves to even, in
// -32768..32767); nullopt for anything else.
std::optional<int> toInt16(std::string_view text);

}  // namespace text
