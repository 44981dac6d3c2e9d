// Twenty videos and more from three folders refilled while the run goes on, then a stop: every
// clip and mp3 is found exactly once, byte for byte, in its source or a used-material folder;
// every counted video plays; the program's memory stays flat.

#include <gtest/gtest.h>

#include <QDir>
#include <chrono>
#include <sstream>
#include <thread>

#include "platform/Platform.h"
#include "tests/faults/FaultSupport.h"

namespace {

using faults::Kind;

TEST(Conservation, TwentyVideosUseEveryFileOnceAndMemoryStaysFlat) {
    faults::Driven d;
    const std::string folders[3] = {d.folder("源 a"), d.folder("源 b"), d.folder("源 c")};
    const std::string music = d.folder("music 曲");
    const Kind kinds[3] = {Kind::Landscape, Kind::Portrait, Kind::Square};
    int serial = 0;
    const auto drop = [&](int clipsPerFolder, int mp3s) {
        for (int f = 0; f < 3; ++f)
            for (int i = 0; i < clipsPerFolder; ++i)
                ASSERT_TRUE(faults::putMedia(
                    kinds[(f + i) % 3], folders[f] + "/clip " + std::to_string(++serial) + ".mp4"));
        for (int i = 0; i < mp3s; ++i)
            ASSERT_TRUE(faults::putMedia(Kind::Mp3Long,
                                         music + "/曲 " + std::to_string(++serial) + ".mp3"));
    };
    drop(8, 8);
    const int pid = d.start({"source=" + folders[0], "source=" + folders[1], "source=" + folders[2],
                             "music=" + music, "length=5", "parallel=1", "stopAfter=20"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(d.waitForLine([](const std::string& l) { return l.rfind("M 3 ", 0) == 0; }));
    drop(8, 8);
    ASSERT_TRUE(d.waitForLine([](const std::string& l) { return l.rfind("M 10 ", 0) == 0; }));
    drop(6, 6);
    const auto expected = faults::inventory({folders[0], folders[1], folders[2], music, d.used});
    ASSERT_TRUE(d.waitForEnd(pid));

    EXPECT_EQ(faults::inventory({folders[0], folders[1], folders[2], music, d.used}), expected);
    const int made = d.made();
    EXPECT_GE(made, 20);
    std::vector<std::string> outputs;
    EXPECT_TRUE(d.outputsAllGood(&outputs));
    EXPECT_EQ(int(outputs.size()), made);
    // each video took one clip of every folder and one mp3
    EXPECT_EQ(faults::inventory({d.used}).size(), size_t(made) * 4);

    long rssAt5 = 0, rssAt20 = 0;
    for (const auto& line : d.log()) {
        std::istringstream in(line);
        std::string tag;
        int count = 0;
        long kb = 0;
        if (!(in >> tag >> count >> kb) || tag != "M") continue;
        if (count == 5) rssAt5 = kb;
        if (count == 20) rssAt20 = kb;
    }
    ASSERT_GT(rssAt5, 0);
    ASSERT_GT(rssAt20, 0);
    EXPECT_LT(rssAt20 - rssAt5, 20 * 1024)
        << rssAt5 << " kB at the 5th video, " << rssAt20 << " kB at the 20th";
}

// Two copies (two program folders, as on two machines) on the same clip folders, music folder and
// used-material root, until the material runs out: a clip is claimed before it is used, so no
// clip or mp3 is in two videos, every file is found exactly once, and each folder gave as many
// clips as both copies made videos.
TEST(Conservation, TwoCopiesOnSharedFoldersNeverShareAClip) {
    faults::Driven a, b;
    ASSERT_TRUE(platform::writeFile(
        b.settings, "[Default]\nAccelerate=1\nSaveDir=" + b.output + "\nMoveDir=" + a.used + "\n"));
    const std::string folders[3] = {a.folder("源 1"), a.folder("源 2"), a.folder("源 3")};
    const std::string music = a.folder("曲");
    const Kind kinds[3] = {Kind::Landscape, Kind::Portrait, Kind::Square};
    for (int i = 0; i < 6; ++i)
        for (int f = 0; f < 3; ++f)
            ASSERT_TRUE(faults::putMedia(kinds[f], folders[f] + "/c" + std::to_string(i) + ".mp4"));
    for (int i = 0; i < 14; ++i)
        ASSERT_TRUE(faults::putMedia(Kind::Mp3Short, music + "/m" + std::to_string(i) + ".mp3"));
    const auto before = faults::inventory({folders[0], folders[1], folders[2], music});
    const std::vector<std::string> job = {"source=" + folders[0],
                                          "source=" + folders[1],
                                          "source=" + folders[2],
                                          "music=" + music,
                                          "length=3",
                                          "parallel=1"};
    const int pa = a.start(job), pb = b.start(job);
    ASSERT_GT(pa, 0);
    ASSERT_GT(pb, 0);
    // the material is used up when both wait for clips and neither made a video for 15 s
    const auto waiting = [](const faults::Driven& d) {
        const auto lines = d.log();
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (it->rfind("S ", 0) == 0) return it->find("已用完") != std::string::npos;
        return false;
    };
    int made = -1, quiet = 0;
    for (int s = 0; s < 300 && quiet < 15; ++s) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const int now = a.made() + b.made();
        quiet = now == made && waiting(a) && waiting(b) ? quiet + 1 : 0;
        made = now;
    }
    ASSERT_EQ(quiet, 15) << made << " videos, still going";
    for (const faults::Driven* d : {&a, &b}) platform::writeFile(d->control + "/stop", "");
    ASSERT_TRUE(a.waitForEnd(pa));
    ASSERT_TRUE(b.waitForEnd(pb));

    EXPECT_EQ(faults::inventory({folders[0], folders[1], folders[2], music, a.used}), before);
    // two copies may end each holding the last clip of a folder the other waits on: at most one
    // video of the six is not made
    EXPECT_GE(made, 5);
    const QStringList days =
        QDir(QString::fromStdString(a.used)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(days.size(), 1);
    const std::string dated = a.used + "/" + days[0].toStdString();
    for (int f = 0; f < 3; ++f)
        EXPECT_EQ(platform::listFiles(folders[f]).value_or(std::vector<std::string>{}).size(),
                  size_t(6 - made));
    EXPECT_EQ(faults::inventory({dated + "/视频"}).size(), size_t(3 * made));
    EXPECT_EQ(faults::inventory({dated + "/音频"}).size(), size_t(made));
    std::vector<std::string> outA, outB;
    EXPECT_TRUE(a.outputsAllGood(&outA));
    EXPECT_TRUE(b.outputsAllGood(&outB));
    EXPECT_EQ(int(outA.size() + outB.size()), made);
}

}  // namespace
