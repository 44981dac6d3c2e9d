// The window's pump on Windows: a long wait ends when a tool this process started ends, so the
// merge run's waits for its transcoders look again at once instead of every fiftieth of a second.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include "media/General.h"
#include "media/ToolRun.h"
#include "platform/Platform.h"
#include "tests/win32/WinTestSupport.h"

namespace {

TEST(PumpEvents, LongWaitEndsWhenAStartedToolEnds) {
    int argc = 1;
    char name[] = "win32_pump";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    ASSERT_TRUE(General::PumpsWokenByToolEnds());
    wintest::TempDir tmp;
    const std::string exe =
        wintest::stageCopy(wintest::builtHelper("sw_win_sleeper.exe"), tmp.str(), "Vidforge.exe");
    ASSERT_FALSE(exe.empty());
    const std::string stop = tmp.str() + "\\stop";
    ToolRun tools(tmp.str());
    ASSERT_TRUE(tools.start(exe, "\"" + stop + "\""));
    // The tool ends once the pump has begun its wait; without the wake the hour-long wait would
    // hold the test until ctest gives up on it.
    QTimer::singleShot(200, [&] { platform::writeFile(stop, ""); });
    int pumps = 0;
    while (tools.anyRunning()) {
        General::PumpEvents(3600 * 1000);
        ++pumps;
    }
    EXPECT_GE(pumps, 1);
    EXPECT_LE(pumps, 3);  // the timer's event and the end's wake; not a look every so often
    EXPECT_FALSE(General::CountToolProcesses("Vidforge.exe"));
}

}  // namespace
