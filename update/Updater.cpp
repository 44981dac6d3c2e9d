#include "update/Updater.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>

#include "media/General.h"
#include "platform/Platform.h"
#include "shell/DialogService.h"
#include "update/DownloadSupport.h"
#include "update/DownloadToFile.h"
#include "update/UpdateHost.h"
#include "update/UpdateRules.h"
#include "update/frmDemo.h"

namespace {

QString inFolder(const QString& folder, const char* name) {
    return folder + QString::fromStdString(platform::sepStr()) + QString::fromUtf8(name);
}

QString fileUrl(const UpdaterOptions& options, const char* name) {
    return UpdateRules::serverFileUrl(options.serverBase, QString::fromUtf8(name));
}

QString installerMessage() {
    return QStringLiteral(
        "资源文件缺失，请先安装默认经典的WinRAR解压缩应用程序！\r\n对不起！有意不支持您本机安装的非"
        "经典的360、2345、便压等等解压缩程序。如果您的系统为win7及以上版本，WinRAR安装完毕之后，请"
        "务必： \r\n右键WinRAR.exe->属性->兼容性->兼容xp3且勾选始终以管理员权限运行");
}

QString downloadedMessage() {
    return QStringLiteral(
        "更新升级文件包下载完毕！即将自动解压覆盖原文件以完成更新升级！\r\n如果自动解压以完成更新升"
        "级失败，请人工右键选中的【Stitchwell.rar】，\r\n执行解压到当前文件夹下覆盖所有即可成功完成"
        "更新升级！");
}

// Makes sure an extractor is there, fetching and starting the installer when there is none.
// False when the user gave up (Cancel).
bool ensureExtractor(UpdateHost& host, const UpdaterOptions& options) {
    const QString p = host.programFolder();
    QString extractor = options.extractor(p);
    if (!extractor.isEmpty()) return true;
    DownloadSupport::DownloadCaption = host.caption() + QStringLiteral("....资源文件下载中...");
    DownloadSupport::DownloadWithProgress(fileUrl(options, UpdateRules::kInstallerFile),
                                          inFolder(p, UpdateRules::kInstallerSaveName));
    while (true) {
        options.shellStart(UpdateRules::kInstallerSaveName, "", p.toStdString(), false);
        host.dialogs().message(host.dialogOwner(), installerMessage(), MsgIcon::Information,
                               MsgButtons::Ok);
        const double start = options.clock();
        while (extractor.isEmpty() && options.clock() - start < options.installerWaitSeconds) {
            options.pump();
            extractor = options.extractor(p);
        }
        if (!extractor.isEmpty()) return true;
        if (host.dialogs().message(
                host.dialogOwner(), QStringLiteral("资源文件缺失，请先安装WinRAR解压缩应用程序！"),
                MsgIcon::Information, MsgButtons::RetryCancel) != MsgResult::Retry)
            return false;
    }
}

}  // namespace

UpdaterOptions withDefaults(UpdaterOptions options) {
    if (options.serverBase.isEmpty()) options.serverBase = UpdateRules::serverBase();
    if (!options.extractor) options.extractor = UpdateRules::extractorPath;
    if (!options.clock) options.clock = [] { return QDateTime::currentMSecsSinceEpoch() / 1000.0; };
    if (!options.pump) options.pump = [] { General::PumpEvents(); };
    if (!options.shellStart) options.shellStart = platform::shellExecute;
    if (!options.endProgram) options.endProgram = [] { std::_Exit(0); };
    return options;
}

void StartupVersionCheck(UpdateHost& host, const UpdaterOptions& options, UpdateOffer& offer) {
    const QString p = host.programFolder();
    for (const char* name :
         {UpdateRules::kVersionFile, UpdateRules::kPackageFile, UpdateRules::kInstallerSaveName})
        RemoveLeftoverDownloads(p, QString::fromUtf8(name));
    const QString saved = inFolder(p, UpdateRules::kVersionFile);
    if (!General::DownloadToFile(fileUrl(options, UpdateRules::kVersionFile), saved,
                                 options.versionLimits)) {
        host.offerUpdate(false);
        return;
    }
    QFile file(saved);
    if (!file.open(QIODevice::ReadOnly)) return;
    const UpdateRules::VersionFile version = UpdateRules::parseVersionFile(file.readAll());
    if (!UpdateRules::offersUpdate(version.firstLine, host.versionText())) return;
    offer.packageSha256 = version.packageSha256;
    host.offerUpdate(true);
}

void UpdateCommand(UpdateHost& host, const UpdaterOptions& options, const UpdateOffer& offer) {
    DialogService& dialogs = host.dialogs();
    const QString p = host.programFolder();
    host.hideWindow();
    if (!ensureExtractor(host, options)) {
        host.showWindow();
        return;
    }
    DownloadSupport::DownloadCaption = host.caption() + QStringLiteral("....升级文件下载中...");
    const QString package = inFolder(p, UpdateRules::kPackageFile);
    QFile::remove(package);
    bool downloaded =
        DownloadSupport::DownloadWithProgress(fileUrl(options, UpdateRules::kPackageFile), package);
    // A package that is not the one the version file names is no download at all.
    if (downloaded && !offer.packageSha256.isEmpty() &&
        !UpdateRules::fileMatchesSha256(package, offer.packageSha256)) {
        QFile::remove(package);
        downloaded = false;
    }
    if (!downloaded) {
        dialogs.message(host.dialogOwner(), QStringLiteral("更新升级文件包下载失败，请稍后重试！"),
                        MsgIcon::Warning, MsgButtons::Ok);
        host.showWindow();
        return;
    }
    dialogs.message(host.dialogOwner(), downloadedMessage(), MsgIcon::Information, MsgButtons::Ok);
    // The package shown selected in the file manager (its folder where it cannot select).
    dialogs.openLocation(package);
    if (!QFileInfo(package).isFile()) {
        host.showWindow();
        return;
    }
    const QString parameters = UpdateRules::updateProgramParameters(
        package, QCoreApplication::applicationName(), host.caption());
    if (options.shellStart(UpdateRules::kUpdateProgram, parameters.toStdString(), p.toStdString(),
                           true) == platform::kShellStarted) {
        options.endProgram();
        return;
    }
    host.showWindow();
}

void installUpdater(UpdateHost& host, UpdaterOptions options) {
    const auto shared = std::make_shared<UpdaterOptions>(withDefaults(std::move(options)));
    const auto offer = std::make_shared<UpdateOffer>();
    DialogService& dialogs = host.dialogs();
    DownloadSupport::setDownloadWindows([shared, &dialogs] {
        return std::make_unique<DownloadWindowPair>(dialogs, shared->engine, shared->endProgram);
    });
    host.setUpdateEntries(
        [shared, offer](UpdateHost& window) { StartupVersionCheck(window, *shared, *offer); },
        [shared, offer, &host] { UpdateCommand(host, *shared, *offer); });
}
