// Whole merge runs with a scripted window, the real transcoder (staged as Vidforge.exe in a
// program folder of the test's own) and the real media library.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <algorithm>
#include <fstream>

#include "media/General.h"
#include "merge/MergeRun.h"
#include "platform/Platform.h"
#include "tests/merge/ScriptedHost.h"
#include "tests/support/TestMedia.h"
#include "tests/support/ToolStarts.h"

namespace {

using testsupport::TempDir;

const std::string S = platform::sepStr();

std::string read(const std::string& path) {
    return platform::readFile(path).value_or("");
}

std::vector<std::string> names(const std::string& dir) {
    return platform::listFiles(dir).value_or(std::vector<std::string>{});
}

// The shared clips, and the mp3 files of 3 s and 12 s.
struct Media {
    std::string land, port, square, longer, mp3Short, mp3Long;
    static const Media& get() {
        testsupport::SharedMedia& m = testsupport::SharedMedia::get();
        static const Media media{m.land, m.port, m.square, m.longer, m.mp3(3), m.mp3(12)};
        return media;
    }
};

// A program folder with blanks and an apostrophe in its path, the transcoder staged in it, the
// scripted window pointed at output and used-material folders of the test's own.
struct RunFixture {
    TempDir tmp;
    std::string program = tmp.sub("it's program", true).toStdString();
    ScriptedHost host;
    testsupport::ToolStarts starts;
    int processors = 0;
    MergeRun run{
        host,
        MergeEnv{program, [this](const std::string& f, const std::string& p) { starts.add(f, p); },
                 nullptr, processors}};
    std::string runDate;

    explicit RunFixture(int processorCount = 0) : processors(processorCount) {
        host.run = &run.state();
        EXPECT_TRUE(
            testsupport::stageProgramFolder(QString::fromStdString(program), {"Vidforge.dll"}));
        EXPECT_TRUE(QFile::rename(QString::fromStdString(program + S + "Vidforge.dll"),
                                  QString::fromStdString(program + S + "Vidforge.exe")));
        host.output = tmp.sub("out", true).toStdString();
        host.used = tmp.sub("used").toStdString();
        host.music = false;
        host.length = "5";
        const platform::Date d = platform::today();
        runDate = MergeTexts::RunDateText(d.year, d.month, d.day);
    }
    std::string folder(const std::string& name) {
        return tmp.sub(QString::fromStdString(name), true).toStdString();
    }
    static void put(const std::string& from, const std::string& to) {
        ASSERT_TRUE(platform::copyFileReplace(from, to)) << to;
    }
    std::string usedVideos() const { return host.used + S + runDate + S + "视频"; }
    std::string usedAudio() const { return host.used + S + runDate + S + "音频"; }
    int startsWith(const std::string& piece) const { return starts.holding(piece); }
    // Presses stop (answering its question with OK) once `when` holds.
    void stopWhen(std::function<bool()> when) {
        host.onPump = [this, when] {
            if (!host.run->StopRequested && host.run->Running && when()) run.MenuStop_Click();
        };
    }
    void expectCompleted() {
        EXPECT_EQ(host.asked.back().kind, "yesno");
        EXPECT_EQ(host.asked.back().text, "处理完毕！\r\n要打开输出目录吗？");
        EXPECT_FALSE(host.locked);
        EXPECT_FALSE(host.stopEnabled);
        EXPECT_FALSE(host.run->Running);
        EXPECT_FALSE(host.run->StopRequested);
        EXPECT_FALSE(General::CountToolProcesses("Vidforge.exe"));
    }
};

double readDuration(const std::string& path) {
    return General::ReadDuration(path).value_or(-1);
}

}  // namespace

