#pragma once
// Class CSystrayIcon: one notification-area icon. It keeps its own 88-byte notification-icon
// record and shows, changes and removes the icon through the notify-icon request; a failed
// request raises NIError with the last-error code. Destroying the object removes a shown icon.
//
// Tip rule: a tip text is kept as its first 63 characters (tray::MakeTip: on a code-page system as
// many as its 63 bytes hold), stored in the 64-byte field followed by one NUL, blank-filled after
// it.

#include <QObject>
#include <QString>
#include <cstdint>

#include "shell/TrayRecord.h"

class CSystrayIcon : public QObject {
    Q_OBJECT
public:
    explicit CSystrayIcon(QObject* parent = nullptr);
    ~CSystrayIcon() override;

    // Fills the record (size 88, identifier 1, flags 7, the tip by the tip rule); shows nothing.
    void Initialize(std::uint32_t hWnd, std::uint32_t hIcon, const QString& tip,
                    std::uint32_t callbackMessage);
    // Adds the icon when it is not shown; false (and no request) when it is shown already.
    bool ShowIcon();
    // Removes the icon when it is shown; false (and no request) when it is not.
    bool HideIcon();
    // Sends the record as a modify request when shown; false when not shown.
    bool Update();

    void setIconHandle(std::uint32_t hIcon);
    std::uint32_t IconHandle() const { return m_record.hIcon; }
    void setTipText(const QString& tip);
    QString TipText() const;
    void setCallbackMessage(std::uint32_t message);
    std::uint32_t CallbackMessage() const { return m_record.uCallbackMessage; }
    void setUpdateOnChange(bool on) { m_updateOnChange = on; }
    bool UpdateOnChange() const { return m_updateOnChange; }
    bool Visible() const { return m_visible; }
    void setVisible(bool visible);

    const TrayRecord& record() const { return m_record; }

    // The tip rule on its own: fills the record's 64-byte field for a text and returns the
    // characters kept.
    static QString fillTip(TrayRecord& record, const QString& tip);

signals:
    void NIError(quint32 errorCode);

private:
    // Sends a change of the fields named by flags, then restores flags 7.
    void passOn(std::uint32_t flags);

    TrayRecord m_record;
    QString m_tip;  // the characters the tip keeps, which the field may hold only in part
    bool m_visible = false;
    bool m_updateOnChange = true;
};
