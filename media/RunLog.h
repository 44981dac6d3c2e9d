#pragma once
// The run log, always on (written by the merge run and by Pressling): one dated text file a day,
// "日志/<date>.txt" under the program folder
// (2026-12-09.txt), kept for 30 days, one line per event with its time ("08:05:03 " + text).
// Writing it never stops the caller: a folder that cannot be made or written, or a full disk,
// leaves the log quiet and the run going. Qt-free.

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

class RunLog {
public:
    struct Moment {
        platform::Date date;
        double seconds = 0;  // since midnight
    };
    using Clock = std::function<Moment()>;

    static constexpr int kKeptDays = 30;
    static constexpr const char* kFolderName = "日志";

    // clock: the local date and time of day; empty: the system's.
    explicit RunLog(std::string programFolder, Clock clock = {});

    std::string folder() const;
    std::string fileFor(const platform::Date& date) const;
    static std::string DateText(const platform::Date& date);  // 2026-12-09
    static std::string TimeText(double seconds);              // 08:05:03

    // Appends the line, and the detail lines indented under it, to today's file in one write.
    // True when it was written.
    bool write(const std::string& text, const std::vector<std::string>& detail = {});
    // Removes the day files (named by a date) older than kKeptDays before today; nothing else.
    void prune();

private:
    Moment now() const;

    std::string m_programFolder;
    Clock m_clock;
};
