#pragma once
// Pieces of the shell start and of the command line that the tests check on their own.

#include <cstdint>
#include <string_view>

namespace platform::win32 {

// The shell's answer as the callers know it: every success (a value above 32; Windows gives 42,
// wine 33) is 42, a failure is the shell's error value as it is (2: file not found, 3: path not
// found, 5: access denied, 11: not a program, 31: nothing associated, 0: out of resources).
int shellResult(std::intptr_t value);

// The arguments part of a Windows command line: what follows the program's name (quoted, or up
// to the first blank or tab) and the blanks and tabs after it.
std::string_view argumentsPart(std::string_view commandLine);

}  // namespace platform::win32
