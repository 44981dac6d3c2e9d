#include "shell/TrayRecord.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include "platform/Platform.h"

// ---- the record ----------------------------------------------------------------------------

void TrayRecord::setTip(const std::string& text) {
    const std::string cut = tray::CutUtf8(text, sizeof(szTip));
    std::memset(szTip, ' ', sizeof(szTip));
    std::memcpy(szTip, cut.data(), cut.size());
}

std::string TrayRecord::tipField() const {
    return std::string(szTip, sizeof(szTip));
}

std::string TrayRecord::tipText() const {
    const char* end = static_cast<const char*>(std::memchr(szTip, '\0', sizeof(szTip)));
    std::string text(szTip, end ? static_cast<std::size_t>(end - szTip) : sizeof(szTip));
    // Drop a character that the field ends in the middle of.
    std::size_t i = text.size();
    std::size_t back = 0;
    while (i > 0 && back < 4 && (static_cast<unsigned char>(text[i - 1]) & 0xC0) == 0x80) {
        --i;
        ++back;
    }
    if (i > 0) {
        const unsigned char lead = static_cast<unsigned char>(text[i - 1]);
        std::size_t need = 1;
        if ((lead & 0xE0) == 0xC0)
            need = 2;
        else if ((lead & 0xF0) == 0xE0)
            need = 3;
        else if ((lead & 0xF8) == 0xF0)
            need = 4;
        if (need > 1 && back + 1 < need) text.resize(i - 1);
    }
    return text;
}

namespace tray {

std::string CutUtf8(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t n = maxBytes;
    // Step back over continuation bytes to the start of the character that would be split.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return text.substr(0, n);
}

SystemText PlatformSystemText() {
    return SystemText{[](const std::string& utf8) { return platform::toSystemText(utf8); },
                      platform::systemTextIsUtf8()};
}

Tip MakeTip(const QString& text, const SystemText& system) {
    constexpr int kCharacters = 63;
    constexpr std::size_t kBytes = 63;
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    const QString before = nul < 0 ? text : text.left(nul);
    Tip tip;
    bool fieldFull = false;
    int characters = 0;
    for (qsizetype i = 0; i < before.size() && characters < kCharacters; ++characters) {
        const bool pair =
            before[i].isHighSurrogate() && i + 1 < before.size() && before[i + 1].isLowSurrogate();
        const QString character = before.mid(i, pair ? 2 : 1);
        i += character.size();
        const QByteArray utf8 = character.toUtf8();
        const std::string bytes =
            system.encode(std::string(utf8.constData(), static_cast<std::size_t>(utf8.size())))
                .value_or("?");
        fieldFull = fieldFull || tip.field.size() + bytes.size() > kBytes;
        if (fieldFull && !system.utf8) break;
        tip.text += character;
        if (!fieldFull) tip.field += bytes;
    }
    tip.field += '\0';
    return tip;
}

// ---- windows, icons and the shown icons ------------------------------------------------------

namespace {

struct Shown {
    TrayRecord record;
    std::unique_ptr<QSystemTrayIcon> icon;
};

struct Registry {
    std::uint32_t nextWindow = 1;
    std::uint32_t nextIcon = 1;
    std::map<std::uint32_t, WindowProc> windows;
    std::map<std::uint32_t, QIcon> icons;
    std::map<std::pair<std::uint32_t, std::uint32_t>, Shown> shown;
    std::uint32_t lastError = 0;
    long requests = 0;
    // Icons still shown at program end are left to the desktop: the application object that
    // owns their windows may already be gone.
    ~Registry() {
        for (auto& entry : shown) (void)entry.second.icon.release();
    }
};

Registry& registry() {
    static Registry r;
    return r;
}

QIcon iconFor(std::uint32_t handle) {
    auto& r = registry();
    const auto it = r.icons.find(handle);
    if (it != r.icons.end() && !it->second.isNull()) return it->second;
    // An unknown handle shows a plain square rather than nothing at all.
    QPixmap pm(16, 16);
    pm.fill(Qt::gray);
    return QIcon(pm);
}

// The tip as the record's field holds it.
QString tipOfField(const TrayRecord& rec) {
    const std::string bytes = rec.tipText();
    const auto utf8 = platform::fromSystemText(bytes);
    return QString::fromUtf8(utf8 ? *utf8 : bytes);
}

QString tipToQt(QString tip) {
    tip.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return tip;
}

std::uint32_t mouseMessageFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return kLeftButtonUp;
        case QSystemTrayIcon::DoubleClick:
            return kLeftButtonDoubleClick;
        case QSystemTrayIcon::Context:
            return kRightButtonUp;
        case QSystemTrayIcon::MiddleClick:
            return kMiddleButtonUp;
        default:
            return 0;
    }
}