// One video from two folders whose clips have the same name, with music and the compressor
// hand-off; used material goes into the dated folders without replacing what is stored there.
TEST(MergeRun, MakesAVideoAndStoresUsedMaterialUnderFreeNames) {
    const Media& m = Media::get();
    RunFixture f;
    const std::string a = f.folder("src a"), b = f.folder("src b"), music = f.folder("音乐");
    RunFixture::put(m.land, a + S + "a b.mp4");
    RunFixture::put(m.port, b + S + "a b.mp4");
    RunFixture::put(m.mp3Long, music + S + "it's 中文.mp3");
    // already stored today under the same names
    ASSERT_TRUE(platform::makeSurePathExists(f.usedVideos() + S));
    ASSERT_TRUE(platform::makeSurePathExists(f.usedAudio() + S));
    ASSERT_TRUE(platform::writeFile(f.usedVideos() + S + "a b.mp4", "old clip"));
    ASSERT_TRUE(platform::writeFile(f.usedAudio() + S + "it's 中文.mp3", "old mp3"));
    // the compressor: a stand-in that records the parameter text it was handed
    ASSERT_TRUE(
        platform::writeFile(f.program + S + "Pressling.dll",
                            "#!/bin/sh\nprintf '%s' \"$SW_SHELL_PARAMS\" > \"$PWD/handed\"\n"));
    ::chmod((f.program + S + "Pressling.dll").c_str(), 0755);
    ASSERT_TRUE(
        platform::writeFile(f.program + S + "CompList.txt", "left from an earlier run\r\n"));

    f.host.entries = {a, b};
    f.host.music = true;
    f.host.audio = "背景mp3音乐数：9   " + music;
    f.host.compress = true;
    f.host.background = true;
    f.host.hardware = false;
    f.host.acceleratorRow = -1;
    f.stopWhen([&] { return f.host.run->MadeCount == 1; });
    f.run.MenuDo_Click();

    const std::string out = f.host.output + S + "000000.mp4";
    EXPECT_NEAR(testsupport::probeDuration(QString::fromStdString(out)), 5.0, 0.5);
    EXPECT_NEAR(readDuration(out), 5.0, 0.5);
    const auto info = testsupport::probeVideo(QString::fromStdString(out));
    EXPECT_EQ(info.width, 144);
    EXPECT_EQ(info.height, 204);
    EXPECT_NEAR(info.fps, 25.0, 0.01);
    EXPECT_EQ(f.host.run->MadeCount, 1);
    EXPECT_EQ(f.host.statusTag, "1");
    EXPECT_TRUE(f.host.sawStatus("状态：生成合并视频中...已生成：1"));

    // nothing stored is replaced
    EXPECT_EQ(read(f.usedVideos() + S + "a b.mp4"), "old clip");
    EXPECT_TRUE(platform::fileExists(f.usedVideos() + S + "a b (1).mp4"));
    EXPECT_TRUE(platform::fileExists(f.usedVideos() + S + "a b (2).mp4"));
    EXPECT_EQ(names(f.usedVideos()).size(), 3u);
    EXPECT_EQ(read(f.usedAudio() + S + "it's 中文.mp3"), "old mp3");
    EXPECT_TRUE(platform::fileExists(f.usedAudio() + S + "it's 中文 (1).mp3"));
    EXPECT_TRUE(names(a).empty());
    EXPECT_TRUE(names(b).empty());
    EXPECT_TRUE(names(music).empty());

    // compressor hand-off: a fresh list with the video, and the worker started with its fields
    EXPECT_EQ(read(f.program + S + "CompList.txt"), out + "\r\n");
    EXPECT_TRUE(platform::fileExists(f.program + S + "Pressling.exe"));
    for (int i = 0; i < 200 && !platform::fileExists(f.program + S + "handed"); ++i)
        General::WaitSeconds(0.05f);
    EXPECT_EQ(read(f.program + S + "handed"),
              MergeTexts::CompressorParams(f.program, platform::kSep));

    EXPECT_EQ(f.host.settings["SaveDir"], f.host.output);
    EXPECT_EQ(f.host.settings["MoveDir"], f.host.used);
    EXPECT_EQ(f.host.settings["Speed"], "0");
    EXPECT_EQ(f.host.settings["CmbAcc"], "-1");
    EXPECT_EQ(f.host.entries[0], "MP4视频数：0\t" + a);  // as the next pass found it, emptied
    // background mode: tray icon at the start, its tip refreshed after the video, window back
    ASSERT_GE(f.host.tips.size(), 2u);
    EXPECT_EQ(f.host.tips[0].rfind("Stitchwell\r\n已生成视频数：0\r\n", 0), 0u);
    EXPECT_EQ(f.host.tips[1], "Stitchwell\r\n已生成视频数：1\r\n状态：生成合并视频中...已生成：1");
    EXPECT_TRUE(f.host.visible);
    // the command order of one pass: two clips, the direct music cut, the final run
    EXPECT_EQ(f.starts.written(),
              (std::vector<std::string>{"0.mp4", "1.mp4", "a.mp3", "000000.partial.mp4", ""}));
    EXPECT_NE(f.starts.writing("0.mp4").params.find("transpose=2"),
              std::string::npos);                                                      // landscape
    EXPECT_EQ(f.starts.writing("1.mp4").params.find("transpose"), std::string::npos);  // upright
    EXPECT_EQ(f.starts.writing("a.mp3").params.rfind("-ss 0 -t 5 -i \"", 0), 0u);
    EXPECT_NE(f.starts.writing("000000.partial.mp4").params.find("-filter:v"), std::string::npos);
    EXPECT_EQ(f.starts.all().back().file, "Pressling.exe");
    f.expectCompleted();
    EXPECT_EQ(f.host.opened, std::vector<std::string>{f.host.output});  // answered Yes
}

