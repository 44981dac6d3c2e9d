#include "ui/Startup.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringList>

#include "media/General.h"
#include "media/ProgramFolder.h"
#include "media/RunLog.h"
#include "media/UpdateRecord.h"
#include "merge/AccelerationProbe.h"
#include "merge/Claims.h"
#include "merge/MergeRun.h"
#include "platform/Platform.h"
#include "shell/DialogService.h"
#include "shell/FolderOps.h"
#include "shell/InstanceLock.h"
#include "shell/ShutDownP.h"
#include "ui/Form1.h"
#include "ui/Settings.h"

namespace {

const char* const kTranscoder = ProgramFolder::kTranscoder;
constexpr qint64 kTakeOverMs = 5000;  // how long a stale copy may take to go after it was ended

StartupCheck& startupCheck() {
    static StartupCheck check;
    return check;
}

ProgramFolder folderOf(const Form1& form) {
    return ProgramFolder(form.programFolder().toStdString());
}

// A load step that fails is skipped; loading goes on with the next one.
template <typename Step>
void guarded(Step step) {
    try {
        step();
    } catch (...) {
    }
}

// The single-copy lock of the program folder, held for as long as the window lives. A copy that
// ended without giving it up (killed, crashed) leaves a stale lock that the next start takes.
class CopyLock : public QObject {
public:
    CopyLock(const QString& path, QObject* parent) : QObject(parent), lock(path) {}
    QLockFile lock;
};

// Ends the copy that holds the lock when it runs under this program's name; by name alone when
// the holder is not known.
void endOtherCopy(QLockFile& lock, const QString& exeName) {
    qint64 pid = 0;
    QString host, app;
    if (lock.getLockInfo(&pid, &host, &app) && pid > 0 && pid != platform::currentProcessId()) {
        for (const auto& p : platform::listProcesses()) {
            if (p.pid == pid &&
                QString::fromStdString(p.name).compare(exeName, Qt::CaseInsensitive) == 0) {
                platform::killProcess(p.pid);
                return;
            }
        }
    }
    ShutDownP::TerminateProcessByName(exeName.toStdString());
}

// Load step 1. False when the user gives up this copy.
bool guardSecondCopy(Form1& form, DialogService& dialogs, const QString& exeName) {
    auto* holder = new CopyLock(QString::fromStdString(folderOf(form).copyLock()), &form);
    // A lock that cannot be made at all (a read-only program folder) tells nothing: go on.
    if (InstanceLock::Take(holder->lock) != InstanceLock::Outcome::HeldByAnother) return true;
    if (dialogs.message(&form, secondCopyMessage(), MsgIcon::Information, MsgButtons::YesNo) ==
        MsgResult::Yes)
        return false;
    endOtherCopy(holder->lock, exeName);
    const qint64 until = QDateTime::currentMSecsSinceEpoch() + kTakeOverMs;
    InstanceLock::TakeWaiting(holder->lock, [until] {
        if (QDateTime::currentMSecsSinceEpoch() >= until) return false;
        General::PumpEvents();
        return true;
    });
    return true;
}

// True while Powerloop replaces the program's files: it runs and holds its lock.
bool updateBeingInstalled(const ProgramFolder& folder) {
    if (!General::CountToolProcesses(ProgramFolder::kUpdater)) return false;
    QLockFile updating(QString::fromStdString(folder.file(UpdateRecord::kUpdateLock)));
    // Taken, it is given up when it goes out of scope.
    return InstanceLock::Take(updating) == InstanceLock::Outcome::HeldByAnother;
}

}  // namespace

void setStartupCheck(StartupCheck check) {
    startupCheck() = std::move(check);
}

QString secondCopyMessage() {
    return QStringLiteral(
        "程序正在运行中，或者上次运行的程序未正确退出\r\n是——放弃重复运行\r\n否——强制关闭上次未"
        "正确退出的");
}

QString defaultOutputFolder() {
    return Settings::defaultSaveDir();
}

void AccelerationProbe(Form1& form, Settings& settings) {
    const ProbeFindings found =
        RunAccelerationProbe(form.programFolder().toStdString(), [] { General::PumpEvents(); });
    QStringList entries;
    for (const auto& e : found.entries) entries << QString::fromStdString(e);
    form.offerAccelerators(entries, found.sessions, found.preferredIndex);
    if (entries.isEmpty()) return;
    guarded([&] {
        settings.setAccelerate(true);
        settings.setAccIndex(form.preferredEncoderIndex());
        settings.setAccs(entries);
        settings.setAccSessions(found.sessions);
    });
}

