// The run log's files and lines, and the transcoder report's setting and tail, on real files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "media/RunLog.h"
#include "media/ToolReport.h"
#include "platform/Platform.h"
#include "tests/support/TestMedia.h"

namespace {

const std::string S = platform::sepStr();

RunLog::Clock at(platform::Date date, double seconds) {
    return [=] { return RunLog::Moment{date, seconds}; };
}

}  // namespace

// Lines go to the day's file with their time; the folder is made on the first line; the day
// files older than 30 days go and nothing else does.
TEST(RunLog, WritesDatedLinesAndKeepsThirtyDays) {
    testsupport::TempDir tmp;
    const std::string program = tmp.sub("程序 folder", true).toStdString();
    RunLog log(program, at({2026, 3, 5}, 8 * 3600 + 5 * 60 + 3.7));
    EXPECT_EQ(log.folder(), program + S + "日志");
    ASSERT_TRUE(log.write("开始合并", {"a", "b"}));
    ASSERT_TRUE(log.write("用户终止合并"));
    EXPECT_EQ(platform::readFile(program + S + "日志" + S + "2026-03-05.txt").value_or(""),
              "08:05:03 开始合并\r\n    a\r\n    b\r\n08:05:03 用户终止合并\r\n");

    const char* const kept[] = {"2026-02-03.txt", "2026-03-05.txt", "2025-13-01.txt", "notes.txt",
                                "2026-01-01.txt.bak"};
    const char* const gone[] = {"2026-02-02.txt", "2025-12-31.txt"};
    for (const char* name : kept) ASSERT_TRUE(platform::writeFile(log.folder() + S + name, "x"));
    for (const char* name : gone) ASSERT_TRUE(platform::writeFile(log.folder() + S + name, "x"));
    log.prune();
    for (const char* name : kept)
        EXPECT_TRUE(platform::fileExists(log.folder() + S + name)) << name;
    for (const char* name : gone)
        EXPECT_FALSE(platform::fileExists(log.folder() + S + name)) << name;
}

// A log folder that cannot be made (a file stands in its place) or written (read-only, tried as
// an ordinary user) makes the log quiet: write answers false and nothing else happens.
TEST(RunLog, UnwritableFolderLeavesTheLogQuiet) {
    testsupport::TempDir tmp;
    const std::string blocked = tmp.sub("blocked", true).toStdString();
    ASSERT_TRUE(platform::writeFile(blocked + S + "日志", "a file, not a folder"));
    RunLog log(blocked, at({2026, 3, 5}, 0));
    EXPECT_FALSE(log.write("开始合并"));
    log.prune();
    EXPECT_EQ(platform::readFile(blocked + S + "日志").value_or(""), "a file, not a folder");

    const std::string readOnly = tmp.sub("read only", true).toStdString();
    const bool quiet = testsupport::asOrdinaryUser(tmp.str(), [&] {
        ::chmod(readOnly.c_str(), 0555);
        return !RunLog(readOnly, at({2026, 3, 5}, 0)).write("开始合并") &&
               !platform::pathExists(readOnly + S + "日志");
    });
    EXPECT_TRUE(quiet);
}

TEST(ToolReport, SettingEscapesThePathAndTailTakesTheLastLines) {
    const struct {
        std::string path, setting;
    } settings[] = {
        {"/p/Tmps/report-0.log", "file=/p/Tmps/report-0.log:level=32"},
        {"C:\\it's 100%\\r.log", "file=C\\:\\\\it\\'s 100%%\\\\r.log:level=32"},
    };
    for (const auto& c : settings) EXPECT_EQ(ToolReport::Setting(c.path), c.setting) << c.path;

    const struct {
        std::string text;
        int count;
        std::vector<std::string> tail;
    } tails[] = {
        {"", 3, {}},
        {"a\nb\n\n  \nc", 2, {"b", "c"}},
        {"head\r\nframe=1\rframe=2\r\nError: no mp3\n", 2, {"frame=2", "Error: no mp3"}},
        {"only", 5, {"only"}},
    };
    for (const auto& c : tails) EXPECT_EQ(ToolReport::Tail(c.text, c.count), c.tail) << c.text;
}
