// Loading and closing the main window: the acceleration probe with the real transcoder and with a
// stand-in for the hardware this machine lacks, the stored settings, the folders, the order of
// the load steps, the close request, and the guard against a real running second copy.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLockFile>
#include <QThread>
#include <algorithm>
#include <memory>

#include "media/General.h"
#include "merge/AccelerationProbe.h"
#include "platform/Platform.h"
#include "tests/support/FormAccess.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestMedia.h"
#include "ui/Form1.h"
#include "ui/Settings.h"
#include "ui/Startup.h"

using testsupport::isListed;
using testsupport::pidsNamed;
using testsupport::TempDir;
using testsupport::waitUntil;

namespace {

const QString kIntel = QStringLiteral("Intel显卡硬件加速");
const QString kNvidia = QStringLiteral("NVIDIA显卡硬件加速");
const QString kAbsent = QStringLiteral("<absent>");

bool copyExecutable(const QString& from, const QString& to) {
    QFile::remove(to);
    return QFile::copy(from, to) &&
           QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
// Ends the processes when the test is over, whatever happened.
struct Reaper {
    std::vector<int> pids;
    ~Reaper() {
        for (int pid : pids) platform::killProcess(pid);
    }
};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The user's home and configuration are the test's own.
        m_oldHome = qgetenv("HOME");
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        home = tmp.sub("home", true);
        qputenv("HOME", home.toUtf8());
        qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
        prog = tmp.sub("程序 目录", true);
        settings = std::make_unique<Settings>(tmp.sub("settings.ini"));
    }
    void TearDown() override {
        setStartupCheck({});
        qputenv("HOME", m_oldHome);
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }
    std::unique_ptr<Form1> makeForm() { return std::make_unique<Form1>(dialogs, *settings, prog); }
    // The program folder with the stand-in transcoder as the shipped one and the real sample.
    void stageStandIn(const QByteArray& behaviour) {
        ASSERT_TRUE(copyExecutable(STANDIN_TRANSCODER, prog + "/Vidforge.dll"));
        ASSERT_TRUE(testsupport::stageProgramFolder(prog, {"Accelerate.dll"}));
        ASSERT_TRUE(testsupport::writeText(prog + "/behaviour.txt", behaviour));
    }
    // The command texts the stand-in was started with, in order.
    QStringList commands() const {
        QFile f(prog + "/commands.txt");
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    QString stored(const char* key) const { return settings->ReadSetting(key, kAbsent); }
    static QStringList entries(const Form1& form) {
        QStringList list;
        for (int i = 0; i < controlsOf(form).CmbAcc->count(); ++i)
            list << controlsOf(form).CmbAcc->itemText(i);
        return list;
    }
    bool exists(const QString& name) const { return QFile::exists(prog + "/" + name); }
    // The probe's input and outputs still in the program folder.
    QStringList probeFilesLeft() const {
        return QDir(prog).entryList({"Acc*.mp4"}, QDir::Files | QDir::Hidden);
    }
    // The probe's command text for the Intel or the NVIDIA form, writing output.
    QString probeCommand(bool intel, const QString& output = "Acc.mp4") const {
        const QString middle =
            "/Accelerate.mp4\" -vf \"transpose=1\" -s 720:1280 -r 25 -b:v "
            "10000k -an -q:v 0 ";
        return intel ? "-c:v h264_qsv  -noautorotate   -i \"" + prog + middle +
                           "  -c:v h264_qsv  -y \"" + prog + "/" + output + "\""
                     : " -c:v h264_cuvid   -noautorotate  -i \"" + prog + middle +
                           " -c:v h264_nvenc  -y \"" + prog + "/" + output + "\"";
    }

    TempDir tmp;
    QString home, prog;
    std::unique_ptr<Settings> settings;
    ScriptedDialogs dialogs;

private:
    QByteArray m_oldHome, m_oldConfig;
};

// ---- the acceleration probe ------------------------------------------------------------------

TEST_F(StartupTest, RealTranscoderFindsNoHardwareEncoderHere) {
    ASSERT_TRUE(testsupport::stageProgramFolder(prog, {"Vidforge.dll", "Accelerate.dll"}));
    auto form = makeForm();
    ASSERT_TRUE(runStartup(*form, *settings, dialogs));

    EXPECT_FALSE(controlsOf(*form).ChSpeed->isEnabled());
    EXPECT_EQ(controlsOf(*form).CmbAcc->count(), 0);
    for (const char* key : {"Accelerate", "AccIndex", "Accs"}) EXPECT_EQ(stored(key), kAbsent);
    EXPECT_EQ(stored("AccSessions"), kAbsent);
    EXPECT_EQ(probeFilesLeft(), QStringList());  // the failed attempts' empty outputs are gone too
    EXPECT_TRUE(exists("Vidforge.exe"));
    EXPECT_TRUE(dialogs.shown.empty());
}

// An attempt waits only for its own transcoder, and for a bounded time: a transcoder of the same
// name running elsewhere holds nothing, and a hanging attempt is ended and counts as not working.
TEST_F(StartupTest, ProbeWaitsOnlyForItsOwnTranscoderAndNotWithoutEnd) {
    stageStandIn("h264_qsv write 600000\nh264_nvenc write 0\n");
    const QString elsewhere = tmp.sub("elsewhere", true);
    ASSERT_TRUE(copyExecutable("/bin/sleep", elsewhere + "/Vidforge.exe"));
    const std::vector<int> earlier = pidsNamed("Vidforge.exe");
    ASSERT_EQ(platform::shellExecute("Vidforge.exe", "600", elsewhere.toStdString(), true), 42);
    Reaper other;
    for (int pid : pidsNamed("Vidforge.exe"))
        if (std::find(earlier.begin(), earlier.end(), pid) == earlier.end())
            other.pids.push_back(pid);
    ASSERT_EQ(other.pids.size(), 1u);

    const ProbeFindings found = RunAccelerationProbe(
        prog.toStdString(), [] { General::PumpEvents(); }, {}, 1.0);
    EXPECT_EQ(found.entries, std::vector<std::string>{"NVIDIA显卡硬件加速"});
    EXPECT_EQ(found.sessions, std::vector<int>{3});
    // Only the form that worked has a session round, each session with an output of its own.
    QStringList round = commands().mid(2);
    round.sort();
    EXPECT_EQ(round, (QStringList{probeCommand(false, "Acc1.mp4"), probeCommand(false, "Acc2.mp4"),
                                  probeCommand(false, "Acc3.mp4")}));
    EXPECT_EQ(pidsNamed("Vidforge.exe"), other.pids);  // the hanging attempt was ended
}

TEST_F(StartupTest, FailedAttemptsAreRetriedAtEveryStartWithTheExactCommands) {
    // As this machine's transcoder does: each attempt fails and leaves an empty output file.
    stageStandIn("h264_qsv empty 0\nh264_nvenc empty 0\n");
    for (int start = 0; start < 2; ++start) {
        auto form = makeForm();
        ASSERT_TRUE(runStartup(*form, *settings, dialogs));
        EXPECT_FALSE(controlsOf(*form).ChSpeed->isEnabled());
        EXPECT_EQ(controlsOf(*form).CmbAcc->count(), 0);
    }
    const QString intel = probeCommand(true), nvidia = probeCommand(false);
    EXPECT_EQ(commands(), (QStringList{intel, nvidia, intel, nvidia}));  // no session round
    for (const char* key : {"Accelerate", "AccIndex", "Accs"}) EXPECT_EQ(stored(key), kAbsent);
    EXPECT_EQ(probeFilesLeft(), QStringList());
}

struct ProbeCase {
    const char* name;
    const char* behaviour;
    QStringList entries;
    int preferred;
    QString sessions;  // as stored
};

class ProbeOutcome : public StartupTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeOutcome, EntriesPreferenceAndSettings) {
    const ProbeCase& c = GetParam();
    stageStandIn(c.behaviour);
    {
        auto form = makeForm();
        ASSERT_TRUE(runStartup(*form, *settings, dialogs));
        EXPECT_TRUE(controlsOf(*form).ChSpeed->isEnabled());
        EXPECT_FALSE(controlsOf(*form).ChSpeed->isChecked());
        EXPECT_EQ(entries(*form), c.entries);
        EXPECT_EQ(controlsOf(*form).CmbAcc->currentIndex(), c.preferred);
        EXPECT_EQ(form->preferredEncoderIndex(), c.preferred);
        EXPECT_EQ(stored("Accelerate"), "1");
        EXPECT_EQ(stored("AccIndex"), QString::number(c.preferred));
        EXPECT_EQ(stored("Accs"), c.entries.join("\r\n") + "\r\n");
        EXPECT_EQ(stored("AccSessions"), c.sessions);
        EXPECT_EQ(probeFilesLeft(), QStringList());
    }
    // The next start restores what the probe found and never probes again.
    auto again = makeForm();
    ASSERT_TRUE(runStartup(*again, *settings, dialogs));
    EXPECT_EQ(commands().size(), 2 + 3 * c.entries.size());
    EXPECT_TRUE(controlsOf(*again).ChSpeed->isEnabled());
    EXPECT_EQ(entries(*again), c.entries);
    EXPECT_EQ(controlsOf(*again).CmbAcc->currentIndex(), c.preferred);
}

