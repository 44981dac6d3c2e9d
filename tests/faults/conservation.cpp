// Twenty videos and more from three folders refilled while the run goes on, then a stop: every
// clip and mp3 is found exactly once, byte for byte, in its source or a used-material folder;
// every counted video plays; the program's memory stays flat.

#include <gtest/gtest.h>

#include <sstream>

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

}  // namespace
