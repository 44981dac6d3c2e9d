#include "shell/CSystrayIcon.h"

CSystrayIcon::CSystrayIcon(QObject* parent) : QObject(parent) {
    m_record.cbSize = tray::kRecordSize;
    m_record.uID = 1;
    m_record.uFlags = tray::kFlagsAll;
    m_record.setTip(std::string(1, '\0'));
}

CSystrayIcon::~CSystrayIcon() {
    HideIcon();
}

QString CSystrayIcon::fillTip(TrayRecord& record, const QString& tip) {
    const tray::Tip kept = tray::MakeTip(tip);
    record.setTip(kept.field);
    return kept.text;
}

void CSystrayIcon::Initialize(std::uint32_t hWnd, std::uint32_t hIcon, const QString& tip,
                              std::uint32_t callbackMessage) {
    m_record.cbSize = tray::kRecordSize;
    m_record.hWnd = hWnd;
    m_record.uID = 1;
    m_record.uFlags = tray::kFlagsAll;
    m_record.uCallbackMessage = callbackMessage;
    m_record.hIcon = hIcon;
    m_tip = fillTip(m_record, tip);
    m_visible = false;
    m_updateOnChange = true;
}

bool CSystrayIcon::ShowIcon() {
    if (m_visible) return false;
    const bool ok = tray::NotifyIcon(tray::kAdd, m_record, m_tip);
    if (ok)
        m_visible = true;
    else
        emit NIError(tray::LastError());
    return ok;
}

bool CSystrayIcon::HideIcon() {
    if (!m_visible) return false;
    const bool ok = tray::NotifyIcon(tray::kDelete, m_record);
    if (ok)
        m_visible = false;
    else
        emit NIError(tray::LastError());
    return ok;
}

bool CSystrayIcon::Update() {
    if (!m_visible) return false;
    const bool ok = tray::NotifyIcon(tray::kModify, m_record, m_tip);
    if (!ok) emit NIError(tray::LastError());
    return ok;
}

void CSystrayIcon::passOn(std::uint32_t flags) {
    if (!m_updateOnChange) return;
    m_record.uFlags = flags;
    Update();
    m_record.uFlags = tray::kFlagsAll;
}

void CSystrayIcon::setIconHandle(std::uint32_t hIcon) {
    m_record.hIcon = hIcon;
    passOn(tray::kFlagIcon);
}

void CSystrayIcon::setTipText(const QString& tip) {
    m_tip = fillTip(m_record, tip);
    passOn(tray::kFlagTip);
}

QString CSystrayIcon::TipText() const {
    return m_tip;
}

void CSystrayIcon::setCallbackMessage(std::uint32_t message) {
    m_record.uCallbackMessage = message;
    passOn(tray::kFlagMessage);
}

void CSystrayIcon::setVisible(bool visible) {
    if (visible)
        ShowIcon();
    else
        HideIcon();
}
