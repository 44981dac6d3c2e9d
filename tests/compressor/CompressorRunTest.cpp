// The compression run in-process, with the real transcoder and the real media library: list order,
// bad lines, a transcoder killed halfway, a truncated input, lines appended at the last
// moments, and the running copy of the transcoder gone; what each video came to in the run log.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <sstream>

#include "compressor/Compressor.h"
#include "media/General.h"
#include "platform/Platform.h"
#include "tests/compressor/CompressorTestSupport.h"
#include "tests/support/TestMedia.h"

using namespace compressor;
using namespace compressortest;
using testsupport::probeDuration;
using testsupport::TempDir;

namespace {

// The event pump of the waits needs an application object.
class QtApp : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "compressor_run";
        static char* argv[] = {name, nullptr};
        m_app = new QCoreApplication(argc, argv);
    }
    void TearDown() override { delete m_app; }

private:
    QCoreApplication* m_app = nullptr;
};
const auto* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtApp);

class CompressorRun : public ::testing::Test {
protected:
    void SetUp() override {
        prog = tmp.sub("程序 文件夹", true);
        out = tmp.sub("输出 视频", true);
        ASSERT_TRUE(testsupport::stageProgramFolder(prog, {"Vidforge.dll"}));
        ASSERT_TRUE(QFile::rename(prog + "/Vidforge.dll", prog + "/Vidforge.exe"));
    }
    Fields fields() const {
        return Fields{prog.toStdString(), "Vidforge.exe", list().toStdString(), 32};
    }
    QString list() const { return prog + "/CompList.txt"; }
    // Everything the run log of the program folder holds.
    std::string runLog() const {
        std::string all;
        for (const QString& day : QDir(prog + "/日志").entryList({"*.txt"}, QDir::Files))
            all += readBytes(prog + "/日志/" + day).toStdString();
        return all;
    }
    void writeList(const QByteArray& text) const {
        ASSERT_TRUE(testsupport::writeText(list(), text));
    }
    // Nothing of the run is left behind: list, transcoder copy, temporary files.
    void expectCleanedUp() const {
        EXPECT_FALSE(QFile::exists(list()));
        EXPECT_FALSE(QFile::exists(prog + "/CompVidforge.exe"));
        EXPECT_TRUE(QDir(prog).entryList({"Tmp*"}, QDir::Files).isEmpty());
        EXPECT_TRUE(pidsNamed("CompVidforge.exe").empty());
    }

    TempDir tmp;
    QString prog, out;
    std::ostringstream log;
};

TEST_F(CompressorRun, ReplacesListedVideosInListOrder) {
    const QString first = out + "/000000.mp4", second = out + "/000001.mp4";
    ASSERT_TRUE(makeShortVideo(first));
    ASSERT_TRUE(makeShortVideo(second));
    const QByteArray firstBytes = readBytes(first), secondBytes = readBytes(second);
    const double firstSeconds = probeDuration(first), secondSeconds = probeDuration(second);
    writeList((second + "\r\n" + first + "\r\n").toUtf8());

    Compressor c(fields(), prog.toStdString(), log);
    EXPECT_EQ(c.run(), kDone) << log.str();
    using R = std::pair<std::string, Outcome>;
    EXPECT_EQ(c.outcomes(), (std::vector<R>{{second.toStdString(), Outcome::Replaced},
                                            {first.toStdString(), Outcome::Replaced}}));
    expectReencoded(first, firstBytes, firstSeconds);
    expectReencoded(second, secondBytes, secondSeconds);
    expectCleanedUp();
    EXPECT_TRUE(QFile::exists(prog + "/Vidforge.exe"));  // the shipped transcoder is not ours
}

