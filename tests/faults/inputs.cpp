// Bad input gets a clear, contained outcome and loses nothing: odd clips, hostile names, output
// folders that are read-only or full (the run recovers once they are cured), sources on another
// file system than the used material, and a settings store full of garbage.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <QDirIterator>

#include "platform/Platform.h"
#include "tests/faults/FaultSupport.h"

namespace {

using faults::Kind;

bool ffmpeg(const QStringList& args) {
    return testsupport::runFfmpeg(QStringList{"-v", "error", "-y"} + args);
}

// Phone-style and broken clips in one folder: every clip that has a picture and a play length
// goes into a video; the others are named once and stay where they are, untouched.
TEST(Inputs, OddClipsMakeVideosOrAreSetAsideByName) {
    faults::Driven d;
    const std::string a = d.folder("odd");
    const QString q = QString::fromStdString(a);
    const QString src = "testsrc2=size=320x240:rate=25:duration=2";
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", src, "-vf", "select='lt(n,25)+not(mod(n,4))'",
                        "-vsync", "vfr", q + "/vfr.mp4"}));
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", src, "-frames:v", "1", q + "/one frame.mp4"}));
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=175x143:rate=25:duration=1", "-pix_fmt",
                        "yuv444p", q + "/odd size.mp4"}));
    ASSERT_TRUE(
        ffmpeg({"-f", "lavfi", "-i", src, "-metadata:s:v:0", "rotate=90", q + "/phone.mp4"}));
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "sine=duration=1", q + "/sound only.mp4"}));
    ASSERT_TRUE(platform::writeFile(a + "/empty.mp4", ""));
    const auto before = faults::inventory({a});
    const auto pid = d.start({"source=" + a, "length=0", "parallel=0"});
    ASSERT_GT(pid, 0);
    // four videos, and the two clips that can make none set aside on the way
    ASSERT_TRUE(d.waitForLine([](const std::string& l) { return l.rfind("M 4 ", 0) == 0; }));
    for (const std::string name : {"empty.mp4", "sound only.mp4"})
        ASSERT_TRUE(d.waitForStatus("状态：视频文件无法使用，已跳过：" + name)) << name;
    ASSERT_TRUE(platform::writeFile(d.control + "/stop", ""));
    ASSERT_TRUE(d.waitForEnd(pid));

    EXPECT_EQ(d.made(), 4);
    EXPECT_TRUE(d.outputsAllGood());
    EXPECT_EQ(platform::listFiles(a).value_or(std::vector<std::string>{}),
              (std::vector<std::string>{"empty.mp4", "sound only.mp4"}));
    EXPECT_EQ(faults::inventory({a, d.used}), before);
    for (const std::string name : {"empty.mp4", "sound only.mp4"}) {
        const auto lines = d.log();
        EXPECT_EQ(
            std::count(lines.begin(), lines.end(), "S 状态：视频文件无法使用，已跳过：" + name), 1)
            << name;
    }
}

