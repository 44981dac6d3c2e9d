#include "update/UpdateRules.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include "media/MediaReport.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace UpdateRules {

QString serverBase() {
    const QString set =
        QString::fromStdString(platform::environmentVariable(kServerVariable)).trimmed();
    const QString base = QString::fromStdString(
        text::withoutTrailingSeparators(set.toStdString(), '/', text::KeepRoot::Nothing));
    return base.isEmpty() ? QString::fromLatin1(kUpdateServer) : base;
}

QString serverFileUrl(const QString& base, const QString& file) {
    return base + "/downs/" + file;
}

VersionFile parseVersionFile(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    const QStringList lines = text.split('\n');
    VersionFile file;
    file.firstLine = lines.value(0);
    if (file.firstLine.endsWith('\r')) file.firstLine.chop(1);
    static const QRegularExpression sha("^[0-9A-Fa-f]{64}$");
    const QString second = lines.value(1).trimmed();
    if (sha.match(second).hasMatch()) file.packageSha256 = QByteArray::fromHex(second.toLatin1());
    return file;
}

bool offersUpdate(const QString& firstLine, const QString& runningVersion) {
    static const QRegularExpression number("^[ \\t]*[+-]?[ \\t]*\\.?[0-9]");
    if (!number.match(firstLine).hasMatch()) return false;
    return MediaReport::LeadingNumber(firstLine.toStdString()) !=
           MediaReport::LeadingNumber(runningVersion.toStdString());
}

bool fileMatchesSha256(const QString& path, const QByteArray& sha256) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return false;
    return hash.result() == sha256;
}

QString updateProgramParameters(const QString& packagePath, const QString& title,
                                const QString& caption) {
    return packagePath + "\t1\t" + title + "\t" + caption;
}

QString extractorPath(const QString& programFolder) {
    // An installed archiver registers its program file with the shell.
    const QString installed = QString::fromStdString(platform::registryDefaultValue(
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
        "Paths\\WinRAR.exe\\"));
    if (!installed.isEmpty() && QFileInfo(installed).isFile()) return installed;
    const QFileInfo own(programFolder + QString::fromStdString(platform::sepStr()) +
                        kUpdateProgram);
    if (own.isFile() && own.isExecutable()) return own.absoluteFilePath();
    for (const char* tool : {"unrar", "bsdtar"}) {
        const QString found = QStandardPaths::findExecutable(tool);
        if (!found.isEmpty()) return found;
    }
    return QString();
}

}  // namespace UpdateRules
