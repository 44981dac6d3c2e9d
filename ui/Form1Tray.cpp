// The status line and the background mode: the tray record, the icon, its tip and the window's
// way back.

#include <QCheckBox>
#include <QLabel>
#include <QStatusBar>

#include "shell/CSystrayIcon.h"
#include "ui/Form1.h"

#ifndef STITCHWELL_VERSION_MAJOR
#define STITCHWELL_VERSION_MAJOR 1
#define STITCHWELL_VERSION_MINOR 0
#define STITCHWELL_VERSION_PATCH 0
#endif

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kNoTray = QStringLiteral("状态：系统托盘不可用，窗口已最小化，合并继续在后台运行");

}  // namespace

// ---- status line and tray -------------------------------------------------------------------

void Form1::setStatus(const QString& text) {
    LST->setText(text);
    // The change behaviour of the status line.
    if (running() && ChBack->isChecked()) refreshTrayTip(trayTip(windowTitle()));
    StbPanels[4]->setText(text);
    emit statusChanged(text);
}

QString Form1::trayTip(const QString& head) const {
    return head + kCrLf + QStringLiteral("已生成视频数：") + QString::number(madeCount()) + kCrLf +
           LST->text();
}

void Form1::fillTrayRecord(const QString& tip) {
    trayRecord.cbSize = tray::kRecordSize;
    trayRecord.hWnd = m_windowHandle;
    trayRecord.uID = m_iconHandle;
    trayRecord.uFlags = tray::kFlagsAll;
    trayRecord.uCallbackMessage = tray::kMouseMove;
    trayRecord.hIcon = m_iconHandle;
    trayTipText = CSystrayIcon::fillTip(trayRecord, tip);
}

void Form1::hideBehindTray() {
    fillTrayRecord(trayTip(windowTitle()));
    hideBehindTrayIcon();
}

void Form1::hideBehindTrayIcon() {
    if (!systemTrayAvailable || !systemTrayAvailable()) {
        // Hiding without an icon would leave no way back to the window.
        showMinimized();
        setStatus(kNoTray);
        return;
    }
    tray::NotifyIcon(tray::kAdd, trayRecord, trayTipText);
    hide();
}

void Form1::refreshTrayTip() {
    refreshTrayTip(trayTip(windowTitle()));
}

void Form1::refreshTrayTip(const QString& tip) {
    fillTrayRecord(tip);
    tray::NotifyIcon(tray::kModify, trayRecord, trayTipText);
}

void Form1::removeTrayIcon() {
    TrayRecord record = trayRecord;
    record.cbSize = tray::kRecordSize;
    record.hWnd = m_windowHandle;
    record.uID = m_iconHandle;
    tray::NotifyIcon(tray::kDelete, record);
}

bool Form1::trayIconShown() const {
    return tray::ShownIcon(m_windowHandle, m_iconHandle);
}

void Form1::showMainWindow() {
    showNormal();
    show();
    raise();
    activateWindow();
}

void Form1::Form_DblClick() {
    if (!running() || !ChBack->isChecked()) return;
    if (isVisible() && !isMinimized()) {
        if (trayRecord.cbSize == 0) fillTrayRecord(trayTip(windowTitle()));
        hideBehindTrayIcon();
    } else {
        removeTrayIcon();
        showMainWindow();
    }
}

void Form1::Form_MouseMove(int x) {
    if (x == static_cast<int>(tray::kLeftButtonUp)) showMainWindow();
    if (ChBack->isChecked()) {
        const QString version = QStringLiteral("(版本 %1.%2.%3)")
                                    .arg(STITCHWELL_VERSION_MAJOR)
                                    .arg(STITCHWELL_VERSION_MINOR)
                                    .arg(STITCHWELL_VERSION_PATCH);
        refreshTrayTip(trayTip(windowTitle() + version));
    }
}