// Names that a careless command line would split, run or misread, in the sources and the music.
TEST(Inputs, HostileNamesAreCarriedWhole) {
    faults::Driven d;
    const std::string a = d.folder("a"), music = d.folder("music");
    const std::vector<std::string> clips = {"a'b.mp4", "-x.mp4",    "$(touch pwn).mp4",
                                            "c;d.mp4", "空 格.mp4", std::string(246, 'n') + ".mp4"};
    for (const auto& n : clips) ASSERT_TRUE(faults::putMedia(Kind::Portrait, a + "/" + n)) << n;
    for (const std::string n :
         {"$(touch pwn).mp3", "a'b.mp3", "`touch pwn`.mp3", "e;f.mp3", "空 格.mp3", "-y.mp3"})
        ASSERT_TRUE(faults::putMedia(Kind::Mp3Long, music + "/" + n)) << n;
    const auto before = faults::inventory({a, music});
    const int pid = d.start({"source=" + a, "music=" + music, "length=5", "stopAfter=6"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(d.waitForEnd(pid));
    EXPECT_EQ(d.made(), 6);
    EXPECT_TRUE(d.outputsAllGood());
    EXPECT_TRUE(platform::listFiles(a).value_or(std::vector<std::string>{"?"}).empty());
    EXPECT_EQ(faults::inventory({a, music, d.used}), before);
    QDirIterator it(d.tmp.path(), {"pwn"}, QDir::Files, QDirIterator::Subdirectories);
    EXPECT_FALSE(it.hasNext()) << it.next().toStdString();
}

// Music that plays everywhere but is no MP3 stream under its .mp3 name (MPEG-1 layer II, AAC in
// an .m4a) makes videos, and the run log in the program folder tells of the re-encoding; a file
// that only looks like an mp3 is kept where it is, whether it was picked (and set aside) or not.
TEST(Inputs, MislabelledMp3MakesVideosAndAFakeOneIsSetAside) {
    faults::Driven d;
    const std::string a = d.folder("a"), music = d.folder("music");
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(faults::putMedia(Kind::Portrait, a + "/" + std::to_string(i) + ".mp4"));
    const QString m = QString::fromStdString(music);
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "sine=duration=8", "-c:a", "mp2", "-f", "mp2",
                        m + "/layer two.mp3"}));
    ASSERT_TRUE(ffmpeg(
        {"-f", "lavfi", "-i", "sine=duration=8", "-c:a", "aac", "-f", "ipod", m + "/aac.mp3"}));
    ASSERT_TRUE(platform::writeFile(music + "/fake.mp3", "ID3 and nothing else\n"));
    const auto before = faults::inventory({a, music});
    const int pid = d.start({"source=" + a, "music=" + music, "length=5", "stopAfter=2"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(d.waitForEnd(pid));
    EXPECT_EQ(d.made(), 2);
    EXPECT_TRUE(d.outputsAllGood());
    EXPECT_EQ(platform::listFiles(music).value_or(std::vector<std::string>{}),
              std::vector<std::string>{"fake.mp3"});
    EXPECT_EQ(faults::inventory({a, music, d.used}), before);
    const auto days = platform::listFiles(d.program + "/日志").value_or(std::vector<std::string>{});
    ASSERT_EQ(days.size(), 1u);
    const std::string log = platform::readFile(d.program + "/日志/" + days[0]).value_or("");
    EXPECT_NE(log.find("改为重新编码：" + music + "/layer two.mp3"), std::string::npos) << log;
    EXPECT_NE(log.find("改为重新编码：" + music + "/aac.mp3"), std::string::npos) << log;
}

// An update whose package is no archive changes no program file; the next start says once, in a
// message, that the update did not happen, why, and that the old version runs; then it makes
// videos as before.
TEST(Inputs, FailedUpdateIsToldOnceAtTheNextStartAndTheRunGoesOn) {
    faults::Driven d;
    ASSERT_TRUE(
        testsupport::stageProgramFolder(QString::fromStdString(d.program), {"Powerloop.exe"}));
    const std::string a = d.folder("a");
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(faults::putMedia(Kind::Portrait, a + "/" + std::to_string(i) + ".mp4"));
    const std::string package = d.program + "/Stitchwell.rar";
    ASSERT_TRUE(platform::writeFile(package, "PK but no archive at all\n"));
    const auto program = platform::readFile(d.program + "/Stitchwell");
    int updater = 0;
    ASSERT_EQ(platform::startTool(d.program + "/Powerloop.exe",
                                  package + "\t0\tStitchwell\tStitchwell  发现有更新版本",
                                  d.program, true, &updater),
              42);
    ASSERT_TRUE(d.waitForEnd(updater));
    ASSERT_TRUE(platform::fileExists(d.program + "/更新结果.txt"));

    for (int start = 0; start < 2; ++start) {
        const int pid = d.start({"source=" + a, "length=5", "stopAfter=1"});
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(d.waitForEnd(pid));
        const auto lines = d.log();
        const auto told = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("D 更新升级失败，程序文件未被更改！", 0) == 0;
        });
        EXPECT_EQ(told, start == 0 ? 1 : 0) << start;
        const bool why = std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("原因：", 0) == 0 && l.rfind("原因：未知", 0) != 0;
        });
        EXPECT_EQ(why, start == 0) << start;
        EXPECT_EQ(d.made(), 1) << start;
    }
    EXPECT_FALSE(platform::fileExists(d.program + "/更新结果.txt"));
    EXPECT_EQ(platform::readFile(d.program + "/Stitchwell"), program);
    EXPECT_TRUE(platform::fileExists(package));  // kept for a manual unpacking
    EXPECT_TRUE(d.outputsAllGood());
}

// An output folder that takes no video holds the run with the reason shown; cured, the run makes
// its video without anyone touching it.
TEST(Inputs, ReadOnlyAndFullOutputFoldersRecoverWhenCured) {
    enum Kind { ReadOnly, Full };
    for (Kind kind : {ReadOnly, Full}) {
        SCOPED_TRACE(kind == ReadOnly ? "read-only" : "full");
        testsupport::SmallFileSystem small(32 << 20);
        if (small.path().empty()) GTEST_SKIP() << small.whyNot();
        faults::Driven d;
        d.output = small.path() + "/输出";
        ASSERT_TRUE(platform::makeSurePathExists(d.output));
        ASSERT_TRUE(platform::writeFile(d.settings, "[Default]\nAccelerate=1\nSaveDir=" + d.output +
                                                        "\nMoveDir=" + d.used + "\n"));
        const std::string a = d.folder("a");
        ASSERT_TRUE(faults::putMedia(faults::Kind::Portrait, a + "/p.mp4"));
        std::string reason;
        if (kind == ReadOnly) {
            ASSERT_EQ(
                ::mount(nullptr, small.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr),
                0);
            reason = "状态：输出目录无法写入，等待恢复中...";
        } else {
            ASSERT_TRUE(testsupport::fillUp(small.path()));
            reason = "状态：输出目录所在磁盘空间已满，等待清理中...";
        }
        const int pid = d.start({"source=" + a, "length=0", "stopAfter=1"});
        ASSERT_GT(pid, 0);
        EXPECT_TRUE(d.waitForStatus(reason));
        EXPECT_EQ(platform::listFiles(a).value_or(std::vector<std::string>{}).size(), 1u);
        if (kind == ReadOnly)
            ASSERT_EQ(::mount(nullptr, small.path().c_str(), nullptr, MS_REMOUNT, nullptr), 0);
        else
            ASSERT_TRUE(platform::deleteFile(small.path() + "/filler") &&
                        platform::deleteFile(small.path() + "/filler2"));
        ASSERT_TRUE(d.waitForEnd(pid));
        EXPECT_EQ(d.made(), 1);
        std::vector<std::string> outputs;
        EXPECT_TRUE(d.outputsAllGood(&outputs));
        EXPECT_EQ(outputs, std::vector<std::string>{"000000.mp4"});
    }
}