INSTANTIATE_TEST_SUITE_P(
    StandIn, ProbeOutcome,
    ::testing::Values(
        ProbeCase{"OnlyIntel", "h264_qsv write 0\nh264_nvenc empty 0\n", {kIntel}, 0, "3\r\n"},
        ProbeCase{"OnlyNvidia", "h264_qsv empty 0\nh264_nvenc write 0\n", {kNvidia}, 0, "3\r\n"},
        ProbeCase{"Intel3Nvidia5",
                  "h264_qsv write 3000\nh264_nvenc write 5000\n",
                  {kIntel, kNvidia},
                  0,
                  "3\r\n3\r\n"},
        ProbeCase{"Intel5Nvidia3",
                  "h264_qsv write 5000\nh264_nvenc write 3000\n",
                  {kIntel, kNvidia},
                  1,
                  "3\r\n3\r\n"},
        // Drivers that let only so many sessions run at once; a session holds its slot for the
        // whole second it runs, long beside the moment it takes to start three.
        ProbeCase{"IntelOneSessionNvidiaTwo",
                  "h264_qsv write 1000 sessions 1\nh264_nvenc write 3000 sessions 2\n",
                  {kIntel, kNvidia},
                  0,
                  "1\r\n2\r\n"},
        ProbeCase{"NvidiaThreeSessions",
                  "h264_qsv none 0\nh264_nvenc write 1000 sessions 3\n",
                  {kNvidia},
                  0,
                  "3\r\n"},
        // The Intel run ends just past a second boundary, so the NVIDIA run ends within the same
        // second: a 0 s attempt keeps the index at 0 although it was the faster one.
        ProbeCase{"Nvidia0Seconds",
                  "h264_qsv write 3000 align\nh264_nvenc write 0\n",
                  {kIntel, kNvidia},
                  0,
                  "3\r\n3\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- stored settings and missing files -------------------------------------------------------

TEST_F(StartupTest, StoredAccelerationSettingsAreRestoredOrPassedOver) {
    stageStandIn("h264_qsv write 0\nh264_nvenc write 0\n");
    const QString both = kIntel + "\r\n" + kNvidia + "\r\n";
    struct Case {
        QStringList keyValues;  // key, value, key, value, ...
        bool speedEnabled, ticked;
        QStringList entries;
        int selected;
        std::vector<int> sessions;  // the merge run's session count with each entry selected
    } cases[] = {
        {{"Accelerate", "1"}, true, false, {}, -1, {}},
        {{"Accelerate", "1", "Accs", kIntel + "\r\n", "AccSessions", "1\r\n", "CmbAcc", "1"},
         true,
         false,
         {kIntel},
         -1,
         {1}},
        // A store from before the session counts were kept.
        {{"Accelerate", "1", "Accs", both, "Speed", "1", "CmbAcc", "1"},
         true,
         true,
         {kIntel, kNvidia},
         1,
         {2, 2}},
        {{"Accelerate", "1", "Accs", both, "AccSessions", "3\r\n8\r\n", "Speed", "abc", "AccIndex",
          "x", "CmbAcc", "99999"},
         true,
         false,
         {kIntel, kNvidia},
         -1,
         {3, 8}},
        {{"Accelerate", "1", "Accs", both, "AccSessions", "0\r\n9\r\n"},
         true,
         false,
         {kIntel, kNvidia},
         0,
         {2, 2}},
        {{"Accelerate", "1", "Accs", both, "AccSessions", "x1\r\n-3\r\n"},
         true,
         false,
         {kIntel, kNvidia},
         0,
         {2, 2}},
        // More entries than counts; an entry passed over keeps its count's position.
        {{"Accelerate", "1", "Accs", both, "AccSessions", "1\r\n"},
         true,
         false,
         {kIntel, kNvidia},
         0,
         {1, 2}},
        {{"Accelerate", "1", "Accs", "别的\r\n" + kNvidia + "\r\n", "AccSessions", "1\r\n3\r\n"},
         true,
         false,
         {kNvidia},
         0,
         {3}},
        // An unreadable flag skips the step: neither restored nor probed.
        {{"Accelerate", "abc"}, false, false, {}, -1, {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyValues.join(" ").toStdString());
        settings = std::make_unique<Settings>(tmp.sub(QString("case%1.ini").arg(++n)));
        for (int i = 0; i + 1 < c.keyValues.size(); i += 2)
            settings->WriteSetting(c.keyValues[i], c.keyValues[i + 1]);
        auto form = makeForm();
        ASSERT_TRUE(runStartup(*form, *settings, dialogs));
        EXPECT_EQ(controlsOf(*form).ChSpeed->isEnabled(), c.speedEnabled);
        EXPECT_EQ(controlsOf(*form).ChSpeed->isChecked(), c.ticked);
        EXPECT_EQ(controlsOf(*form).CmbAcc->isEnabled(), c.ticked);
        EXPECT_EQ(entries(*form), c.entries);
        EXPECT_EQ(controlsOf(*form).CmbAcc->currentIndex(), c.selected);
        EXPECT_EQ(controlsOf(*form).LDir->text(), home + "/Stitchwell");  // later steps still ran
        const MergeHost& host = *form;
        if (c.selected < 0) {
            EXPECT_EQ(host.clipInputs().hardwareSessions, 2);
        }
        for (int i = 0; i < std::ssize(c.sessions); ++i) {
            controlsOf(*form).CmbAcc->setCurrentIndex(i);
            EXPECT_EQ(host.clipInputs().hardwareSessions, c.sessions[i]) << i;
        }
    }
    EXPECT_TRUE(commands().isEmpty());  // the probe never ran
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(StartupTest, MissingShippedFilesAreHandledSilently) {
    auto form = makeForm();
    ASSERT_TRUE(runStartup(*form, *settings, dialogs));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(controlsOf(*form).ChSpeed->isEnabled());
    EXPECT_EQ(stored("Accelerate"), kAbsent);
    EXPECT_FALSE(exists("Vidforge.exe"));
    EXPECT_FALSE(exists("Accelerate.mp4"));
    EXPECT_TRUE(QFileInfo(prog + "/已使用素材").isDir());
}

// ---- folders and the order of the load steps -------------------------------------------------

TEST_F(StartupTest, FoldersAndFilesArePrepared) {
    stageStandIn("");
    ASSERT_TRUE(testsupport::writeText(prog + "/Vidforge.exe", "an old copy"));
    ASSERT_TRUE(testsupport::writeText(prog + "/Pressling.exe", "left by a run"));
    ASSERT_TRUE(testsupport::writeText(tmp.sub("程序 目录/Tmps/sub", true) + "/0.mp4", "x"));
    {
        auto form = makeForm();
        ASSERT_TRUE(runStartup(*form, *settings, dialogs));
        // No videos folder: the home folder's own, which survives a reboot.
        EXPECT_EQ(controlsOf(*form).LDir->text(), home + "/Stitchwell");
        EXPECT_TRUE(QFileInfo(home + "/Stitchwell").isDir());
        EXPECT_EQ(controlsOf(*form).LMove->text(), prog + "/已使用素材");
        EXPECT_TRUE(QFileInfo(prog + "/已使用素材").isDir());
        EXPECT_FALSE(exists("Tmps"));
        EXPECT_FALSE(exists("Pressling.exe"));
        EXPECT_EQ(QFile(prog + "/Vidforge.exe").size(), QFile(prog + "/Vidforge.dll").size());
    }
    // What a run that ended abnormally left in the output folder goes, and nothing else.
    {
        const QString out = home + "/Stitchwell";
        const QStringList leftovers = {"000003.partial.mp4", ".000001.mp4.Ab12cd"};
        const QStringList kept = {"000000.mp4", "000003.partial.mp4.bak", "my.partial.mp4",
                                  ".hidden note"};
        for (const QString& n : leftovers + kept)
            ASSERT_TRUE(testsupport::writeText(out + "/" + n, "v"));
        auto form = makeForm();
        ASSERT_TRUE(runStartup(*form, *settings, dialogs));
        QStringList left = QDir(out).entryList(QDir::Files | QDir::Hidden);
        left.sort();
        QStringList expected = kept;
        expected.sort();
        EXPECT_EQ(left, expected);
        for (const QString& n : kept) QFile::remove(out + "/" + n);
    }
    // With a videos folder, stored folders that do not exist.
    QDir().mkpath(home + "/Videos");
    const QString saveDir = tmp.path() + "/新 输出/深", moveDir = tmp.path() + "/别处 素材";
    settings->WriteSetting("SaveDir", saveDir);
    settings->WriteSetting("MoveDir", moveDir);
    QDir(prog + "/已使用素材").removeRecursively();
    auto form = makeForm();
    ASSERT_TRUE(runStartup(*form, *settings, dialogs));
    EXPECT_EQ(defaultOutputFolder(), home + "/Videos/Stitchwell");
    EXPECT_TRUE(QFileInfo(home + "/Videos/Stitchwell").isDir());
    EXPECT_EQ(controlsOf(*form).LDir->text(), saveDir);
    EXPECT_TRUE(QFileInfo(saveDir).isDir());
    EXPECT_EQ(controlsOf(*form).LMove->text(), moveDir);
    EXPECT_FALSE(QFileInfo::exists(moveDir));
    EXPECT_TRUE(QFileInfo(prog + "/已使用素材").isDir());
}

TEST_F(StartupTest, UpdateProgramEndsBeforeTheStartupCheckRuns) {
    stageStandIn("");
    ASSERT_TRUE(testsupport::writeText(prog + "/Pressling.exe", "left by a run"));
    const QString updater = tmp.sub("updater", true);
    ASSERT_TRUE(copyExecutable("/bin/sleep", updater + "/Powerloop.exe"));
    const std::vector<int> earlier = pidsNamed("Powerloop.exe");
    ASSERT_EQ(platform::shellExecute("Powerloop.exe", "600", updater.toStdString(), true), 42);
    Reaper powerloop;
    for (int pid : pidsNamed("Powerloop.exe"))
        if (std::find(earlier.begin(), earlier.end(), pid) == earlier.end())
            powerloop.pids.push_back(pid);
    ASSERT_EQ(powerloop.pids.size(), 1u);

    int checks = 0;
    bool presslingStillThere = false;
    QString outputCaption;
    setStartupCheck([&](Form1& form) {
        ++checks;
        presslingStillThere = exists("Pressling.exe");
        outputCaption = controlsOf(form).LDir->text();
    });
    auto form = makeForm();
    ASSERT_TRUE(runStartup(*form, *settings, dialogs));
    EXPECT_EQ(checks, 1);
    EXPECT_TRUE(presslingStillThere);
    EXPECT_EQ(outputCaption, "保存目录未指定");  // the check comes before the folder steps
    EXPECT_FALSE(exists("Pressling.exe"));
    waitUntil([&] { return !isListed(powerloop.pids[0]); });
}

// A Powerloop that holds its lock is replacing files: the start gives way, says so and ends
// nothing; once the lock is free, the start ends the left-over Powerloop.
TEST_F(StartupTest, UpdateBeingInstalledIsNeverEnded) {
    stageStandIn("");
    const QString updater = tmp.sub("updater", true);
    ASSERT_TRUE(copyExecutable("/bin/sleep", updater + "/Powerloop.exe"));
    const std::vector<int> earlier = pidsNamed("Powerloop.exe");
    ASSERT_EQ(platform::shellExecute("Powerloop.exe", "600", updater.toStdString(), true), 42);
    Reaper powerloop;
    for (int pid : pidsNamed("Powerloop.exe"))
        if (std::find(earlier.begin(), earlier.end(), pid) == earlier.end())
            powerloop.pids.push_back(pid);
    ASSERT_EQ(powerloop.pids.size(), 1u);
    {
        QLockFile installing(prog + "/Powerloop.lock");
        ASSERT_TRUE(installing.tryLock(0));
        auto form = makeForm();
        EXPECT_FALSE(runStartup(*form, *settings, dialogs));
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, "正在安装更新升级，完毕后程序将自动启动！");
        EXPECT_TRUE(isListed(powerloop.pids[0]));
        EXPECT_FALSE(exists("Vidforge.exe"));
    }
    dialogs.shown.clear();
    auto form = makeForm();
    EXPECT_TRUE(runStartup(*form, *settings, dialogs));
    EXPECT_TRUE(dialogs.shown.empty());
    waitUntil([&] { return !isListed(powerloop.pids[0]); });
}

// The outcome Powerloop left is shown once, titled "消息", and deleted; a record that is garbage
// or far too long is deleted with a message that says it could not be read.
TEST_F(StartupTest, UpdateOutcomeIsShownOnceAndDeleted) {
    stageStandIn("");
    const QString old = "\r\n当前运行的仍是原版本，请稍后重试！";
    const struct {
        const char* name;
        QByteArray record;
        QString message;
    } cases[] = {
        {"replaced", "replaced\r\n\r\n", "更新升级完毕！程序已更新为新版本。"},
        {"refused", "unchanged\r\n更新包已损坏：truncated\r\n",
         "更新升级失败，程序文件未被更改！\r\n原因：更新包已损坏：truncated" + old},
        {"gave up", "gave-up-waiting\r\n程序仍在运行，放弃更新\r\n",
         "更新升级失败：等待程序退出超时，程序文件未被更改！" + old},
        {"garbage", QByteArray("\x00\xff\xfe garbage", 12),
         "上次更新升级的结果记录无法识别，已删除！请查看程序版本是否已更新。"},
        {"huge", "replaced\r\n" + QByteArray(100000, 'x'),
         "上次更新升级的结果记录无法识别，已删除！请查看程序版本是否已更新。"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(testsupport::writeText(prog + "/更新结果.txt", c.record));
        dialogs.shown.clear();
        for (int start = 0; start < 2; ++start) {
            auto form = makeForm();
            ASSERT_TRUE(runStartup(*form, *settings, dialogs));
        }
        ASSERT_EQ(dialogs.shown.size(), 1u) << c.name;  // once: the second start shows nothing
        EXPECT_EQ(dialogs.shown[0].text, c.message) << c.name;
        EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::Ok);
        EXPECT_FALSE(exists("更新结果.txt"));
    }
}

// ---- closing ---------------------------------------------------------------------------------

TEST_F(StartupTest, CloseRequestAsksThenEndsTheTranscoder) {
    stageStandIn("hold none 600000\n");
    ASSERT_TRUE(copyExecutable(prog + "/Vidforge.dll", prog + "/Vidforge.exe"));
    const std::vector<int> earlier = pidsNamed("Vidforge.exe");
    ASSERT_EQ(
        platform::shellExecute("Vidforge.exe", "-c:v hold -i in out", prog.toStdString(), true),
        42);
    Reaper transcoder;
    for (int pid : pidsNamed("Vidforge.exe"))
        if (std::find(earlier.begin(), earlier.end(), pid) == earlier.end())
            transcoder.pids.push_back(pid);
    ASSERT_EQ(transcoder.pids.size(), 1u);

    auto form = makeForm();
    installCloseRequest(*form, dialogs);
    form->show();
    int closedSignals = 0;
    QObject::connect(form.get(), &Form1::closed, [&] { ++closedSignals; });

    dialogs.answers = {MsgResult::Cancel};
    EXPECT_FALSE(form->close());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "关闭程序？");
    EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::Information);
    EXPECT_TRUE(dialogs.shown[0].cancelIsDefault);
    EXPECT_TRUE(isListed(transcoder.pids[0]));
    EXPECT_TRUE(exists("Vidforge.exe"));
    EXPECT_EQ(closedSignals, 0);

    dialogs.answers = {MsgResult::Ok};
    EXPECT_TRUE(form->close());
    EXPECT_EQ(closedSignals, 1);
    EXPECT_FALSE(exists("Vidforge.exe"));
    EXPECT_FALSE(form->trayIconShown());
    waitUntil([&] { return !isListed(transcoder.pids[0]); });
}

// ---- a real second copy ----------------------------------------------------------------------

TEST_F(StartupTest, SecondCopyGuardAgainstARunningStitchwell) {
    ASSERT_TRUE(testsupport::stageProgramFolder(prog, {"Stitchwell"}));
    const std::vector<int> earlier = pidsNamed("Stitchwell");
    // Started offscreen (inherited), with the test's home and configuration.
    ASSERT_EQ(platform::shellExecute("Stitchwell", "", prog.toStdString(), true), 42);
    Reaper other;
    for (int pid : pidsNamed("Stitchwell"))
        if (std::find(earlier.begin(), earlier.end(), pid) == earlier.end())
            other.pids.push_back(pid);
    ASSERT_EQ(other.pids.size(), 1u);
    const int otherPid = other.pids[0];
    auto lockHolder = [&] {
        QLockFile probe(prog + "/Stitchwell.lock");
        qint64 pid = 0;
        QString host, app;
        return probe.getLockInfo(&pid, &host, &app) ? pid : 0;
    };
    // Loaded as far as the used-material folder, so its own clean-up is over.
    waitUntil([&] {
        return (lockHolder() == otherPid && QFileInfo(prog + "/已使用素材").isDir()) ||
               !isListed(otherPid);
    });
    ASSERT_TRUE(isListed(otherPid)) << "the staged Stitchwell ended on its own";

    const QString message =
        "程序正在运行中，或者上次运行的程序未正确退出\r\n是——放弃重复运行\r\n否——强制关闭上次未正"
        "确退出的";
    StartupOptions options;
    options.exeName = "Stitchwell";
    ASSERT_TRUE(testsupport::writeText(prog + "/Pressling.exe", "left by a run"));
    {
        // Yes: give up this copy at once; nothing else of the load runs.
        dialogs.answers = {MsgResult::Yes};
        auto form = makeForm();
        EXPECT_FALSE(runStartup(*form, *settings, dialogs, options));
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, message);
        EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::YesNo);
        EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::Information);
        EXPECT_TRUE(exists("Pressling.exe"));
        EXPECT_TRUE(isListed(otherPid));
        EXPECT_EQ(lockHolder(), otherPid);
    }
    // No: the running copy is ended and this one loads and holds the lock.
    dialogs.answers = {MsgResult::No};
    auto form = makeForm();
    EXPECT_TRUE(runStartup(*form, *settings, dialogs, options));
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_FALSE(isListed(otherPid));
    EXPECT_EQ(lockHolder(), platform::currentProcessId());
    EXPECT_FALSE(exists("Pressling.exe"));
    EXPECT_EQ(controlsOf(*form).LMove->text(), prog + "/已使用素材");
}

}  // namespace
