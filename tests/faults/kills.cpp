// kill -9 at bad moments: of a transcoder during each step, of Stitchwell itself (then a fresh
// start and a run), of Pressling; and the window closed while a run goes on. Nothing is lost, no
// broken video is left under a finished name, no tool outlives the program that started it.

#include <gtest/gtest.h>
#include <signal.h>

#include "platform/Platform.h"
#include "tests/faults/FaultSupport.h"
#include "tests/platform/ToolProcess.h"

namespace {

using faults::Kind;

struct Material {
    std::string a, b, music;
    std::map<std::string, int> before;
    Material(faults::Driven& d, int clips, Kind mp3) {
        a = d.folder("a 素材");
        b = d.folder("b's");
        music = d.folder("m");
        for (int i = 0; i < clips; ++i) {
            EXPECT_TRUE(faults::putMedia(Kind::Landscape, a + "/l" + std::to_string(i) + ".mp4"));
            EXPECT_TRUE(faults::putMedia(Kind::Portrait, b + "/p" + std::to_string(i) + ".mp4"));
            EXPECT_TRUE(faults::putMedia(mp3, music + "/m" + std::to_string(i) + ".mp3"));
        }
        before = faults::inventory({a, b, music});
    }
    std::vector<std::string> job(const std::string& length, bool parallel) const {
        return {"source=" + a, "source=" + b, "music=" + music, "length=" + length,
                std::string("parallel=") + (parallel ? "1" : "0")};
    }
    void expectConserved(const faults::Driven& d) const {
        EXPECT_EQ(faults::inventory({a, b, music, d.used}), before);
    }
};

bool noToolsLeft(const faults::Driven& d) {
    for (int i = 0; i < 12000; ++i) {
        if (d.tools().empty()) return true;
        ::usleep(10000);
    }
    return false;
}

// The transcoder dies in the middle of a step: that pass makes nothing (the reason is shown), the
// run goes on by itself and makes its videos.
TEST(Kills, TranscoderKilledInEachStep) {
    struct Case {
        const char* step;
        std::string piece, reason, length;
        Kind mp3;
        bool parallel;
    };
    const Case cases[] = {
        {"normalisation", "/Tmps/1.mp4", "状态：视频预处理失败", "5", Kind::Mp3Long, false},
        {"music", "/Tmps/M.mp3", "", "30", Kind::Mp3Short, true},
        {"final encode", ".partial.mp4", "状态：合并视频失败", "5", Kind::Mp3Long, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        faults::Driven d;
        const Material m(d, 3, c.mp3);
        auto job = m.job(c.length, c.parallel);
        job.push_back("stopAfter=2");
        const int pid = d.start(job);
        ASSERT_GT(pid, 0);
        EXPECT_TRUE(d.killTool(c.piece));
        ASSERT_TRUE(d.waitForEnd(pid));
        EXPECT_EQ(d.made(), 2);
        if (!c.reason.empty()) {
            EXPECT_TRUE(d.waitForStatus(c.reason));
        }
        std::vector<std::string> outputs;
        EXPECT_TRUE(d.outputsAllGood(&outputs));
        EXPECT_EQ(outputs, (std::vector<std::string>{"000000.mp4", "000001.mp4"}));
        m.expectConserved(d);
    }
}

// Stitchwell itself killed: its transcoders die with it, the output folder holds no broken video
// under a finished name, and a fresh start cleans up and makes videos from what is left.
TEST(Kills, StitchwellKilledThenAFreshStartRunsClean) {
    for (const std::string piece : {"/Tmps/0.mp4", ".partial.mp4"}) {
        SCOPED_TRACE(piece);
        faults::Driven d;
        const Material m(d, 2, Kind::Mp3Long);
        const int pid = d.start(m.job("5", true));
        ASSERT_GT(pid, 0);
        // the step is under way: a transcoder of that step runs
        for (int i = 0; i < 120000 && d.tools(piece).empty(); ++i) ::usleep(1000);
        ASSERT_FALSE(d.tools(piece).empty());
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        ASSERT_TRUE(d.waitForEnd(pid));
        EXPECT_TRUE(noToolsLeft(d));
        const auto left = platform::listFiles(d.output, true).value_or(std::vector<std::string>{});
        for (const auto& n : left) EXPECT_NE(n.find(".partial."), std::string::npos) << n;
        m.expectConserved(d);
        // the killed copy's claims are out of sight of the folders' listings
        const auto visible = [&] {
            return platform::listFiles(m.a).value_or(std::vector<std::string>{}).size() +
                   platform::listFiles(m.b).value_or(std::vector<std::string>{}).size() +
                   platform::listFiles(m.music).value_or(std::vector<std::string>{}).size();
        };
        EXPECT_LT(visible(), 6u);

        auto job = m.job("5", true);
        job.push_back("stopAfter=1");
        const int again = d.start(job);
        ASSERT_GT(again, 0);
        ASSERT_TRUE(d.waitForEnd(again));
        EXPECT_EQ(d.made(), 1);
        // the next start gave every claim back: one video took one clip of each folder and an mp3
        EXPECT_EQ(visible(), 3u);
        std::vector<std::string> outputs;
        EXPECT_TRUE(d.outputsAllGood(&outputs));
        EXPECT_EQ(outputs, std::vector<std::string>{"000000.mp4"});
        m.expectConserved(d);
    }
}

// Pressling killed while it re-encodes: its transcoder copy ends with it, the video is as it was.
TEST(Kills, PresslingKilledTakesItsTranscoderAlong) {
    faults::Driven d;
    const std::string video = d.output + "/000000.mp4";
    ASSERT_TRUE(testsupport::makeVideo(QString::fromStdString(video), 640, 360, 20, true));
    const std::string bytes = platform::readFile(video).value_or("");
    ASSERT_TRUE(
        platform::copyFileReplace(d.program + "/Vidforge.dll", d.program + "/Vidforge.exe"));
    ASSERT_TRUE(
        platform::copyFileReplace(d.program + "/Pressling.dll", d.program + "/Pressling.exe"));
    ASSERT_TRUE(platform::writeFile(d.program + "/CompList.txt", video + "\r\n"));
    const std::string params =
        d.program + "\tVidforge.exe\t" + d.program + "/CompList.txt\t32\t25\t10000";
    const int pressling = tooltest::startAndFind(d.program + "/Pressling.exe", params);
    ASSERT_GT(pressling, 0);
    std::vector<int> copies;
    for (int i = 0; i < 120000 && copies.empty(); ++i, ::usleep(1000))
        copies = tooltest::pidsNamed("CompVidforge.exe");
    ASSERT_FALSE(copies.empty());
    tooltest::killAndWait(pressling);
    for (int i = 0; i < 12000 && !tooltest::pidsNamed("CompVidforge.exe").empty(); ++i)
        ::usleep(10000);
    EXPECT_TRUE(tooltest::pidsNamed("CompVidforge.exe").empty());
    EXPECT_EQ(platform::readFile(video).value_or(""), bytes);
}

// Closing the window (answered OK) while the final encode runs ends the run without its closing
// question, ends the transcoder, and ends the program.
TEST(Close, DuringARunEndsTheProgramAndItsTools) {
    faults::Driven d;
    const Material m(d, 2, Kind::Mp3Long);
    auto job = m.job("60", true);
    job.push_back("size=360×504");
    const int pid = d.start(job);
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 120000 && d.tools(".partial.mp4").empty(); ++i) ::usleep(1000);
    ASSERT_FALSE(d.tools(".partial.mp4").empty());
    ASSERT_TRUE(platform::writeFile(d.control + "/close", ""));
    ASSERT_TRUE(d.waitForEnd(pid));
    EXPECT_TRUE(d.sawLine("D 关闭程序？"));
    for (const auto& line : d.log()) EXPECT_EQ(line.find("处理完毕"), std::string::npos);
    EXPECT_TRUE(d.sawLine("E"));
    EXPECT_TRUE(noToolsLeft(d));
    EXPECT_TRUE(
        platform::listFiles(d.output, true).value_or(std::vector<std::string>{"?"}).empty());
    EXPECT_FALSE(platform::fileExists(d.program + "/Vidforge.exe"));
    m.expectConserved(d);
}

}  // namespace
