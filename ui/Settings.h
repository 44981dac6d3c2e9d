#pragma once
// The per-user settings store of application "Stitchwell": eight keys in the section "Default".
// Values are text (numbers as decimal text, booleans as "1" / "0"); a missing key reads as the
// default the reader gives. The store lives where QSettings keeps the user's settings (an INI
// file under the user's config folder here, the registry on Windows); tests give a file path.

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

class QSettings;

class Settings {
public:
    // The keys, all in section "Default".
    static constexpr const char* kAccelerate = "Accelerate";
    static constexpr const char* kAccIndex = "AccIndex";
    static constexpr const char* kAccs = "Accs";
    static constexpr const char* kAccSessions = "AccSessions";
    static constexpr const char* kSpeed = "Speed";
    static constexpr const char* kCmbAcc = "CmbAcc";
    static constexpr const char* kSaveDir = "SaveDir";
    static constexpr const char* kMoveDir = "MoveDir";

    // The user's store of application "Stitchwell".
    Settings();
    // A store in the given INI file (made when first written).
    explicit Settings(const QString& iniFile);
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // The stored text of key, or def when the key is absent.
    QString ReadSetting(const QString& key, const QString& def) const;
    QString ReadSetting(const QString& key, int def) const;
    // Stores value under key, replacing an earlier value, and writes the store out at once.
    void WriteSetting(const QString& key, const QString& value);

    // ---- typed access; nullopt where the stored text cannot be converted ------------------------
    std::optional<bool> accelerate() const;  // default "0"
    std::optional<int> accIndex() const;     // default "0"
    QStringList accs() const;                // split at CR LF, empty pieces dropped
    // How many sessions of each entry of "Accs" may run at once, split as accs() is: one count per
    // piece, kDefaultSessions for a piece that is not a whole number 1..kMaxSessions. Shorter than
    // accs() (or empty) where the store holds fewer counts, as one written before they were kept.
    std::vector<int> accSessions() const;
    static constexpr int kDefaultSessions = 2;
    static constexpr int kMaxSessions = 8;
    std::optional<int> speed() const;  // default "0"
    std::optional<int> cmbAcc(int accIndexDefault) const;
    QString saveDir(const QString& def) const;
    QString moveDir(const QString& def) const;

    void setAccelerate(bool on);
    void setAccIndex(int index);
    void setAccs(const QStringList& entries);             // every entry followed by CR LF
    void setAccSessions(const std::vector<int>& counts);  // likewise, decimal
    void setSpeed(bool ticked);
    void setCmbAcc(int index);
    void setSaveDir(const QString& folder);
    void setMoveDir(const QString& folder);

    // Defaults of the folder keys: the output folder is the system drive's "Temp" folder where
    // the environment names a Windows folder ("windir"), else the system's temporary folder;
    // the used-material root is the program folder + separator + "已使用素材".
    static QString defaultSaveDir();
    static QString defaultMoveDir(const QString& programFolder);

    // The store's file (or registry path), for messages and tests.
    QString location() const;

    // Conversions used on reading: a boolean is true for a non-zero number or "true", false for
    // 0 or "false"; a 16-bit integer is a decimal number in -32768..32767, rounded halves to
    // even. Anything else cannot be converted.
    static std::optional<bool> toBool(const QString& text);
    static std::optional<int> toInt16(const QString& text);

private:
    std::unique_ptr<QSettings> m_store;
};
