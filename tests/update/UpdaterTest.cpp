// The start-up version check and the update command on a real main window offscreen, against the
// tests' own server: which version files offer an update, what a failed or bad one does, the
// package download and its checksum, the hand-over to the update program, and the installer
// flow with an injected clock.

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>

#include "tests/support/FormAccess.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestMedia.h"
#include "tests/update/TestServer.h"
#include "ui/Form1.h"
#include "ui/Settings.h"
#include "update/Updater.h"

namespace {

using testsupport::TempDir;

struct Start {
    std::string file, params, dir;
    bool hidden;
};

class Updater : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running());
        settings = std::make_unique<Settings>(tmp.sub("settings.ini"));
        form = std::make_unique<Form1>(dialogs, *settings, prog);
        options.serverBase = server.base();
        options.versionLimits.connectMs = 500;
        options.versionLimits.totalMs = 800;
        options.extractor = [](const QString&) { return QString("/usr/bin/bsdtar"); };
        options.clock = [this] { return now; };
        options.pump = [this] { now += 1; };
        options.shellStart = [this](const std::string& f, const std::string& p,
                                    const std::string& d, bool hidden) {
            starts.push_back({f, p, d, hidden});
            return f == "Powerloop.exe" ? powerloopResult : 2;
        };
        options.endProgram = [this] { ++ends; };
        installUpdater(*form, options);
        server.serve("/downs/Stitchwell.rar", package);
    }
    void TearDown() override { form->updateCommand = nullptr; }
    void check(const QByteArray& versionFile) {
        server.serve("/downs/Stitchwell.txt", versionFile);
        StartupVersionCheck(*form, withDefaults(options), offer);
    }
    void update() { UpdateCommand(*form, withDefaults(options), offer); }
    QStringList shownTexts() const {
        QStringList texts;
        for (const auto& s : dialogs.shown) texts << s.text.left(14);
        return texts;
    }

    TempDir tmp;
    QString prog = tmp.sub("程序 目录", true);
    TestServer server;
    ScriptedDialogs dialogs;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<Form1> form;
    UpdaterOptions options;
    UpdateOffer offer;
    double now = 0;
    std::vector<Start> starts;
    int powerloopResult = 42, ends = 0;
    QByteArray package = noise(300000);
};

TEST_F(Updater, VersionFilesThatOfferAnUpdateAndThoseThatDoNot) {
    const QByteArray sha = QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex();
    struct Case {
        QByteArray file;
        const char* behaviour;
        bool offered;
    } cases[] = {
        {"006", nullptr, true},
        {"5", nullptr, false},
        {"004\r\n", nullptr, true},
        {"006\r\n" + sha + "\r\n", nullptr, true},
        {"", nullptr, false},
        {"<html>moved</html>", nullptr, false},
        {"006" + QByteArray(1 << 20, ' '), nullptr, false},  // megabytes: refused
        {"006", R"({"/downs/Stitchwell.txt": {"status": 404}})", false},
        {"006", R"({"/downs/Stitchwell.txt": {"status": 500}})", false},
        {"006", R"({"/downs/Stitchwell.txt": {"stall": 3}})", false},
        {"006", R"({"/downs/Stitchwell.txt": {"cut": true}})", false},
    };
    for (const Case& c : cases) {
        server.setBehaviour(c.behaviour ? c.behaviour : "{}");
        form->setWindowTitle("Stitchwell");
        controlsOf(*form).MenuUpdate->setEnabled(false);
        check(c.file);
        EXPECT_EQ(controlsOf(*form).MenuUpdate->isEnabled(), c.offered)
            << c.file.left(20).toStdString();
        EXPECT_EQ(form->windowTitle(), c.offered ? "Stitchwell  发现有更新版本" : "Stitchwell");
    }
    // Nothing half-written stays beside the version file.
    EXPECT_EQ(QDir(prog).entryList(QDir::Files | QDir::Hidden), QStringList{"Stitchwell.txt"});
    // A server that refuses the connection.
    options.serverBase = "http://127.0.0.1:9";
    controlsOf(*form).MenuUpdate->setEnabled(true);
    check("006");
    EXPECT_FALSE(controlsOf(*form).MenuUpdate->isEnabled());
}