// A click on the icon of (hWnd, uID), handed to its window as the record's callback message.
void deliverActivation(std::uint32_t hWnd, std::uint32_t uID,
                       QSystemTrayIcon::ActivationReason reason) {
    auto& reg = registry();
    const auto found = reg.shown.find({hWnd, uID});
    if (found == reg.shown.end()) return;
    const TrayRecord& rec = found->second.record;
    if (!(rec.uFlags & kFlagMessage)) return;
    const auto win = reg.windows.find(hWnd);
    const std::uint32_t mouse = mouseMessageFor(reason);
    if (win == reg.windows.end() || !win->second || mouse == 0) return;
    // Copy: the procedure may delete the icon it was called for.
    const WindowProc proc = win->second;
    proc(rec.uCallbackMessage, mouse);
}

void addIcon(const TrayRecord& record, const QString& tip) {
    Shown s;
    s.record = record;
    s.icon = std::make_unique<QSystemTrayIcon>();
    s.icon->setIcon(iconFor(record.uFlags & kFlagIcon ? record.hIcon : 0));
    if (record.uFlags & kFlagTip) s.icon->setToolTip(tipToQt(tip));
    const std::uint32_t hWnd = record.hWnd;
    const std::uint32_t uID = record.uID;
    QObject::connect(s.icon.get(), &QSystemTrayIcon::activated,
                     [hWnd, uID](QSystemTrayIcon::ActivationReason reason) {
                         deliverActivation(hWnd, uID, reason);
                     });
    s.icon->show();
    registry().shown.emplace(std::make_pair(hWnd, uID), std::move(s));
}

// Takes over the parts of the record its flags name.
void modifyIcon(Shown& s, const TrayRecord& record, const QString& tip) {
    if (record.uFlags & kFlagMessage) {
        s.record.uCallbackMessage = record.uCallbackMessage;
        s.record.uFlags |= kFlagMessage;
    }
    if (record.uFlags & kFlagIcon) {
        s.record.hIcon = record.hIcon;
        s.icon->setIcon(iconFor(record.hIcon));
    }
    if (record.uFlags & kFlagTip) {
        std::memcpy(s.record.szTip, record.szTip, sizeof(record.szTip));
        s.icon->setToolTip(tipToQt(tip));
    }
}

bool fail(std::uint32_t code) {
    registry().lastError = code;
    return false;
}

}  // namespace

std::uint32_t RegisterWindow(WindowProc proc) {
    auto& r = registry();
    const std::uint32_t h = r.nextWindow++;
    r.windows[h] = std::move(proc);
    return h;
}

void UnregisterWindow(std::uint32_t hWnd) {
    auto& r = registry();
    r.windows.erase(hWnd);
    // Icons of a window that is gone go with it.
    for (auto it = r.shown.begin(); it != r.shown.end();) {
        if (it->first.first == hWnd)
            it = r.shown.erase(it);
        else
            ++it;
    }
}

std::uint32_t RegisterIcon(const QIcon& icon) {
    auto& r = registry();
    const std::uint32_t h = r.nextIcon++;
    r.icons[h] = icon;
    return h;
}

bool NotifyIcon(std::uint32_t request, const TrayRecord& record) {
    return NotifyIcon(request, record, tipOfField(record));
}

bool NotifyIcon(std::uint32_t request, const TrayRecord& record, const QString& tip) {
    auto& r = registry();
    ++r.requests;
    if (record.cbSize != kRecordSize) return fail(kErrorInvalidParameter);
    const auto it = r.shown.find(std::make_pair(record.hWnd, record.uID));
    switch (request) {
        case kAdd:
            if (it != r.shown.end()) return fail(kErrorAlreadyExists);
            addIcon(record, tip);
            return true;
        case kModify:
            if (it == r.shown.end()) return fail(kErrorNotFound);
            modifyIcon(it->second, record, tip);
            return true;
        case kDelete:
            if (it == r.shown.end()) return fail(kErrorNotFound);
            it->second.icon->hide();
            // The icon may be in the middle of delivering its own click; let Qt delete it later.
            it->second.icon.release()->deleteLater();
            r.shown.erase(it);
            return true;
        default:
            return fail(kErrorInvalidParameter);
    }
}

std::uint32_t LastError() {
    return registry().lastError;
}

QSystemTrayIcon* ShownIcon(std::uint32_t hWnd, std::uint32_t uID) {
    auto& r = registry();
    const auto it = r.shown.find({hWnd, uID});
    return it == r.shown.end() ? nullptr : it->second.icon.get();
}

int ShownIconCount() {
    return static_cast<int>(registry().shown.size());
}

long RequestCount() {
    return registry().requests;
}

}  // namespace tray