// Parallel mode without a target length: every clip is started before the music, the video
// plays at natural speed and the music (joined from two copies) is cut to the summed length.
TEST(MergeRun, ParallelNaturalSpeedCutsMusicToTheClips) {
    const Media& m = Media::get();
    RunFixture f;
    const std::string a = f.folder("a"), b = f.folder("b"), c = f.folder("c"),
                      music = f.folder("music");
    RunFixture::put(m.land, a + S + "land.mp4");
    RunFixture::put(m.square, b + S + "square.mp4");
    RunFixture::put(m.longer, c + S + "longer.avi");
    RunFixture::put(m.mp3Short, music + S + "short.mp3");
    f.host.entries = {a, b, c};
    f.host.music = true;
    f.host.audio = music;  // a bare path
    f.host.parallel = true;
    f.host.length = "0";
    f.host.answers = {true, true, false};  // confirm, stop, no folder
    ASSERT_TRUE(platform::writeFile(f.program + S + "CompList.txt", "earlier\r\n"));
    f.stopWhen([&] { return f.host.run->MadeCount == 1; });
    f.run.MenuDo_Click();

    const double sum = readDuration(f.usedVideos() + S + "land.mp4") +
                       readDuration(f.usedVideos() + S + "square.mp4") +
                       readDuration(f.usedVideos() + S + "longer.avi");
    EXPECT_NEAR(sum, 4.0, 0.1);
    const std::string out = f.host.output + S + "000000.mp4";
    EXPECT_NEAR(testsupport::probeDuration(QString::fromStdString(out)), sum, 0.3);
    // every clip before the music: the join of 2 copies of the 3 s mp3, then its cut
    EXPECT_EQ(f.starts.written(), (std::vector<std::string>{"0.mp4", "1.mp4", "2.mp4", "M.mp3",
                                                            "a.mp3", "000000.partial.mp4"}));
    EXPECT_EQ(f.starts.writing("M.mp3").params.rfind("-safe 0 -f concat", 0), 0u);
    EXPECT_EQ(f.starts.writing("a.mp3").params.rfind(
                  "-ss 0 -t " + MergeTexts::PlainNumber(sum) + " -i \"", 0),
              0u);
    EXPECT_EQ(f.starts.writing("000000.partial.mp4").params.find("-filter:v"), std::string::npos);
    EXPECT_EQ(f.host.audio, "背景mp3音乐数：1   " + music);
    EXPECT_EQ(names(f.usedAudio()), std::vector<std::string>{"short.mp3"});
    EXPECT_FALSE(platform::fileExists(f.program + S + "CompList.txt"));
    f.expectCompleted();
    EXPECT_TRUE(f.host.opened.empty());
}

