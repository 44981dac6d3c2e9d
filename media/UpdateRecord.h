#pragma once
// The outcome of an update, left by Powerloop in the program folder for the next Stitchwell start
// to show once and delete: a small text of ours, the outcome's word on its first line and the
// reason (Powerloop's own words) after it. Also the lock Powerloop holds while it replaces files,
// which tells a starting Stitchwell that an update is being installed. Qt-free.

#include <cstdint>
#include <optional>
#include <string>

namespace UpdateRecord {

enum class Outcome { Replaced, Unchanged, GaveUpWaiting };

inline constexpr const char* kFileName = "更新结果.txt";
inline constexpr const char* kUpdateLock = "Powerloop.lock";
// A record longer than this is not one of ours.
inline constexpr std::int64_t kMaxBytes = 16 * 1024;

// The record's text.
std::string Text(Outcome outcome, const std::string& reason);
// The message (title "消息") for a record's text: what happened, why, and that the old version
// runs when the update did not happen; a text that is not a record gets a message saying so.
std::string Message(const std::string& record);
// Reads the record of the program folder and deletes it: the message to show, or nullopt when
// there is none. A record too long to be ours is deleted unread.
std::optional<std::string> Take(const std::string& programFolder);

}  // namespace UpdateRecord