// A source folder on a read-only file system (a share without write rights): its clip cannot be
// claimed, so it is skipped for the run with the reason in the status line and never used; the
// clip that comes once the folder takes files again is.
TEST(Inputs, ReadOnlySourceClipIsSkippedNeverUsedUnclaimed) {
    testsupport::SmallFileSystem small(32 << 20);
    if (small.path().empty()) GTEST_SKIP() << small.whyNot();
    faults::Driven d;
    const std::string a = small.path() + "/源 a";
    ASSERT_TRUE(platform::makeSurePathExists(a));
    ASSERT_TRUE(faults::putMedia(faults::Kind::Portrait, a + "/p.mp4"));
    ASSERT_EQ(::mount(nullptr, small.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    const int pid = d.start({"source=" + a, "length=0", "stopAfter=1"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(d.waitForStatus("状态：视频文件无法移入认领文件夹（文件夹只读？），已跳过：p.mp4"));
    ASSERT_EQ(::mount(nullptr, small.path().c_str(), nullptr, MS_REMOUNT, nullptr), 0);
    ASSERT_TRUE(faults::putMedia(faults::Kind::Landscape, a + "/q.mp4"));
    ASSERT_TRUE(d.waitForEnd(pid));
    EXPECT_EQ(d.made(), 1);
    EXPECT_EQ(platform::listFiles(a, true).value_or(std::vector<std::string>{}),
              std::vector<std::string>{"p.mp4"});
}

// Clips and mp3 on another file system than the used-material folder are copied across and
// removed from their source only once the copy is whole.
TEST(Inputs, SourcesOnAnotherFileSystem) {
    testsupport::SmallFileSystem small(64 << 20);
    if (small.path().empty()) GTEST_SKIP() << small.whyNot();
    faults::Driven d;
    const std::string a = small.path() + "/a", music = small.path() + "/m";
    ASSERT_TRUE(platform::makeSurePathExists(a) && platform::makeSurePathExists(music));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(faults::putMedia(Kind::Landscape, a + "/c" + std::to_string(i) + ".mp4"));
        ASSERT_TRUE(faults::putMedia(Kind::Mp3Long, music + "/m" + std::to_string(i) + ".mp3"));
    }
    const auto before = faults::inventory({a, music});
    const int pid = d.start({"source=" + a, "music=" + music, "length=5", "stopAfter=2"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(d.waitForEnd(pid));
    EXPECT_EQ(d.made(), 2);
    EXPECT_EQ(faults::inventory({d.used}), before);
    EXPECT_TRUE(faults::inventory({a, music}).empty());
}

// A settings store full of garbage: start-up takes what it can use, falls back for the rest, and
// the window makes videos (into the default output folder, here below the test's own home).
TEST(Inputs, GarbageSettingsStillGiveAWorkingProgram) {
    faults::Driven d;
    ASSERT_TRUE(platform::writeFile(
        d.settings,
        "[Default]\nAccelerate=yes please\nSpeed=7\nAccIndex=-99999\nAccs=\"garbage\\r\\n\\x1\"\n"
        "CmbAcc=xyz\nSaveDir=relative/out\nMoveDir=\n\xff\xfe=\x01\n"));
    const std::string a = d.folder("a");
    ASSERT_TRUE(faults::putMedia(Kind::Square, a + "/s.mp4"));
    const int pid = d.start({"source=" + a, "length=0", "stopAfter=1"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(d.waitForEnd(pid));
    EXPECT_EQ(d.made(), 1);
    QDirIterator it(QString::fromStdString(d.home), {"000000.mp4"}, QDir::Files,
                    QDirIterator::Subdirectories);
    ASSERT_TRUE(it.hasNext());
    EXPECT_GT(testsupport::probeDuration(it.next()), 0);
    EXPECT_FALSE(platform::pathExists(d.program + "/relative"));
}

}  // namespace