// A source folder that is gone holds the pass with its number in the status and the window
// shown; stop ends the run without another transcoder. The same for an empty music folder.
TEST(MergeRun, StopWhileWaitingForAFolderStartsNoFurtherTranscoder) {
    const Media& m = Media::get();
    {
        RunFixture f;
        const std::string a = f.folder("a"), b = f.folder("b");
        RunFixture::put(m.port, a + S + "p.mp4");
        RunFixture::put(m.port, b + S + "p.mp4");
        f.host.entries = {a, b};
        f.host.background = true;
        bool removed = false;
        const std::string waiting =
            "状态：2号视频素材来源文件夹中的视频已用完，等待补充新视频中...";
        bool visibleWhileWaiting = false;
        int rescans = 0, showsAtFirstRescan = -1, showsAtStop = -2;
        f.host.onPump = [&] {
            if (!f.host.run->Running || f.host.run->StopRequested) return;
            if (!removed) removed = platform::deleteTree(b);
            if (f.host.status == waiting) {
                visibleWhileWaiting = f.host.visible;
                if (rescans++ == 0) showsAtFirstRescan = f.host.showCalls;
                if (rescans < 30) return;
                showsAtStop = f.host.showCalls;
                f.run.MenuStop_Click();
            }
        };
        f.run.MenuDo_Click();
        EXPECT_TRUE(removed);
        EXPECT_TRUE(visibleWhileWaiting);
        // the window came up once when the wait began, not at every rescan
        EXPECT_EQ(showsAtStop, showsAtFirstRescan);
        EXPECT_EQ(f.starts.size(), 1u);  // the clip of folder 1 only
        EXPECT_EQ(f.host.entries[1], "MP4视频数：0\t" + b);
        // the dated used-material folders are made when the run starts
        EXPECT_TRUE(platform::dirExists(f.usedVideos()));
        EXPECT_TRUE(platform::dirExists(f.usedAudio()));
        EXPECT_EQ(f.host.run->MadeCount, 0);
        EXPECT_EQ(names(a).size(), 1u);
        f.expectCompleted();
    }
    {
        RunFixture f;
        const std::string a = f.folder("a"), music = f.folder("music");
        RunFixture::put(m.port, a + S + "p.mp4");
        f.host.entries = {a};
        f.host.music = true;
        f.host.audio = music;
        const std::string waiting =
            "状态：背景音乐素材来源文件夹中的mp3已用完，等待补充新音乐文件中...";
        f.stopWhen([&] { return f.host.status == waiting && f.host.visible; });
        f.run.MenuDo_Click();
        EXPECT_TRUE(f.host.sawStatus(waiting));
        EXPECT_EQ(f.starts.size(), 1u);
        EXPECT_EQ(f.host.audio, "背景mp3音乐数：0   " + music);
        EXPECT_EQ(f.host.audioTagText, "0");
        EXPECT_EQ(names(a).size(), 1u);
        f.expectCompleted();
    }
}