TEST_F(CompressorRun, BadLinesArePassedOverAndLoseNothing) {
    const QString chinese = out + "/视频 一.mp4";
    const QString notes = out + "/notes.txt", broken = out + "/broken.mp4";
    // "outer" contains "inner" as its tail: a line that merely occurs inside an earlier one.
    const QString inner = tmp.path() + "/v.mp4";
    const QString outer = tmp.path() + "/nest" + tmp.path() + "/v.mp4";
    QDir().mkpath(QFileInfo(outer).path());
    for (const QString& v : {chinese, inner, outer}) ASSERT_TRUE(makeShortVideo(v));
    ASSERT_TRUE(testsupport::writeText(notes, "not a video\n"));
    ASSERT_TRUE(testsupport::writeText(broken, QByteArray(200000, '\x5a')));
    const QByteArray notesBytes = readBytes(notes), brokenBytes = readBytes(broken),
                     chineseBytes = readBytes(chinese);

    writeList(("\r\n   \r\n  " + chinese + "  \r\n" + chinese + "\r\n" + out + "/deleted.mp4\r\n" +
               notes + "\r\n" + broken + "\r\n" + outer + "\r\n" + inner)
                  .toUtf8());
    Compressor c(fields(), prog.toStdString(), log);
    EXPECT_EQ(c.run(), kDone) << log.str();

    using R = std::pair<std::string, Outcome>;
    EXPECT_EQ(c.outcomes(), (std::vector<R>{{chinese.toStdString(), Outcome::Replaced},
                                            {notes.toStdString(), Outcome::NotAVideo},
                                            {broken.toStdString(), Outcome::NotAVideo},
                                            {outer.toStdString(), Outcome::Replaced},
                                            {inner.toStdString(), Outcome::Replaced}}));
    EXPECT_NE(readBytes(chinese), chineseBytes);
    EXPECT_EQ(readBytes(notes), notesBytes);
    EXPECT_EQ(readBytes(broken), brokenBytes);
    const std::string logged = runLog();
    for (const std::string& line :
         {"后台压缩完成：" + chinese.toStdString() + "\r\n",
          "后台压缩跳过：" + broken.toStdString() + "（读不出播放时长，保持原样）\r\n"})
        EXPECT_NE(logged.find(line), std::string::npos) << line << " not in\n" << logged;
    EXPECT_FALSE(QFile::exists(out + "/deleted.mp4"));
    EXPECT_FALSE(QFile::exists(list()));
    EXPECT_FALSE(QFile::exists(prog + "/CompVidforge.exe"));
}

TEST_F(CompressorRun, OwnTemporaryFileIsNotCompressedIntoItself) {
    const QString ownTemp = prog + "/Tmp.mp4";
    ASSERT_TRUE(makeShortVideo(ownTemp));
    const QByteArray before = readBytes(ownTemp);
    writeList((ownTemp + "\r\n").toUtf8());
    Compressor c(fields(), prog.toStdString(), log);
    EXPECT_EQ(c.run(), kDone) << log.str();
    using R = std::pair<std::string, Outcome>;
    EXPECT_EQ(c.outcomes(), (std::vector<R>{{ownTemp.toStdString(), Outcome::SameAsTemp}}));
    EXPECT_EQ(readBytes(ownTemp), before);
}

TEST_F(CompressorRun, KilledTranscoderLeavesTheOriginalAsItWas) {
    const QString video = out + "/000000.mp4";
    ASSERT_TRUE(makeLongVideo(video));
    const QByteArray before = readBytes(video);
    writeList((video + "\r\n").toUtf8());

    bool killed = false, sawOwnTool = false, sawForeignTool = true;
    Compressor::Hooks hooks;
    hooks.transcoderStarted = [&](const std::string&, const std::string& temp) {
        // Stitchwell's waits look for "Vidforge.exe" only and never see the private copy.
        sawOwnTool = General::CountToolProcesses("CompVidforge.exe");
        sawForeignTool = General::CountToolProcesses("Vidforge.exe");
        // Halfway: once the transcoder has written part of its output.
        waitUntil([&] {
            return platform::fileSize(temp) > 50000 || pidsNamed("CompVidforge.exe").empty();
        });
        for (int pid : pidsNamed("CompVidforge.exe")) killed = platform::killProcess(pid) || killed;
    };
    Compressor c(fields(), prog.toStdString(), log, hooks);
    EXPECT_EQ(c.run(), kDone) << log.str();

    ASSERT_TRUE(killed) << "the transcoder ended before it could be killed";
    EXPECT_TRUE(sawOwnTool);
    EXPECT_FALSE(sawForeignTool);
    ASSERT_EQ(c.outcomes().size(), 1u);
    EXPECT_EQ(c.outcomes()[0].second, Outcome::BadResult);
    EXPECT_EQ(readBytes(video), before);
    EXPECT_NE(log.str().find("the original stays"), std::string::npos) << log.str();
    expectCleanedUp();
}

