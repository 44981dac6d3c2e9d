#include "ui/Startup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringList>

#include "media/General.h"
#include "media/ToolRun.h"
#include "merge/MergeRun.h"
#include "platform/Platform.h"
#include "shell/FolderOps.h"
#include "shell/InstanceLock.h"
#include "shell/ShutDownP.h"
#include "ui/DialogService.h"
#include "ui/Form1.h"
#include "ui/Settings.h"

namespace {

const char* const kTranscoder = "Vidforge.exe";
const char* const kLockName = "Stitchwell.lock";
constexpr qint64 kTakeOverMs = 5000;  // how long a stale copy may take to go after it was ended

StartupCheck& startupCheck() {
    static StartupCheck check;
    return check;
}

QString sep() {
    return QString::fromStdString(platform::sepStr());
}
std::string inFolder(const QString& folder, const char* name) {
    return (folder + sep() + QString::fromUtf8(name)).toStdString();
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
    CopyLock(const QString& path, QObject* parent) : QObject(parent), lock(path) {
        lock.setStaleLockTime(0);  // only a dead owner makes the lock stale, never its age
    }
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
    auto* holder = new CopyLock(form.programFolder() + sep() + kLockName, &form);
    if (InstanceLock::Take(holder->lock)) return true;
    // A lock that cannot be made at all (a read-only program folder) tells nothing: go on.
    if (holder->lock.error() != QLockFile::LockFailedError) return true;
    if (dialogs.message(&form, secondCopyMessage(), MsgIcon::Information, MsgButtons::YesNo) ==
        MsgResult::Yes)
        return false;
    endOtherCopy(holder->lock, exeName);
    const qint64 until = QDateTime::currentMSecsSinceEpoch() + kTakeOverMs;
    while (!InstanceLock::Take(holder->lock) &&
           holder->lock.error() == QLockFile::LockFailedError &&
           QDateTime::currentMSecsSinceEpoch() < until)
        General::PumpEvents();
    return true;
}

// One probe attempt: whole seconds passed (second boundaries counted), or nullopt when the
// transcoder left no playable output. A failing transcoder leaves an empty output file behind,
// so the mere existence of the file proves nothing.
std::optional<int> probeAttempt(const QString& programFolder, const QString& command) {
    const qint64 start = QDateTime::currentSecsSinceEpoch();
    ToolRun tools(programFolder.toStdString());
    tools.start(kTranscoder, command.toStdString());
    ToolRun::waitWhileRunning(kTranscoder, {}, [] { General::PumpEvents(); });
    const qint64 seconds = QDateTime::currentSecsSinceEpoch() - start;
    const std::optional<double> played = General::ReadDuration(inFolder(programFolder, "Acc.mp4"));
    if (!played || *played <= 0) return std::nullopt;
    return static_cast<int>(seconds);
}

QString probeCommand(const QString& p, const QString& decoderPiece, const QString& encoderPiece) {
    const QString s = sep();
    return decoderPiece + " -i \"" + p + s +
           "Accelerate.mp4\" -vf \"transpose=1\" -s 720:1280 -r 25 -b:v 10000k -an -q:v 0 " +
           encoderPiece + " -y \"" + p + s + "Acc.mp4\"";
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

QString intelProbeCommand(const QString& programFolder) {
    return probeCommand(programFolder, QStringLiteral("-c:v h264_qsv  -noautorotate  "),
                        QStringLiteral("  -c:v h264_qsv "));
}

QString nvidiaProbeCommand(const QString& programFolder) {
    return probeCommand(programFolder, QStringLiteral(" -c:v h264_cuvid   -noautorotate "),
                        QStringLiteral(" -c:v h264_nvenc "));
}

std::optional<int> preferredEncoderIndex(int intelSeconds, int nvidiaSeconds) {
    if (intelSeconds == 0 || nvidiaSeconds == 0) return std::nullopt;
    return nvidiaSeconds > intelSeconds ? 0 : 1;
}

void AccelerationProbe(Form1& form, Settings& settings) {
    const QString p = form.programFolder();
    const std::string acc = inFolder(p, "Acc.mp4"), sample = inFolder(p, "Accelerate.mp4");
    guarded(
        [&] { platform::copyFileReplace(inFolder(p, "Vidforge.dll"), inFolder(p, kTranscoder)); });
    guarded([&] { platform::deleteFile(acc); });
    guarded([&] { platform::copyFileReplace(inFolder(p, "Accelerate.dll"), sample); });

    int intelSeconds = 0, nvidiaSeconds = 0;
    guarded([&] {
        if (const auto s = probeAttempt(p, intelProbeCommand(p))) {
            intelSeconds = *s;
            form.ChSpeed->setEnabled(true);
            form.addAccelerator(QStringLiteral("Intel显卡硬件加速"));
        }
    });
    guarded([&] {
        platform::deleteFile(acc);
        if (const auto s = probeAttempt(p, nvidiaProbeCommand(p))) {
            nvidiaSeconds = *s;
            form.ChSpeed->setEnabled(true);
            form.addAccelerator(QStringLiteral("NVIDIA显卡硬件加速"));
        }
    });
    if (const auto index = preferredEncoderIndex(intelSeconds, nvidiaSeconds))
        form.PreferredEncoderIndex = *index;
    guarded([&] {
        if (!form.ChSpeed->isEnabled()) return;
        settings.setAccelerate(true);
        form.selectAccelerator(form.PreferredEncoderIndex);
        settings.setAccIndex(form.PreferredEncoderIndex);
    });
    guarded([&] {
        platform::deleteFile(sample);
        platform::deleteFile(acc);
    });
    guarded([&] {
        if (form.CmbAcc->count() < 1) return;
        QStringList entries;
        for (int i = 0; i < form.CmbAcc->count(); ++i) entries << form.CmbAcc->itemText(i);
        settings.setAccs(entries);
    });
}

bool runStartup(Form1& form, Settings& settings, DialogService& dialogs,
                const StartupOptions& options) {
    const QString p = form.programFolder();
    const QString exeName = options.exeName.isEmpty()
                                ? QFileInfo(QCoreApplication::applicationFilePath()).fileName()
                                : options.exeName;
    // 1. Second copy.
    if (!guardSecondCopy(form, dialogs, exeName)) return false;
    // 2. A left-over update program.
    ShutDownP::TerminateProcessByName("Powerloop.exe");
    // 3. The updater's start-up check.
    guarded([&] {
        if (startupCheck()) startupCheck()(form);
    });
    // From here on a step that fails is skipped silently.
    guarded([&] { platform::deleteFile(inFolder(p, "Pressling.exe")); });
    guarded([&] {
        const std::optional<bool> accelerate = settings.accelerate();
        if (!accelerate) return;  // unreadable: the step is skipped
        if (*accelerate)
            form.restoreAccelerationSettings();
        else
            AccelerationProbe(form, settings);
    });
    guarded([&] {
        const QString fallback = defaultOutputFolder();
        form.LDir->setText(fallback);
        platform::makeSurePathExists(fallback.toStdString());
        QString saved = settings.saveDir(fallback);
        // A stored text that names no absolute folder cannot be the output folder.
        if (!QDir::isAbsolutePath(saved)) saved = fallback;
        form.LDir->setText(saved);
        if (!platform::dirExists(saved.toStdString()))
            platform::makeSurePathExists(saved.toStdString());
        // What a run that ended abnormally left there under a temporary name goes.
        MergeRun::RemoveLeftoverOutputs(saved.toStdString());
    });
    const QString usedDefault = Settings::defaultMoveDir(p);
    guarded([&] { platform::makeSurePathExists(usedDefault.toStdString()); });
    guarded([&] { FolderOps::RunShellFileOperation(inFolder(p, "Tmps"), "", "3"); });
    guarded([&] {
        QString moveDir = settings.moveDir(usedDefault);
        if (!QDir::isAbsolutePath(moveDir)) moveDir = usedDefault;
        form.LMove->setText(moveDir);
        if (moveDir == usedDefault && !platform::dirExists(moveDir.toStdString()))
            platform::makeSurePathExists(moveDir.toStdString());
    });
    guarded(
        [&] { platform::copyFileReplace(inFolder(p, "Vidforge.dll"), inFolder(p, kTranscoder)); });
    return true;
}

void installCloseRequest(Form1& form, DialogService& dialogs) {
    form.closeRequest = [&form, &dialogs] {
        if (dialogs.message(&form, QStringLiteral("关闭程序？"), MsgIcon::Information,
                            MsgButtons::OkCancel, true) != MsgResult::Ok)
            return false;
        // A run that goes on stops without asking anything more, and its transcoders end now.
        if (form.Running && form.endRunForClose) form.endRunForClose();
        form.removeTrayIcon();
        ShutDownP::TerminateProcessByName(kTranscoder, form.programFolder().toStdString());
        platform::deleteFile(inFolder(form.programFolder(), kTranscoder));
        return true;
    };
}