// Material that can make no video, and an output folder that takes none: the run says why in the
// status line (naming an unusable file once, setting it aside untouched), starts no transcoder
// for it, waits, and makes the video by itself once the cause is gone.
TEST(MergeRun, UnusableMaterialIsSetAsideAndTheRunRecovers) {
    const Media& m = Media::get();
    enum Kind { CorruptClip, EmptyClip, AudioOnlyClip, SilentMp3, OutputIsAFile };
    for (Kind kind : {CorruptClip, EmptyClip, AudioOnlyClip, SilentMp3, OutputIsAFile}) {
        SCOPED_TRACE(kind);
        RunFixture f;
        const std::string a = f.folder("a"), music = f.folder("music");
        f.host.entries = {a};
        f.host.music = true;
        f.host.audio = music;
        std::string bad = a + S + "bad it's.mp4",
                    reason = "状态：视频文件无法使用，已跳过：bad it's.mp4";
        if (kind == CorruptClip) {
            std::string junk(20000, '\0');
            for (size_t i = 0; i < junk.size(); ++i) junk[i] = char((i * 7919) % 251);
            ASSERT_TRUE(platform::writeFile(bad, junk));
        } else if (kind == EmptyClip) {
            ASSERT_TRUE(platform::writeFile(bad, ""));
        } else if (kind == AudioOnlyClip) {
            ASSERT_TRUE(
                testsupport::runFfmpeg({"-v", "error", "-f", "lavfi", "-i", "sine=duration=1", "-y",
                                        QString::fromStdString(bad)}));
        } else {
            RunFixture::put(m.port, a + S + "good.mp4");
        }
        if (kind == SilentMp3) {
            bad = music + S + "not audio.mp3";
            reason = "状态：mp3文件无法使用，已跳过：not audio.mp3";
            ASSERT_TRUE(platform::writeFile(bad, "this is no mp3\n"));
        } else {
            RunFixture::put(m.mp3Long, music + S + "m.mp3");
        }
        if (kind == OutputIsAFile) {
            f.host.output = f.tmp.str() + S + "a file";
            bad = f.host.output;
            reason = "状态：输出目录无法写入，等待恢复中...";
            ASSERT_TRUE(platform::writeFile(bad, "x"));
        }
        const std::string badBytes = read(bad);
        size_t startsWhenCured = 0;
        bool cured = false;
        f.host.onPump = [&] {
            if (!f.host.run->Running || f.host.run->StopRequested) return;
            if (!cured && f.host.sawStatus(reason)) {
                // nothing of the bad file was touched, and nothing ran for it
                EXPECT_EQ(read(bad), badBytes);
                startsWhenCured = f.starts.size();
                cured = true;
                if (kind == OutputIsAFile)
                    ASSERT_TRUE(platform::deleteFile(bad));
                else if (kind == SilentMp3)
                    RunFixture::put(m.mp3Long, music + S + "m.mp3");
                else
                    RunFixture::put(m.port, a + S + "good.mp4");
            }
            if (f.host.run->MadeCount == 1) f.run.MenuStop_Click();
        };
        f.run.MenuDo_Click();

        EXPECT_TRUE(cured);
        EXPECT_EQ(f.host.run->MadeCount, 1);
        EXPECT_EQ(std::count(f.host.statusLog.begin(), f.host.statusLog.end(), reason), 1);
        // before the cure no transcoder ran but the good clip's, and only with an unusable mp3
        EXPECT_EQ(startsWhenCured, kind == SilentMp3 ? 1u : 0u);
        EXPECT_GT(readDuration(f.host.output + S + "000000.mp4"), 0);
        if (kind != OutputIsAFile) {
            EXPECT_EQ(read(bad), badBytes);  // set aside where it was, never moved
        }
        EXPECT_EQ(names(f.usedVideos()).size(), 1u);
        EXPECT_EQ(names(f.usedAudio()).size(), 1u);
        f.expectCompleted();
    }
}

// Stop during the final encode ends that transcoder; its unreadable video is deleted and not
// counted, and the clip stays in its folder.
TEST(MergeRun, VideoOfAKilledFinalRunIsDeletedAndNotCounted) {
    const Media& m = Media::get();
    RunFixture f;
    const std::string a = f.folder("a");
    RunFixture::put(m.port, a + S + "p.mp4");
    f.host.entries = {a};
    f.host.size = "360×504";
    f.host.length = "60";  // a long final encode
    const std::string out = f.host.output + S + "000000.mp4";
    const std::string partial = MergeTexts::PartialOutputFile(f.host.output, 0, platform::kSep);
    f.stopWhen([&] {
        return f.host.status.rfind("状态：生成合并视频中...", 0) == 0 &&
               platform::fileSize(partial) > 0;
    });
    f.run.MenuDo_Click();
    EXPECT_EQ(f.startsWith("-filter:v"), 1);
    EXPECT_FALSE(platform::pathExists(out));
    EXPECT_FALSE(platform::pathExists(partial));
    EXPECT_EQ(f.host.run->MadeCount, 0);
    EXPECT_EQ(names(a), std::vector<std::string>{"p.mp4"});
    EXPECT_TRUE(names(f.usedVideos()).empty());
    f.expectCompleted();
}

