#include "media/RunLog.h"

#include <chrono>
#include <cstdio>

#include "platform/Diagnostics.h"

namespace {

const std::string kCrLf = "\r\n";
const std::string kExtension = ".txt";

std::chrono::sys_days daysOf(const platform::Date& d) {
    return std::chrono::year_month_day{std::chrono::year{d.year},
                                       std::chrono::month{static_cast<unsigned>(d.month)},
                                       std::chrono::day{static_cast<unsigned>(d.day)}};
}

// The date a day file is named by ("2026-12-09.txt"); false for any other name.
bool dateOfName(const std::string& name, platform::Date& date) {
    int y = 0, m = 0, d = 0, used = 0;
    if (std::sscanf(name.c_str(), "%4d-%2d-%2d%n", &y, &m, &d, &used) != 3 || used != 10 ||
        name.substr(10) != kExtension)
        return false;
    date = {y, m, d};
    return std::chrono::year_month_day{std::chrono::year{y},
                                       std::chrono::month{static_cast<unsigned>(m)},
                                       std::chrono::day{static_cast<unsigned>(d)}}
        .ok();
}

}  // namespace

RunLog::RunLog(std::string programFolder, Clock clock)
    : m_programFolder(std::move(programFolder)), m_clock(std::move(clock)) {}

RunLog::Moment RunLog::now() const {
    if (m_clock) return m_clock();
    return {platform::today(), platform::secondsSinceMidnight()};
}

std::string RunLog::folder() const {
    return m_programFolder + platform::sepStr() + kFolderName;
}

std::string RunLog::fileFor(const platform::Date& date) const {
    return folder() + platform::sepStr() + DateText(date) + kExtension;
}

std::string RunLog::DateText(const platform::Date& d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

std::string RunLog::TimeText(double seconds) {
    const int s = seconds < 0 ? 0 : static_cast<int>(seconds) % 86400;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

bool RunLog::write(const std::string& text, const std::vector<std::string>& detail) {
    const Moment at = now();
    std::string lines = TimeText(at.seconds) + " " + text + kCrLf;
    for (const std::string& line : detail) lines += "    " + line + kCrLf;
    const std::string file = fileFor(at.date);
    if (platform::appendToFile(file, lines)) return true;
    if (platform::makeSurePathExists(folder() + platform::sepStr()) &&
        platform::appendToFile(file, lines))
        return true;
    diag::note(diag::Area::Files, "the run log cannot be written: " + file);
    return false;
}

void RunLog::prune() {
    const auto names = platform::listFiles(folder());
    if (!names) return;
    const auto oldest = daysOf(now().date) - std::chrono::days{kKeptDays};
    for (const std::string& name : *names) {
        platform::Date date{};
        if (dateOfName(name, date) && daysOf(date) < oldest)
            platform::deleteFile(folder() + platform::sepStr() + name);
    }
}