TEST_F(Updater, PackageIsHandedToTheUpdateProgramOrTheWindowComesBack) {
    const QByteArray sha = QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex();
    const QString path = prog + "/Stitchwell.rar";
    struct Case {
        QByteArray checksum;
        const char* behaviour;
        int powerloop;
        QString message;
        bool started, ended;
    } cases[] = {
        {sha, "{}", 42, "更新升级文件包下载完毕！即将", true, true},
        {sha, "{}", 2, "更新升级文件包下载完毕！即将", true, false},
        {QByteArray(64, 'a'), "{}", 42, "更新升级文件包下载失败，请稍", false, false},
        {"", R"({"/downs/Stitchwell.rar": {"status": 500}})", 42, "更新升级文件包下载失败，请稍",
         false, false},
    };
    for (const Case& c : cases) {
        server.setBehaviour(c.behaviour);
        powerloopResult = c.powerloop;
        starts.clear();
        dialogs.shown.clear();
        ends = 0;
        check("006\n" + c.checksum);
        form->setWindowTitle("T C");
        update();
        EXPECT_EQ(shownTexts(), QStringList{c.message});
        EXPECT_EQ(QFile::exists(path), c.started);  // a mismatched package is deleted
        EXPECT_EQ(form->isVisible(), !c.ended);
        EXPECT_EQ(ends, c.ended ? 1 : 0);
        ASSERT_EQ(starts.size(), c.started ? 1u : 0u);
        if (!c.started) continue;
        EXPECT_EQ(starts[0].file, "Powerloop.exe");
        EXPECT_EQ(QString::fromStdString(starts[0].params),
                  path + "\t1\t" + QCoreApplication::applicationName() + "\tT C");
        EXPECT_EQ(QString::fromStdString(starts[0].dir), prog);
        EXPECT_TRUE(starts[0].hidden);
        EXPECT_EQ(dialogs.opened.last(), path);
    }
    EXPECT_FALSE(server.requests().contains("/downs/wrar411sc.rar"));
}

TEST_F(Updater, InstallerFlowWaitsForTheExtractorAndOffersRetry) {
    server.serve("/downs/wrar411sc.rar", "installer");
    // The extractor turns up 10 seconds after the installer was started: no Retry is asked.
    options.extractor = [this](const QString&) { return now >= 10 ? "/bin/bsdtar" : QString(); };
    check("006");
    update();
    const QString installing = "资源文件缺失，请先安装默认经", retry = "资源文件缺失，请先安装Win";
    EXPECT_EQ(shownTexts(), (QStringList{installing, "更新升级文件包下载完毕！即将"}));
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].file + (starts[0].hidden ? " hidden" : ""), "WinRAR.exe");
    EXPECT_TRUE(QFile::exists(prog + "/WinRAR.exe"));

    // Never one: Retry starts the installer again after the 60 seconds, Cancel gives up.
    options.extractor = [](const QString&) { return QString(); };
    dialogs.shown.clear();
    starts.clear();
    dialogs.answers = {MsgResult::Ok, MsgResult::Retry, MsgResult::Ok, MsgResult::Cancel};
    const double before = now;
    update();
    EXPECT_EQ(shownTexts(), (QStringList{installing, retry, installing, retry}));
    EXPECT_EQ(dialogs.shown[1].buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(starts.size(), 2u);
    EXPECT_EQ(now - before, 120);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(server.requests().count("/downs/wrar411sc.rar"), 2);
    EXPECT_EQ(server.requests().count("/downs/Stitchwell.rar"), 1);
}

}  // namespace
