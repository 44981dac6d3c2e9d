#pragma once
// The transcoder's own report of a step: it writes one when its environment holds FFREPORT (the
// command texts stay as they are), and the run copies its last lines into the run log when the
// step failed. Pure functions and one file read; Qt-free.

#include <string>
#include <vector>

namespace ToolReport {

// The environment variable the transcoder reads.
inline constexpr const char* kVariable = "FFREPORT";
// The report's level: the transcoder's usual messages (errors, warnings and what it does).
inline constexpr int kLevel = 32;

// The variable's value that makes the transcoder write its report into `path` at `level`: the
// path escaped for the transcoder's option syntax (a backslash before "\", "'" and ":", "%"
// doubled against its name template).
std::string Setting(const std::string& path, int level = kLevel);

// The last `count` lines of a report text that hold more than blanks, without their line ends; a
// line ends at LF or CR (progress lines end with CR).
std::vector<std::string> Tail(const std::string& text, int count);

// Tail of the report file at `path`; empty when there is none.
std::vector<std::string> FileTail(const std::string& path, int count);

}  // namespace ToolReport
