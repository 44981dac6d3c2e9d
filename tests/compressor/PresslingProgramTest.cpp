// The real Pressling program, started as Stitchwell starts it (shell start, hidden) and as a user
// starts it from a terminal, from a program folder whose path holds blanks and Chinese characters.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>

#include "media/General.h"
#include "platform/Platform.h"
#include "tests/compressor/CompressorTestSupport.h"
#include "tests/support/TestMedia.h"

using namespace compressortest;
using testsupport::probeDuration;
using testsupport::TempDir;

namespace {

enum Exit {
    kDone = 0,
    kAnotherInstance = 1,
    kEmptyCommandLine = 2,
    kBadCommandLine = 3,
    kNoList = 4,
    kNoTranscoder = 5
};

struct Finished {
    int exitCode = -1;
    QString output;  // standard error, or the terminal's text when run on one
};

class PresslingProgram : public ::testing::Test {
protected:
    void SetUp() override {
        prog = tmp.sub("程序 目录 A", true);
        out = tmp.sub("输出 文件", true);
        ASSERT_TRUE(testsupport::stageProgramFolder(prog, {"Pressling.dll", "Vidforge.dll"}));
        ASSERT_TRUE(QFile::rename(prog + "/Pressling.dll", prog + "/Pressling.exe"));
        ASSERT_TRUE(QFile::rename(prog + "/Vidforge.dll", prog + "/Vidforge.exe"));
    }
    QString pressling() const { return prog + "/Pressling.exe"; }
    QString list() const { return prog + "/CompList.txt"; }
    // The parameter text Stitchwell passes.
    QString fieldsFor(const QString& listPath, const QString& tool = "Vidforge.exe") const {
        return prog + "\t" + tool + "\t" + listPath + "\t32\t25\t10000";
    }
    // As typed in a terminal: Pressling.exe "$(printf '...\t...')", the fields as one argument.
    void startByHand(QProcess& p, const QString& fields) const {
        p.setProgram("/bin/sh");
        p.setArguments({"-c", "cd \"$1\" && exec ./Pressling.exe \"$2\"", "sh", prog, fields});
        p.start();
        ASSERT_TRUE(p.waitForStarted());
    }
    Finished runByHand(const QString& fields) const {
        QProcess p;
        startByHand(p, fields);
        p.waitForFinished(-1);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
    }
    // On a terminal of its own (a pseudo-terminal made by script), where the bell can be heard.
    Finished runOnTerminal(const QStringList& args) const {
        QString command = "exec \"$PRESSLING\"";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PRESSLING", pressling());
        for (int i = 0; i < args.size(); ++i) {
            env.insert(QString("ARG%1").arg(i), args[i]);
            command += QString(" \"$ARG%1\"").arg(i);
        }
        QProcess p;
        p.setProcessEnvironment(env);
        p.start("script", {"-qec", command, "/dev/null"});
        p.waitForFinished(-1);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
    }
    // The program folder but the run log's folder, which stays as the account of the run.
    QStringList folderListing() const {
        QStringList names =
            QDir(prog).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        names.removeAll("日志");
        return names;
    }
    void expectCleanedUp() const {
        EXPECT_FALSE(QFile::exists(list()));
        EXPECT_EQ(folderListing(), (QStringList{"Pressling.exe", "Vidforge.exe"}));
    }