namespace {

// Clips and mp3 files this copy had claimed when it was killed go back to their folders, noted
// in the run log.
void giveBackClaims(const QString& programFolder) {
    std::vector<std::string> notes;
    Claims(programFolder.toStdString()).giveBackAll(&notes);
    RunLog log(programFolder.toStdString());
    for (const std::string& line : notes) log.write(line);
}

// The stored hardware-acceleration settings, or the probe when none are stored.
void restoreOrProbeAcceleration(Form1& form, Settings& settings) {
    const std::optional<bool> accelerate = settings.accelerate();
    if (!accelerate) return;  // unreadable: the step is skipped
    if (*accelerate)
        form.restoreAccelerationSettings();
    else
        AccelerationProbe(form, settings);
}

// The output folder: the stored one (made when missing), else the default.
void prepareOutputFolder(Form1& form, Settings& settings) {
    const QString fallback = defaultOutputFolder();
    form.showOutputFolder(fallback);
    platform::makeSurePathExists(fallback.toStdString());
    QString saved = settings.saveDir(fallback);
    // A stored text that names no absolute folder cannot be the output folder.
    if (!QDir::isAbsolutePath(saved)) saved = fallback;
    form.showOutputFolder(saved);
    if (!platform::dirExists(saved.toStdString()))
        platform::makeSurePathExists(saved.toStdString());
    // What a run that ended abnormally left there under a temporary name goes.
    OutputFolder::RemoveLeftovers(saved.toStdString());
}

// The used-material root: the stored one, else the default (made when missing).
void prepareUsedRoot(Form1& form, Settings& settings, const QString& usedDefault) {
    QString moveDir = settings.moveDir(usedDefault);
    if (!QDir::isAbsolutePath(moveDir)) moveDir = usedDefault;
    form.showUsedRoot(moveDir);
    if (moveDir == usedDefault && !platform::dirExists(moveDir.toStdString()))
        platform::makeSurePathExists(moveDir.toStdString());
}

// The load steps after the updater's check; a step that fails is skipped silently.
void runSilentSteps(Form1& form, Settings& settings, DialogService& dialogs,
                    const ProgramFolder& folder) {
    guarded([&] { platform::deleteFile(folder.compressor()); });
    guarded([&] { restoreOrProbeAcceleration(form, settings); });
    guarded([&] { prepareOutputFolder(form, settings); });
    const QString usedDefault = Settings::defaultMoveDir(form.programFolder());
    guarded([&] { platform::makeSurePathExists(usedDefault.toStdString()); });
    guarded([&] {
        FolderOps::RunShellFileOperation(folder.workFolder(), "", FolderOps::FileOp::Delete);
    });
    guarded([&] { prepareUsedRoot(form, settings, usedDefault); });
    guarded([&] { platform::copyFileReplace(folder.shippedTranscoder(), folder.transcoder()); });
    // The outcome of the last update, shown once.
    guarded([&] {
        if (const auto message = UpdateRecord::Take(folder.path()))
            dialogs.message(&form, QString::fromStdString(*message), MsgIcon::Information,
                            MsgButtons::Ok);
    });
}

}  // namespace

bool runStartup(Form1& form, Settings& settings, DialogService& dialogs,
                const StartupOptions& options) {
    const ProgramFolder folder = folderOf(form);
    const QString exeName = options.exeName.isEmpty()
                                ? QFileInfo(QCoreApplication::applicationFilePath()).fileName()
                                : options.exeName;
    // An update being installed is never ended: this start gives way, and Powerloop starts the
    // program again when it is done.
    if (updateBeingInstalled(folder)) {
        dialogs.message(&form, QStringLiteral("正在安装更新升级，完毕后程序将自动启动！"),
                        MsgIcon::Information, MsgButtons::Ok);
        return false;
    }
    // 1. Second copy.
    if (!guardSecondCopy(form, dialogs, exeName)) return false;
    // Claimed material goes back before anything else can count or pick it.
    guarded([&] { giveBackClaims(form.programFolder()); });
    // 2. A left-over update program (one that holds no lock: it replaces nothing).
    ShutDownP::TerminateProcessByName(ProgramFolder::kUpdater);
    // 3. The updater's start-up check.
    guarded([&] {
        if (startupCheck()) startupCheck()(form);
    });
    runSilentSteps(form, settings, dialogs, folder);
    return true;
}

void installCloseRequest(Form1& form, DialogService& dialogs) {
    form.closeRequest = [&form, &dialogs] {
        if (dialogs.message(&form, QStringLiteral("关闭程序？"), MsgIcon::Information,
                            MsgButtons::OkCancel, true) != MsgResult::Ok)
            return false;
        // A run that goes on stops without asking anything more, and its transcoders end now.
        if (form.running() && form.endRunForClose) form.endRunForClose();
        form.removeTrayIcon();
        ShutDownP::TerminateProcessByName(kTranscoder, form.programFolder().toStdString());
        platform::deleteFile(folderOf(form).transcoder());
        return true;
    };
}