// A clip that is still being written is passed over (the folder waits, saying so) until it has
// not changed for a second; then it makes the video.
TEST(MergeRun, ClipStillBeingCopiedIsPickedOnlyOnceItSettles) {
    const Media& m = Media::get();
    RunFixture f;
    const std::string a = f.folder("a");
    const std::string clip = a + S + "arriving.mp4";
    RunFixture::put(m.port, clip);
    f.host.entries = {a};
    f.host.length = "0";
    int touches = 0;
    size_t startsWhileCopying = 0;
    f.host.onPump = [&] {
        if (!f.host.run->Running || f.host.run->StopRequested) return;
        if (touches < 60) {
            // still being copied: its change time moves on
            ASSERT_TRUE(platform::appendToFile(clip, ""));
            ASSERT_EQ(::utimensat(AT_FDCWD, clip.c_str(), nullptr, 0), 0);
            ++touches;
            startsWhileCopying = f.starts.size();
        }
        if (f.host.run->MadeCount == 1) f.run.MenuStop_Click();
    };
    f.run.MenuDo_Click();
    EXPECT_EQ(startsWhileCopying, 0u);
    EXPECT_TRUE(f.host.sawStatus("状态：1号视频素材来源文件夹中的视频正在复制中，等待复制完成..."));
    EXPECT_EQ(f.host.run->MadeCount, 1);
    EXPECT_TRUE(names(a).empty());
    f.expectCompleted();
}

// A new run numbers from 000000 again but never writes over a video that is already there.
TEST(MergeRun, ExistingOutputVideosAreNotOverwritten) {
    const Media& m = Media::get();
    RunFixture f;
    const std::string a = f.folder("a");
    RunFixture::put(m.port, a + S + "p1.mp4");
    RunFixture::put(m.port, a + S + "p2.mp4");
    ASSERT_TRUE(platform::writeFile(f.host.output + S + "000000.mp4", "earlier video"));
    f.host.entries = {a};
    f.host.length = "0";
    f.stopWhen([&] { return f.host.run->MadeCount == 2; });
    f.run.MenuDo_Click();
    EXPECT_EQ(read(f.host.output + S + "000000.mp4"), "earlier video");
    EXPECT_GT(readDuration(f.host.output + S + "000001.mp4"), 0.5);
    EXPECT_GT(readDuration(f.host.output + S + "000002.mp4"), 0.5);
    EXPECT_EQ(f.host.run->MadeCount, 2);
    EXPECT_TRUE(names(a).empty());
    f.expectCompleted();
}

// Music that plays everywhere but is no MP3 stream under its .mp3 name (MPEG-1 layer II, AAC):
// copying its stream into the track fails, the same step re-encoded makes it, and the video gets
// music of the target length. The run log tells the copy's failure in the transcoder's words and
// the video made. A file with a length but nothing decodable is set aside as before.
TEST(MergeRun, MislabelledMp3IsReencodedIntoTheTrack) {
    struct Case {
        const char* name;
        QStringList encode;  // the audio of the file
        int seconds;         // 12: one copy cut; 3: two copies joined, then cut
    };
    const Case cases[] = {
        {"mp2 一首.mp3", {"-c:a", "mp2", "-f", "mp2"}, 12},
        {"aac.mp3", {"-c:a", "aac", "-f", "ipod"}, 3},  // an .m4a under an .mp3 name
    };
    const Media& m = Media::get();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunFixture f;
        const std::string a = f.folder("a"), music = f.folder("music");
        RunFixture::put(m.land, a + S + "land.mp4");
        const std::string song = music + S + c.name;
        ASSERT_TRUE(testsupport::runFfmpeg(
            QStringList{"-v", "error", "-f", "lavfi", "-i",
                        QString("sine=frequency=440:duration=%1").arg(c.seconds)} +
            c.encode + QStringList{"-y", QString::fromStdString(song)}));
        f.host.entries = {a};
        f.host.music = true;
        f.host.audio = music;
        // (a song set aside would keep the run waiting for music: that ends it too)
        f.stopWhen([&] {
            return f.host.run->MadeCount == 1 ||
                   f.host.sawStatus(std::string("状态：mp3文件无法使用，已跳过：") + c.name);
        });
        f.run.MenuDo_Click();

        const std::string out = f.host.output + S + "000000.mp4";
        ASSERT_EQ(f.host.run->MadeCount, 1);
        const QString audio = f.tmp.sub("audio.mka");
        ASSERT_TRUE(testsupport::runFfmpeg({"-v", "error", "-i", QString::fromStdString(out), "-vn",
                                            "-c:a", "copy", "-y", audio}));
        EXPECT_NEAR(testsupport::probeDuration(audio), 5.0, 0.3);
        // the track was made twice: copied (refused), then re-encoded
        const std::string track = c.seconds == 12 ? "a.mp3" : "M.mp3";
        int copied = 0, encoded = 0;
        for (const auto& start : f.starts.all()) {
            if (start.params.find(track) == std::string::npos) continue;
            if (start.params.find("-acodec copy") != std::string::npos) ++copied;
            if (start.params.find("-acodec libmp3lame") != std::string::npos) ++encoded;
        }
        EXPECT_GE(copied, 1);
        EXPECT_EQ(encoded, 1);
        EXPECT_EQ(names(f.usedAudio()), std::vector<std::string>{c.name});

        const platform::Date d = platform::today();
        const std::string log = read(f.run.runLog().fileFor(d));
        EXPECT_NE(log.find("改为重新编码：" + song), std::string::npos) << log;
        EXPECT_NE(log.find("转码程序的报告（最后几行）："), std::string::npos) << log;
        EXPECT_NE(log.find("已生成视频：" + out), std::string::npos) << log;
        EXPECT_NE(log.find("背景音乐：" + song), std::string::npos) << log;
    }
}

