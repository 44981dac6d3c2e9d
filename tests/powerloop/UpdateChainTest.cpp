// The whole update, end to end: the real main window offscreen finds a newer version on the
// tests' own server at start-up, the update command downloads the package and starts the real
// Powerloop.exe, the window goes, Powerloop replaces the files of the program folder and starts
// the real Stitchwell again, which checks the server at its own start-up. A package that is
// corrupt halfway changes nothing and the old Stitchwell comes back.

#include <gtest/gtest.h>

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "platform/Platform.h"
#include "tests/powerloop/Packages.h"
#include "tests/support/FormAccess.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestMedia.h"
#include "tests/update/TestServer.h"
#include "ui/Form1.h"
#include "ui/Settings.h"
#include "ui/Startup.h"
#include "update/Updater.h"

namespace {

using testsupport::TempDir;

class UpdateChain : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running());
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "STITCHWELL_UPDATE_SERVER"})
            m_saved << qgetenv(name);
        qputenv("HOME", tmp.sub("home", true).toUtf8());
        qputenv("XDG_CONFIG_HOME", tmp.sub("home/.config", true).toUtf8());
        qputenv("STITCHWELL_UPDATE_SERVER", server.base().toUtf8());
        ASSERT_TRUE(testsupport::stageProgramFolder(prog, {"Stitchwell", "Powerloop.exe"}));
        ASSERT_TRUE(testsupport::writeText(prog + "/说明.txt", "old notes"));
    }
    void TearDown() override {
        for (int pid : runningFromProgramFolder()) platform::killProcess(pid);
        setStartupCheck({});
        const char* names[] = {"HOME", "XDG_CONFIG_HOME", "STITCHWELL_UPDATE_SERVER"};
        for (int i = 0; i < 3; ++i) qputenv(names[i], m_saved[i]);
    }
    std::vector<int> runningFromProgramFolder() const {
        std::vector<int> pids;
        for (const auto& p : platform::listProcesses()) {
            const QString exe = QFileInfo(QString("/proc/%1/exe").arg(p.pid)).symLinkTarget();
            if (QFileInfo(exe).absolutePath() == QFileInfo(prog).absoluteFilePath())
                pids.push_back(p.pid);
        }
        return pids;
    }
    // The real window's start-up and update command; the window goes when the program would
    // end. Then waits until a Stitchwell started from the program folder asked for the version
    // file and Powerloop is gone.
    void updateThroughTheWindow(const QByteArray& versionFile, const QByteArray& package) {
        server.serve("/downs/Stitchwell.txt", versionFile);
        server.serve("/downs/Stitchwell.rar", package);
        Settings settings(tmp.sub("settings.ini"));
        ScriptedDialogs dialogs;
        auto form = std::make_unique<Form1>(dialogs, settings, prog);
        bool ended = false;
        UpdaterOptions options;
        options.endProgram = [&ended] { ended = true; };
        installUpdater(*form, options);
        ASSERT_TRUE(runStartup(*form, settings, dialogs));
        ASSERT_EQ(form->windowTitle(), "Stitchwell  发现有更新版本");
        ASSERT_TRUE(controlsOf(*form).MenuUpdate->isEnabled());
        controlsOf(*form).MenuUpdate->trigger();
        ASSERT_TRUE(ended) << dialogs.lastText().toStdString();
        form.reset();  // the program ends: its single-copy lock goes

        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000) {
            const auto pids = runningFromProgramFolder();
            const bool powerloopGone = std::none_of(pids.begin(), pids.end(), [](int pid) {
                return platform::processName(pid) == "Powerloop.exe";
            });
            if (powerloopGone && server.requests().count("/downs/Stitchwell.txt") == 2) return;
            QThread::msleep(50);
        }
        FAIL() << "no Stitchwell came back: " << server.requests().join(' ').toStdString();
    }
    QStringList beside() const {
        return QDir(QFileInfo(prog).absolutePath())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    TempDir tmp;
    QString prog = tmp.sub("上层/程序 目录", true);
    TestServer server;

private:
    QList<QByteArray> m_saved;
};

TEST_F(UpdateChain, PackageReplacesTheProgramFilesAndTheNewStitchwellStarts) {
    const QByteArray program = readAll(prog + "/Stitchwell");
    ASSERT_FALSE(program.isEmpty());
    TempDir scratch;
    ASSERT_TRUE(writePackage(
        scratch.sub("p.zip"), "zip",
        {{"Stitchwell", program}, {"说明.txt", "new notes"}, {"资料/新文件.txt", "added"}}));
    const QByteArray package = readAll(scratch.sub("p.zip"));
    const QByteArray sha = QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex();
    updateThroughTheWindow("006\r\n" + sha + "\r\n", package);

    EXPECT_EQ(readAll(prog + "/说明.txt"), "new notes");
    EXPECT_EQ(readAll(prog + "/资料/新文件.txt"), "added");
    EXPECT_TRUE(QFileInfo(prog + "/Stitchwell").isExecutable());
    EXPECT_FALSE(QFile::exists(prog + "/Stitchwell.rar"));
    EXPECT_EQ(beside(), QStringList{"程序 目录"});
    EXPECT_EQ(runningFromProgramFolder().size(), 1u);  // the new Stitchwell
}

TEST_F(UpdateChain, PackageCorruptHalfwayChangesNothingAndTheOldStitchwellReturns) {
    TempDir scratch;
    ASSERT_TRUE(writePackage(scratch.sub("p.zip"), "zip",
                             {{"说明.txt", "new notes"}, {"新文件.bin", noise(400000)}}));
    QByteArray package = readAll(scratch.sub("p.zip"));
    for (int i = 0; i < 64; ++i) package[package.size() / 2 + i] = char(i * 5);
    const QStringList before = snapshot(prog);
    updateThroughTheWindow("006", package);

    EXPECT_EQ(readAll(prog + "/说明.txt"), "old notes");
    EXPECT_FALSE(QFile::exists(prog + "/新文件.bin"));
    EXPECT_TRUE(QFile::exists(prog + "/Stitchwell.rar"));  // kept for a manual unpacking
    EXPECT_EQ(beside(), QStringList{"程序 目录"});
    EXPECT_EQ(runningFromProgramFolder().size(), 1u);  // the old Stitchwell
    EXPECT_EQ(snapshot(prog).filter("Stitchwell*:"), before.filter("Stitchwell*:"));
}

}  // namespace
