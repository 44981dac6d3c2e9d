// CountToolProcesses with real transcoder processes (copies of ffmpeg under the tool's name)
// started through the shell start.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>

#include "media/General.h"
#include "media/ToolRun.h"
#include "platform/Platform.h"
#include "tests/platform/ToolProcess.h"
#include "tests/support/TestMedia.h"

namespace {

using testsupport::TempDir;

class ToolProcesses : public ::testing::Test {
protected:
    void SetUp() override {
        // Nobody else's transcoder may run during these tests (they hold the tool lock).
        ASSERT_FALSE(General::CountToolProcesses("Vidforge.exe"));
        m_folder = m_dir.str() + "/程序 it's";
    }
    void TearDown() override {
        for (int pid : m_started) tooltest::killAndWait(pid);
    }
    int start(const std::string& exeName, const std::string& params) {
        const std::string exe = tooltest::stageTranscoder(m_folder, exeName);
        const int pid = exe.empty() ? -1 : tooltest::startAndFind(exe, params);
        if (pid > 0) m_started.push_back(pid);
        return pid;
    }

    TempDir m_dir;
    std::string m_folder;
    std::vector<int> m_started;
};

TEST_F(ToolProcesses, WholeNameInAnyCaseWhileTheTranscoderRuns) {
    const int pid = start("Vidforge.exe", tooltest::longRunParameters());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(General::CountToolProcesses("Vidforge.exe"));
    EXPECT_TRUE(General::CountToolProcesses("vidforge.EXE"));
    EXPECT_TRUE(General::CountToolProcesses("VIDFORGE.EXE"));
    EXPECT_TRUE(General::CountToolProcesses("Vidforge.exe *32"));
    EXPECT_FALSE(General::CountToolProcesses("Vidforge"));
    EXPECT_FALSE(General::CountToolProcesses("idforge.exe"));
    EXPECT_FALSE(General::CountToolProcesses("Vidforge.exe *"));
    EXPECT_FALSE(General::CountToolProcesses(""));
    EXPECT_FALSE(General::CountToolProcesses("Pressling.exe"));

    tooltest::killAndWait(pid);
    EXPECT_FALSE(General::CountToolProcesses("Vidforge.exe"));
}

TEST_F(ToolProcesses, FalseAtTheFirstCallAfterARealTranscodeEnds) {
    const std::string output = m_dir.str() + "/输出 it's.mp4";
    const int pid = start("Vidforge.exe", tooltest::shortRunParameters(1.0, output));
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(General::CountToolProcesses("Vidforge.exe"));
    tooltest::waitForExit(pid);
    // Ended, and never left behind as a zombie that would still count.
    EXPECT_FALSE(General::CountToolProcesses("Vidforge.exe"));
    EXPECT_NEAR(General::ReadDuration(output).value_or(-1), 1.0, 0.05);
}

TEST_F(ToolProcesses, TrueWhileAnyOfSeveralRuns) {
    const int first = start("Vidforge.exe", tooltest::longRunParameters());
    const int second = start("Vidforge.exe", tooltest::longRunParameters());
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    EXPECT_TRUE(General::CountToolProcesses("Vidforge.exe"));
    // Whichever one was seen first, ending it leaves the other to be found.
    tooltest::killAndWait(std::min(first, second));
    EXPECT_TRUE(General::CountToolProcesses("Vidforge.exe"));
    tooltest::killAndWait(std::max(first, second));
    EXPECT_FALSE(General::CountToolProcesses("Vidforge.exe"));
}

TEST_F(ToolProcesses, NamesLongerThanTheKernelsShortName) {
    // 16 characters: the kernel's short process name would cut it to "CompVidforge.ex".
    const int pid = start("CompVidforge.exe", tooltest::longRunParameters());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(General::CountToolProcesses("CompVidforge.exe"));
    EXPECT_TRUE(General::CountToolProcesses("compvidforge.EXE"));
    EXPECT_FALSE(General::CountToolProcesses("CompVidforge.ex"));
    // Another file name of the same program is another tool.
    EXPECT_FALSE(General::CountToolProcesses("Vidforge.exe"));
}

}  // namespace

namespace {

// A long pump ends as soon as a tool of ours ends, or an event handled inside it wakes the
// pumps: the waits of the run look at the process list again at once instead of waiting out
// their pause. (A pump that did not end would hold the test until ctest gives up on it.)
TEST(PumpEvents, EndsWhenAToolOfOursEndsOrAHandlerWakesIt) {
    int argc = 1;
    char name[] = "media_tools";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    TempDir dir;
    ToolRun tools(dir.str());
    const std::string sleeper = tooltest::stageCopy("/bin/sleep", dir.str(), "Vidforge.exe");
    ASSERT_TRUE(tools.start(sleeper, "0.2"));
    ASSERT_TRUE(tools.anyRunning());
    while (tools.anyRunning()) General::PumpEvents(3600 * 1000);
    EXPECT_FALSE(General::CountToolProcesses("Vidforge.exe"));

    bool woken = false;
    QTimer::singleShot(10, [&woken] {
        woken = true;
        General::WakePumps();
    });
    General::PumpEvents(3600 * 1000);
    EXPECT_TRUE(woken);

    // A tool step's wait tells its pump whether the tool still runs: the pump may wait long only
    // then (the end of the tool wakes it), and the last look, with no tool left, comes once.
    ASSERT_TRUE(tools.start(sleeper, "0.2"));
    std::vector<bool> looks;
    EXPECT_TRUE(ToolRun::waitWhileRunning("Vidforge.exe", {}, [&looks](bool running) {
        looks.push_back(running);
        General::PumpEvents(running ? 3600 * 1000 : 0);
    }));
    ASSERT_GE(looks.size(), 2u);
    EXPECT_EQ(std::count(looks.begin(), looks.end(), false), 1);
    EXPECT_FALSE(looks.back());
}

}  // namespace
