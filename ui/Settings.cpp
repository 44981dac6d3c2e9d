#include "ui/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <cmath>

#include "media/ProgramFolder.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace {
const QString kSection = QStringLiteral("Default");
const QString kApplication = QStringLiteral("Stitchwell");
const QString kCrLf = QStringLiteral("\r\n");
}  // namespace

Settings::Settings() : m_store(std::make_unique<QSettings>(kApplication, kApplication)) {}

Settings::Settings(const QString& iniFile)
    : m_store(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

Settings::~Settings() = default;

QString Settings::ReadSetting(const QString& key, const QString& def) const {
    const QString full = kSection + QLatin1Char('/') + key;
    if (!m_store->contains(full)) return def;
    const QVariant v = m_store->value(full);
    // A hand-edited value with unquoted commas comes back as a list: give it back as written.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

QString Settings::ReadSetting(const QString& key, int def) const {
    return ReadSetting(key, QString::number(def));
}

void Settings::WriteSetting(const QString& key, const QString& value) {
    m_store->setValue(kSection + QLatin1Char('/') + key, value);
    m_store->sync();
}

std::optional<bool> Settings::toBool(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0) return false;
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d)) return std::nullopt;
    return d != 0;
}

std::optional<int> Settings::toInt16(const QString& text) {
    return text::toInt16(text.toStdString());
}

std::optional<bool> Settings::accelerate() const {
    return toBool(ReadSetting(kAccelerate, QStringLiteral("0")));
}

std::optional<int> Settings::accIndex() const {
    return toInt16(ReadSetting(kAccIndex, QStringLiteral("0")));
}

QStringList Settings::accs() const {
    return ReadSetting(kAccs, QString()).split(kCrLf, Qt::SkipEmptyParts);
}

std::vector<int> Settings::accSessions() const {
    std::vector<int> counts;
    for (const QString& piece :
         ReadSetting(kAccSessions, QString()).split(kCrLf, Qt::SkipEmptyParts)) {
        bool whole = false;
        const int n = piece.trimmed().toInt(&whole);
        counts.push_back(whole && n >= 1 && n <= kMaxSessions ? n : kDefaultSessions);
    }
    return counts;
}

std::optional<int> Settings::speed() const {
    return toInt16(ReadSetting(kSpeed, QStringLiteral("0")));
}

std::optional<int> Settings::cmbAcc(int accIndexDefault) const {
    return toInt16(ReadSetting(kCmbAcc, accIndexDefault));
}

QString Settings::saveDir(const QString& def) const {
    return ReadSetting(kSaveDir, def);
}
QString Settings::moveDir(const QString& def) const {
    return ReadSetting(kMoveDir, def);
}

void Settings::setAccelerate(bool on) {
    WriteSetting(kAccelerate, on ? QStringLiteral("1") : QStringLiteral("0"));
}
void Settings::setAccIndex(int index) {
    WriteSetting(kAccIndex, QString::number(index));
}
void Settings::setAccs(const QStringList& entries) {
    QString text;
    for (const QString& e : entries) text += e + kCrLf;
    WriteSetting(kAccs, text);
}
void Settings::setAccSessions(const std::vector<int>& counts) {
    QString text;
    for (int n : counts) text += QString::number(n) + kCrLf;
    WriteSetting(kAccSessions, text);
}
void Settings::setSpeed(bool ticked) {
    WriteSetting(kSpeed, ticked ? QStringLiteral("1") : QStringLiteral("0"));
}
void Settings::setCmbAcc(int index) {
    WriteSetting(kCmbAcc, QString::number(index));
}
void Settings::setSaveDir(const QString& folder) {
    WriteSetting(kSaveDir, folder);
}
void Settings::setMoveDir(const QString& folder) {
    WriteSetting(kMoveDir, folder);
}

QString Settings::defaultSaveDir() {
    // A persistent folder the user can write: the videos folder when there is one, else the home
    // folder; never a temporary folder that is wiped at reboot.
    const QString home = QDir::homePath();
    QString base = home;
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty() && QDir::cleanPath(videos) != QDir::cleanPath(home) &&
        QFileInfo(videos).isDir())
        base = videos;
    return QDir::toNativeSeparators(QDir::cleanPath(base)) +
           QString::fromStdString(platform::sepStr()) + QStringLiteral("Stitchwell");
}

QString Settings::defaultMoveDir(const QString& programFolder) {
    return QString::fromStdString(ProgramFolder(programFolder.toStdString()).defaultUsedRoot());
}

QString Settings::location() const {
    return m_store->fileName();
}