TEST_F(CompressorRun, TruncatedInputKeepsItsOriginal) {
    // The index sits in front, so the cut file still reports its full length, but only part of
    // it can be decoded: the shorter result must not replace it.
    const QString video = out + "/cut.mp4";
    ASSERT_TRUE(testsupport::runFfmpeg(
        {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=8", "-c:v", "libx264",
         "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-movflags", "+faststart", video}));
    QFile f(video);
    ASSERT_TRUE(f.resize(f.size() * 4 / 10));
    const QByteArray before = readBytes(video);
    ASSERT_TRUE(General::ReadDuration(video.toStdString()).has_value());
    writeList((video + "\r\n").toUtf8());

    Compressor c(fields(), prog.toStdString(), log);
    EXPECT_EQ(c.run(), kDone) << log.str();
    ASSERT_EQ(c.outcomes().size(), 1u);
    EXPECT_EQ(c.outcomes()[0].second, Outcome::BadResult) << log.str();
    EXPECT_EQ(readBytes(video), before);
    // The failure in the run log, with the transcoder's own last words under it.
    const std::string logged = runLog();
    EXPECT_NE(logged.find("后台压缩失败：" + video.toStdString()), std::string::npos) << logged;
    EXPECT_NE(logged.find("转码程序的报告（最后几行）：\r\n"), std::string::npos) << logged;
    expectCleanedUp();
}

// Stitchwell appends its next video while this compressor still runs: right after a reading
// found nothing left, and right after the emptied list was deleted (a new list).
TEST_F(CompressorRun, LineAppendedAtTheLastMomentIsNotLost) {
    for (const bool afterDeletion : {false, true}) {
        SCOPED_TRACE(afterDeletion ? "after the deletion" : "after the last reading");
        const QString first = out + "/000000.mp4", late = out + "/000001.mp4";
        ASSERT_TRUE(makeShortVideo(first));
        ASSERT_TRUE(makeShortVideo(late));
        const QByteArray lateBytes = readBytes(late);
        writeList((first + "\r\n").toUtf8());

        int appended = 0;
        const auto append = [&] {
            if (++appended != 1) return;
            ASSERT_TRUE(platform::appendToFile(list().toStdString(), late.toStdString() + "\r\n"));
        };
        Compressor::Hooks hooks;
        (afterDeletion ? hooks.listDeleted : hooks.nothingLeft) = append;
        Compressor c(fields(), prog.toStdString(), log, hooks);
        EXPECT_EQ(c.run(), kDone) << log.str();
        EXPECT_EQ(appended, 2);
        ASSERT_EQ(c.outcomes().size(), 2u);
        EXPECT_EQ(c.outcomes()[1], std::make_pair(late.toStdString(), Outcome::Replaced));
        EXPECT_NE(readBytes(late), lateBytes);
        expectCleanedUp();
    }
}

// Stitchwell removes its running copy of the transcoder when its run ends; a compression started
// in that moment uses the shipped form. With neither, the list stays and the run log says why.
TEST_F(CompressorRun, RunningTranscoderCopyGone) {
    const QString video = out + "/000000.mp4";
    ASSERT_TRUE(makeShortVideo(video));
    const QByteArray before = readBytes(video);
    ASSERT_TRUE(QFile::rename(prog + "/Vidforge.exe", prog + "/Vidforge.dll"));
    writeList((video + "\r\n").toUtf8());
    EXPECT_EQ(Compressor(fields(), prog.toStdString(), log).run(), kDone) << log.str();
    EXPECT_NE(readBytes(video), before);
    expectCleanedUp();

    ASSERT_TRUE(QFile::remove(prog + "/Vidforge.dll"));
    writeList((video + "\r\n").toUtf8());
    EXPECT_EQ(Compressor(fields(), prog.toStdString(), log).run(), kNoTranscoder);
    EXPECT_TRUE(QFile::exists(list()));
    EXPECT_NE(runLog().find("后台压缩无法进行：找不到转码程序"), std::string::npos) << runLog();
}

}  // namespace