// One by one, the pause after a clip's transcoder start ends when the transcoder ends, and after
// 2 s while it runs (a stop then ends the run at once); with 多线程 no more transcoders run at once
// than the bound, and the next clip starts when one ends.
TEST(MergeRun, ClipTranscodersArePacedByTheirEndsAndTheBound) {
    EXPECT_EQ(PassTools::ParallelBound(false, 3, 8), 8);
    for (int processors : {1, 0, -3}) EXPECT_EQ(PassTools::ParallelBound(false, 3, processors), 2);
    EXPECT_EQ(PassTools::ParallelBound(true, 3, 16), 3);
    for (int sessions : {0, -1}) EXPECT_EQ(PassTools::ParallelBound(true, sessions, 16), 1);

    const Media& m = Media::get();
    struct Case {
        const char* standinMs;  // how long the stand-in transcoder runs; -1: until ended
        bool parallel;
        int folders;
    };
    for (const Case& c :
         {Case{"0", false, 1}, Case{"600", false, 1}, Case{"-1", false, 1}, Case{"300", true, 4}}) {
        RunFixture f(1);  // one logical processor: a bound of 2
        const QString tool = QString::fromStdString(f.program + S + "Vidforge.exe");
        ASSERT_TRUE(QFile::remove(tool) && QFile::copy(STANDIN_TOOL, tool));
        QFile(tool).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ::setenv("SW_STANDIN_MS", c.standinMs, 1);
        for (int i = 0; i < c.folders; ++i) {
            const std::string folder = f.folder("f" + std::to_string(i));
            RunFixture::put(m.port, folder + S + "p.mp4");
            f.host.entries.push_back(folder);
        }
        f.host.parallel = c.parallel;
        f.host.answers = {true, true, false};  // confirm, stop, no folder
        const std::string shown = "状态：源视频预处理中...1/" + std::to_string(c.folders);
        int pumpsAtStart = -1, pumpsAtShown = -1;
        std::size_t mostAtOnce = 0;
        bool runningWhenShown = false;
        f.host.onPump = [&] {
            const std::size_t live = testsupport::pidsNamed("Vidforge.exe").size();
            mostAtOnce = std::max(mostAtOnce, live);
            if (pumpsAtStart < 0 && !f.starts.all().empty()) pumpsAtStart = f.host.pumps;
            if (pumpsAtShown < 0 && f.host.sawStatus(shown)) {
                pumpsAtShown = f.host.pumps;
                runningWhenShown = live > 0;
            }
            const bool done = c.parallel ? f.starts.all().size() >= 4u : pumpsAtShown >= 0;
            if (done && !f.host.run->StopRequested) f.run.MenuStop_Click();
        };
        f.run.MenuDo_Click();
        ::unsetenv("SW_STANDIN_MS");

        EXPECT_FALSE(f.host.run->Running) << c.standinMs;
        if (c.parallel) {
            EXPECT_GE(f.starts.all().size(), 4u);
            EXPECT_EQ(mostAtOnce, 2u);
        } else {
            ASSERT_GE(pumpsAtShown, 0) << c.standinMs;
            // the pause lasts until the transcoder ends (only 2 s of one that never does), and
            // not beyond: one that ended at once costs a pump or two
            EXPECT_EQ(runningWhenShown, c.standinMs[0] == '-') << c.standinMs;
            if (c.standinMs == std::string("0")) {
                EXPECT_LE(pumpsAtShown - pumpsAtStart, 5);
            }
            EXPECT_TRUE(testsupport::pidsNamed("Vidforge.exe").empty());
        }
    }
}

