#pragma once
// Reading the media-information library's text reports. Pure functions on the report text
// (UTF-8): no library, no files.
//
// A report holds one parameter per line: a label padded with blanks, a colon and a blank, then
// the value, in sections ("General", "Video", "Audio", ...) separated by empty lines. The
// complete report repeats each parameter in all its forms; the container's play length is in the
// General section, among others as "Duration : 00:01:05.280".

#include <optional>
#include <string>

namespace MediaReport {

// The time text reached from the ninth "Duration" of a complete report: past the word, two
// characters, the next colon, up to the next carriage return, blanks removed at both ends. With
// fewer than nine hits the search starts over from the first hit at or after position 7 and
// counts on. nullopt when the report has no "Duration" or no carriage return follows.
std::optional<std::string> NinthDurationText(const std::string& report);

// Seconds from a time text "hours:minutes:seconds[...]": field 3 read as a leading decimal
// number, fields 1 and 2 converted as whole numbers. nullopt with fewer than three fields or
// when field 1 or 2 is not a number. "00:01:05.250" gives 65.25.
std::optional<double> SecondsFromTimeText(const std::string& text);

// The container's play length from the General section of a complete report in the layout of
// the library on this machine (lines end in a line feed; "Duration" comes as milliseconds, as
// words and as "hh:mm:ss.fff"): the first "Duration" line of the section whose value is exactly
// hours:minutes:seconds. Falls back to the first such line of any section when the General
// section has none. nullopt when there is none at all.
std::optional<double> SectionDuration(const std::string& report);

// The play length in seconds from a complete report: the ninth-hit search where it yields a time
// text of three fields, else the General section's duration. nullopt when neither gives one.
std::optional<double> DurationFromCompleteReport(const std::string& report);

// Width and height from a normal report ("Width : 1 920 pixels" gives "1920"). When the report
// has no width (no "Width" or no "pixels" after it) nothing changes and the result is false;
// when it has a width but no height, width changes, height keeps its value and the result is
// false.
bool VideoSizeFromReport(const std::string& report, std::string& width, std::string& height);

// The display rotation of the first video stream of a normal report ("Rotation : 90°"), in whole
// degrees from 0 to 359; 0 when the report names none.
int RotationFromReport(const std::string& report);

// The leading decimal number of a text: blanks skipped (also between digits), "." as the decimal
// point, an exponent when digits follow it; reading stops at the first character that cannot
// continue the number; 0 for no number ("12abc" -> 12, "1 920 pixels" -> 1920, "1e3" -> 1000).
double LeadingNumber(const std::string& text);

}  // namespace MediaReport