    TempDir tmp;
    QString prog, out;
};

TEST_F(PresslingProgram, ShellStartCompressesTheListInOrder) {
    const QString first = out + "/000000.mp4", second = out + "/000001.mp4";
    ASSERT_TRUE(makeShortVideo(first));
    ASSERT_TRUE(makeShortVideo(second));
    const QByteArray firstBytes = readBytes(first), secondBytes = readBytes(second);
    ASSERT_TRUE(testsupport::writeText(list(), (second + "\r\n" + first + "\r\n").toUtf8()));

    ASSERT_EQ(platform::shellExecute("Pressling.exe", fieldsFor(list()).toStdString(),
                                     prog.toStdString(), true),
              42);
    waitUntil([] { return pidsNamed("Pressling.exe").empty(); });

    expectReencoded(first, firstBytes, probeDuration(first));
    expectReencoded(second, secondBytes, probeDuration(second));
    // List order, not name order: 000001.mp4 was put in place first.
    EXPECT_LT(QFileInfo(second).lastModified(), QFileInfo(first).lastModified());
    expectCleanedUp();
}

TEST_F(PresslingProgram, StartedByHandWithTheFieldsAsOneArgument) {
    const QString video = out + "/视频 1.mp4";
    ASSERT_TRUE(makeShortVideo(video));
    const QByteArray before = readBytes(video);
    ASSERT_TRUE(testsupport::writeText(list(), ("  " + video + " \r\n").toUtf8()));

    const Finished f = runByHand(fieldsFor(list()));
    EXPECT_EQ(f.exitCode, kDone) << f.output.toStdString();
    expectReencoded(video, before, probeDuration(video));
    expectCleanedUp();
}

TEST_F(PresslingProgram, SecondInstanceBeepsAndTouchesNothing) {
    const QString busy = out + "/000000.mp4", other = out + "/000001.mp4";
    ASSERT_TRUE(makeLongVideo(busy));
    ASSERT_TRUE(makeShortVideo(other));
    const QByteArray busyBytes = readBytes(busy), otherBytes = readBytes(other);
    ASSERT_TRUE(testsupport::writeText(list(), (busy + "\r\n").toUtf8()));
    const QString otherList = out + "/Other List.txt";
    const QByteArray otherListText = (other + "\r\n").toUtf8();
    ASSERT_TRUE(testsupport::writeText(otherList, otherListText));

    QProcess first;
    startByHand(first, fieldsFor(list()));
    // Busy: its transcoder runs and has made its temporary output, so the folder stays as it is
    // while the second instance is tried.
    waitUntil([&] {
        return (!pidsNamed("CompVidforge.exe").empty() && QFile::exists(prog + "/Tmp.mp4")) ||
               first.state() == QProcess::NotRunning;
    });
    ASSERT_EQ(first.state(), QProcess::Running) << "the first instance ended too early";
    // Stitchwell's own waits never see the compressor's transcoder.
    EXPECT_FALSE(General::CountToolProcesses("Vidforge.exe"));

    const QStringList listingWhileBusy = folderListing();
    const Finished second = runOnTerminal({fieldsFor(otherList)});
    EXPECT_EQ(second.exitCode, kAnotherInstance) << second.output.toStdString();
    EXPECT_TRUE(second.output.contains('\a')) << "no bell on the terminal";
    EXPECT_TRUE(second.output.contains("another instance")) << second.output.toStdString();
    EXPECT_EQ(readBytes(otherList), otherListText);
    EXPECT_EQ(readBytes(other), otherBytes);
    EXPECT_EQ(folderListing(), listingWhileBusy);

    first.waitForFinished(-1);
    EXPECT_EQ(first.exitCode(), kDone) << first.readAllStandardError().toStdString();
    expectReencoded(busy, busyBytes, probeDuration(busy));
    expectCleanedUp();
}

TEST_F(PresslingProgram, KilledInstanceLeavesNoLockBehind) {
    const QString video = out + "/000000.mp4";
    ASSERT_TRUE(makeLongVideo(video));
    const QByteArray before = readBytes(video);
    ASSERT_TRUE(testsupport::writeText(list(), (video + "\r\n").toUtf8()));

    QProcess first;
    startByHand(first, fieldsFor(list()));
    waitUntil([&] {
        return !pidsNamed("CompVidforge.exe").empty() || first.state() == QProcess::NotRunning;
    });
    ASSERT_EQ(first.state(), QProcess::Running);
    platform::killProcess(static_cast<int>(first.processId()));
    for (int pid : pidsNamed("CompVidforge.exe")) platform::killProcess(pid);
    first.waitForFinished(-1);
    ASSERT_TRUE(QFile::exists(prog + "/Pressling.lock"));  // left by the killed instance
    EXPECT_EQ(readBytes(video), before);

    const Finished again = runByHand(fieldsFor(list()));
    EXPECT_EQ(again.exitCode, kDone) << again.output.toStdString();
    expectReencoded(video, before, probeDuration(video));
    expectCleanedUp();
}

TEST_F(PresslingProgram, EmptyCommandLineBeepsAndEnds) {
    const QStringList before = folderListing();
    const Finished f = runOnTerminal({});
    EXPECT_EQ(f.exitCode, kEmptyCommandLine) << f.output.toStdString();
    EXPECT_TRUE(f.output.contains('\a'));
    EXPECT_TRUE(f.output.contains("empty"));
    EXPECT_EQ(folderListing(), before);
}

TEST_F(PresslingProgram, BadStartsSayWhyAndTouchNothing) {
    const QString video = out + "/000000.mp4";
    ASSERT_TRUE(makeShortVideo(video));
    const QByteArray videoBytes = readBytes(video);
    const QByteArray listText = (video + "\r\n").toUtf8();
    ASSERT_TRUE(testsupport::writeText(list(), listText));
    const QStringList before = folderListing();

    struct Case {
        QString fields;
        int exitCode;
        const char* reason;
    } cases[] = {
        {prog + "\tVidforge.exe\t" + list(), kBadCommandLine, "field"},
        {fieldsFor(list()).replace("\t32\t", "\tabc\t"), kBadCommandLine, "rate factor"},
        {fieldsFor(prog + "/Missing List.txt"), kNoList, "does not exist"},
        {fieldsFor(list(), "Missing.exe"), kNoTranscoder, "transcoder"},
    };
    for (const Case& c : cases) {
        const Finished f = runByHand(c.fields);
        EXPECT_EQ(f.exitCode, c.exitCode) << c.fields.toStdString();
        EXPECT_TRUE(f.output.contains(c.reason)) << f.output.toStdString();
        EXPECT_EQ(folderListing(), before) << c.fields.toStdString();
        EXPECT_EQ(readBytes(list()), listText);
        EXPECT_EQ(readBytes(video), videoBytes);
    }
}

TEST_F(PresslingProgram, LineAppendedWhileCompressingIsCompressedNext) {
    const QString first = out + "/000000.mp4", next = out + "/000001.mp4";
    ASSERT_TRUE(makeLongVideo(first));
    ASSERT_TRUE(makeShortVideo(next));
    const QByteArray firstBytes = readBytes(first), nextBytes = readBytes(next);
    ASSERT_TRUE(testsupport::writeText(list(), (first + "\r\n").toUtf8()));

    QProcess p;
    startByHand(p, fieldsFor(list()));
    waitUntil([&] {
        return !pidsNamed("CompVidforge.exe").empty() || p.state() == QProcess::NotRunning;
    });
    ASSERT_EQ(p.state(), QProcess::Running);
    // Stitchwell's append: one open, one line, one close.
    ASSERT_TRUE(platform::appendToFile(list().toStdString(), next.toStdString() + "\r\n"));
    p.waitForFinished(-1);

    EXPECT_EQ(p.exitCode(), kDone) << p.readAllStandardError().toStdString();
    expectReencoded(first, firstBytes, probeDuration(first));
    expectReencoded(next, nextBytes, probeDuration(next));
    EXPECT_LT(QFileInfo(first).lastModified(), QFileInfo(next).lastModified());
    expectCleanedUp();
}

TEST_F(PresslingProgram, DoesNotWaitForStitchwellsTranscoder) {
    // Stitchwell's transcoder at work elsewhere, for as long as it is let run.
    const QString elsewhere = tmp.sub("stitchwell", true);
    ASSERT_TRUE(testsupport::stageProgramFolder(elsewhere, {"Vidforge.dll"}));
    ASSERT_TRUE(QFile::rename(elsewhere + "/Vidforge.dll", elsewhere + "/Vidforge.exe"));
    const std::vector<int> earlier = pidsNamed("Vidforge.exe");
    ASSERT_EQ(platform::shellExecute("Vidforge.exe",
                                     "-nostdin -re -f lavfi -i nullsrc=size=16x16 -f null -",
                                     elsewhere.toStdString(), true),
              42);
    struct Started {
        std::vector<int> pids;
        ~Started() {
            for (int pid : pids) platform::killProcess(pid);
        }
    } foreign;
    for (int pid : pidsNamed("Vidforge.exe"))
        if (std::find(earlier.begin(), earlier.end(), pid) == earlier.end())
            foreign.pids.push_back(pid);
    ASSERT_EQ(foreign.pids.size(), 1u);

    const QString video = out + "/000000.mp4";
    ASSERT_TRUE(makeShortVideo(video));
    const QByteArray before = readBytes(video);
    ASSERT_TRUE(testsupport::writeText(list(), (video + "\r\n").toUtf8()));
    const Finished f = runByHand(fieldsFor(list()));

    EXPECT_EQ(f.exitCode, kDone) << f.output.toStdString();
    const std::vector<int> now = pidsNamed("Vidforge.exe");
    EXPECT_NE(std::find(now.begin(), now.end(), foreign.pids[0]), now.end())
        << "Stitchwell's transcoder should still run";
    expectReencoded(video, before, probeDuration(video));
    expectCleanedUp();
}

}  // namespace