// A hardware form is held to the sessions stored for it; a card that takes fewer than stored
// fails the pass that ran more, and each such pass lowers the bound by one, so the run goes on
// making videos instead of trying the same pass again and again.
TEST(MergeRun, HardwareSessionsBeyondTheCardsLimitLowerTheBoundUntilVideosAreMade) {
    const Media& m = Media::get();
    struct Case {
        int stored, cardTakes, lowerings;  // lowerings: at most, the card taking fewer than stored
    };
    for (const Case& c : {Case{3, 2, 1}, Case{3, 1, 2}, Case{0, 1, 0}, Case{2, 2, 0}}) {
        RunFixture f(8);
        const QString tool = QString::fromStdString(f.program + S + "Vidforge.exe");
        ASSERT_TRUE(QFile::remove(tool) && QFile::copy(STANDIN_TOOL, tool));
        QFile(tool).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ::setenv("SW_STANDIN_SESSIONS", std::to_string(c.cardTakes).c_str(), 1);
        ::setenv("SW_STANDIN_SLOTS", f.tmp.sub("slots", true).toUtf8().constData(), 1);
        ::setenv("SW_STANDIN_MS", "400", 1);  // sessions started together overlap
        for (int i = 0; i < 4; ++i) {
            const std::string folder = f.folder("f" + std::to_string(i));
            for (int k = 0; k < 3; ++k)
                RunFixture::put(m.port, folder + S + std::to_string(k) + ".mp4");
            f.host.entries.push_back(folder);
        }
        f.host.parallel = f.host.hardware = true;
        f.host.accelerator = "NVIDIA显卡硬件加速";
        f.host.hardwareSessions = c.stored;
        f.host.answers = {true, true, false};  // confirm, stop, no folder
        std::size_t mostAtOnce = 0;
        f.host.onPump = [&] {
            mostAtOnce = std::max(mostAtOnce, testsupport::pidsNamed("Vidforge.exe").size());
            // a pass tried again and again ends the run without a video
            const auto failures =
                std::count(f.host.statusLog.begin(), f.host.statusLog.end(),
                           "状态：硬件加速处理失败，请检查显卡或取消硬件加速，重试中...");
            if ((f.host.run->MadeCount == 1 || failures > c.lowerings) &&
                !f.host.run->StopRequested)
                f.run.MenuStop_Click();
        };
        f.run.MenuDo_Click();
        for (const char* v : {"SW_STANDIN_SESSIONS", "SW_STANDIN_SLOTS", "SW_STANDIN_MS"})
            ::unsetenv(v);

        EXPECT_EQ(f.host.run->MadeCount, 1) << c.stored << " " << c.cardTakes;
        const std::string log = read(f.run.runLog().fileFor(platform::today()));
        int lowered = 0, failed = 0;
        for (std::size_t at = 0; (at = log.find("此后最多同时处理", at)) != std::string::npos; ++at)
            ++lowered;
        for (std::size_t at = 0; (at = log.find("硬件加速预处理失败", at)) != std::string::npos;
             ++at)
            ++failed;
        // each failed pass lowered the bound: at most stored - takes of them (fewer where a
        // session that failed at once had ended before the next one started)
        EXPECT_EQ(failed, lowered) << log;
        EXPECT_LE(lowered, c.lowerings) << log;
        EXPECT_EQ(lowered > 0, c.lowerings > 0) << log;
        EXPECT_LE(mostAtOnce, std::size_t(std::max(1, c.stored)));
        // every clip of a failed pass is still in its folder or used once
        EXPECT_EQ(names(f.usedVideos()).size(), 4u);
    }
}
