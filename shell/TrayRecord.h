#pragma once
// The notification-icon record in its first, 88-byte layout, kept as plain data, and the
// notify-icon request (add / modify / delete) that shows it as a real desktop tray icon.
//
// Handles are small numbers handed out here: a window registers a procedure that receives the
// record's callback message (with the mouse message of the icon in place of the pointer's X
// coordinate), and an icon is registered once to get its handle. The tip field holds text in the
// system's multi-byte text (UTF-8 here, the ANSI code page on Windows), cut only between
// characters. A tip keeps 63 characters; where the system's text is UTF-8 the field holds only
// about 21 Chinese ones, so the tip's characters travel to the desktop beside the record (Tip).

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QIcon;
class QSystemTrayIcon;

struct TrayRecord {
    std::uint32_t cbSize = 0;            // 88
    std::uint32_t hWnd = 0;              // window that receives the callback message
    std::uint32_t uID = 0;               // icon identifier
    std::uint32_t uFlags = 0;            // which of message / icon / tip are valid
    std::uint32_t uCallbackMessage = 0;  // 512: mouse actions arrive as mouse movement
    std::uint32_t hIcon = 0;             // icon handle
    char szTip[64] = {};                 // tip text, blank-filled

    // Places text (which may hold a NUL) into the tip field: cut to 64 bytes without splitting
    // a multi-byte character, and filled up with blanks.
    void setTip(const std::string& text);
    // The 64 bytes of the tip field as they stand.
    std::string tipField() const;
    // The tip as the desktop shows it: the bytes before the first NUL (all 64 when there is
    // none), with a multi-byte character left incomplete at the end dropped.
    std::string tipText() const;
};
static_assert(sizeof(TrayRecord) == 88, "the record keeps its 88-byte layout");

namespace tray {

constexpr std::uint32_t kRecordSize = 88;
// Requests.
constexpr std::uint32_t kAdd = 0;
constexpr std::uint32_t kModify = 1;
constexpr std::uint32_t kDelete = 2;
// Flags.
constexpr std::uint32_t kFlagMessage = 1;
constexpr std::uint32_t kFlagIcon = 2;
constexpr std::uint32_t kFlagTip = 4;
constexpr std::uint32_t kFlagsAll = 7;
// Window messages.
constexpr std::uint32_t kMouseMove = 512;
constexpr std::uint32_t kLeftButtonUp = 514;
constexpr std::uint32_t kLeftButtonDoubleClick = 515;
constexpr std::uint32_t kRightButtonUp = 517;
constexpr std::uint32_t kMiddleButtonUp = 520;
// Last-error codes of failed requests.
constexpr std::uint32_t kErrorInvalidParameter = 87;  // wrong record size or unknown request
constexpr std::uint32_t kErrorAlreadyExists = 183;    // add for an icon that is shown already
constexpr std::uint32_t kErrorNotFound = 1168;        // modify / delete for an icon not shown

// The procedure of a window: called with the record's callback message and, as second value,
// the mouse message of the icon (514 for a click with the left button).
using WindowProc = std::function<void(std::uint32_t message, std::uint32_t mouseMessage)>;
std::uint32_t RegisterWindow(WindowProc proc);
void UnregisterWindow(std::uint32_t hWnd);
std::uint32_t RegisterIcon(const QIcon& icon);

// The notify-icon request: kAdd shows a new icon for (hWnd, uID), kModify changes the fields
// named by uFlags, kDelete removes it. False on failure, with LastError() telling why.
bool NotifyIcon(std::uint32_t request, const TrayRecord& record);
// The same, with the tip the desktop shows given as its characters (Tip::text) rather than read
// back from the record's field.
bool NotifyIcon(std::uint32_t request, const TrayRecord& record, const QString& tip);
std::uint32_t LastError();

// For inspection: the desktop icon shown for (hWnd, uID), or nullptr; the number of icons shown;
// the number of requests made so far.
QSystemTrayIcon* ShownIcon(std::uint32_t hWnd, std::uint32_t uID);
int ShownIconCount();
long RequestCount();

// Fits UTF-8 text into at most maxBytes bytes without splitting a character.
std::string CutUtf8(const std::string& text, std::size_t maxBytes);

// How the system writes text: one character's bytes (nullopt when it cannot), and whether that
// writing is UTF-8.
struct SystemText {
    std::function<std::optional<std::string>(const std::string& utf8)> encode;
    bool utf8 = true;
};
SystemText PlatformSystemText();

// The tip a text makes. `text`: the text before its first NUL, at most 63 characters (a
// character outside the basic plane counts once), and where the system's text is a code page no
// more characters than its 63 bytes hold. `field`: what the 64-byte field holds before the blank
// fill: those characters in the system's text (one it cannot write as "?"; where that text is
// UTF-8, only as many as fit 63 bytes), then one NUL.
struct Tip {
    QString text;
    std::string field;
};
Tip MakeTip(const QString& text, const SystemText& system = PlatformSystemText());

}  // namespace tray
