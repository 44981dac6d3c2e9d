#include <gtest/gtest.h>

#include <QIcon>
#include <QPixmap>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <cstddef>

#include "shell/CSystrayIcon.h"
#include "shell/TrayRecord.h"

namespace {

QIcon someIcon() {
    QPixmap pm(16, 16);
    pm.fill(Qt::red);
    return QIcon(pm);
}

TrayRecord recordFor(std::uint32_t hWnd, std::uint32_t hIcon, const std::string& tip) {
    TrayRecord r;
    r.cbSize = tray::kRecordSize;
    r.hWnd = hWnd;
    r.uID = hIcon;
    r.uFlags = tray::kFlagsAll;
    r.uCallbackMessage = tray::kMouseMove;
    r.hIcon = hIcon;
    r.setTip(tip);
    return r;
}

TEST(TrayRecord, KeepsTheEightyEightByteLayout) {
    EXPECT_EQ(sizeof(TrayRecord), 88u);
    EXPECT_EQ(offsetof(TrayRecord, cbSize), 0u);
    EXPECT_EQ(offsetof(TrayRecord, hWnd), 4u);
    EXPECT_EQ(offsetof(TrayRecord, uID), 8u);
    EXPECT_EQ(offsetof(TrayRecord, uFlags), 12u);
    EXPECT_EQ(offsetof(TrayRecord, uCallbackMessage), 16u);
    EXPECT_EQ(offsetof(TrayRecord, hIcon), 20u);
    EXPECT_EQ(offsetof(TrayRecord, szTip), 24u);
}

TEST(TrayRecord, TipIsBlankFilledAndCutBetweenCharacters) {
    TrayRecord r;
    r.setTip("Stitchwell");
    EXPECT_EQ(r.tipField(), "Stitchwell" + std::string(54, ' '));
    EXPECT_EQ(r.tipText(), r.tipField());  // no NUL: all 64 bytes

    // A NUL ends the shown text; blanks follow it.
    r.setTip(std::string("ab\0", 3));
    EXPECT_EQ(r.tipField(), std::string("ab\0", 3) + std::string(61, ' '));
    EXPECT_EQ(r.tipText(), "ab");

    // 100 ASCII characters: the first 64.
    r.setTip(std::string(100, 'x'));
    EXPECT_EQ(r.tipField(), std::string(64, 'x'));

    // "已" is three bytes: 21 of them fill 63 bytes, the 22nd would be cut in half and is left
    // out, and one blank fills the field.
    std::string chinese;
    for (int i = 0; i < 30; ++i) chinese += "已";
    r.setTip(chinese);
    std::string expected;
    for (int i = 0; i < 21; ++i) expected += "已";
    EXPECT_EQ(r.tipField(), expected + " ");
    // A character that would end at byte 65 after one ASCII byte: cut before it.
    r.setTip("a" + chinese);
    EXPECT_EQ(r.tipField(), "a" + expected);
    r.setTip("ab" + chinese);
    EXPECT_EQ(r.tipField(), "ab" + expected.substr(0, 60) + "  ");
}

TEST(TrayRecord, CutUtf8NeverSplitsACharacter) {
    EXPECT_EQ(tray::CutUtf8("背景mp3", 3), "背");
    EXPECT_EQ(tray::CutUtf8("背景mp3", 4), "背");
    EXPECT_EQ(tray::CutUtf8("背景mp3", 5), "背");
    EXPECT_EQ(tray::CutUtf8("背景mp3", 6), "背景");
    EXPECT_EQ(tray::CutUtf8("背景mp3", 7), "背景m");
    EXPECT_EQ(tray::CutUtf8("😀x", 3), "");
    EXPECT_EQ(tray::CutUtf8("short", 64), "short");
}

// The tip rule, here (UTF-8) and on a system whose code page writes a Chinese character in two
// bytes and cannot write some characters at all.
TEST(TrayRecord, TipKeeps63CharactersAndWhatTheCodePageHolds) {
    const tray::SystemText utf8{[](const std::string& c) { return std::optional<std::string>(c); },
                                true};
    const tray::SystemText codePage{[](const std::string& c) -> std::optional<std::string> {
                                        if (c.size() == 1) return c;
                                        if (c.size() == 3) return std::string("\xB1\xB3");
                                        return std::nullopt;
                                    },
                                    false};
    const QString chinese(100, QChar(u'视'));
    const QString emoji = QString::fromUtf8("😀");
    struct Case {
        QString text;
        bool onCodePage;
        QString kept;
        std::string field;  // before the blank fill, NUL included
    };
    const Case cases[] = {
        {"Stitchwell", false, "Stitchwell", std::string("Stitchwell\0", 11)},
        {QString(100, 'x'), false, QString(63, 'x'), std::string(63, 'x') + '\0'},
        {QString(100, 'x'), true, QString(63, 'x'), std::string(63, 'x') + '\0'},
        // Only multi-byte characters: 63 kept here, the field holds 21; a code page holds 31.
        {chinese, false, chinese.left(63), QString(21, QChar(u'视')).toStdString() + '\0'},
        {chinese, true, chinese.left(31),
         [] {
             std::string f;
             for (int i = 0; i < 31; ++i) f += "\xB1\xB3";
             return f + '\0';
         }()},
        // A character outside the basic plane counts once and is never cut in half.
        {QString(62, 'a') + emoji + "b", false, QString(62, 'a') + emoji,
         std::string(62, 'a') + '\0'},
        {QString(61, 'a') + emoji, false, QString(61, 'a') + emoji, std::string(61, 'a') + '\0'},
        {"a" + emoji + "b", true, "a" + emoji + "b", std::string("a?b\0", 4)},
        // The text ends at a NUL; an empty text is a NUL alone.
        {QString("ab") + QChar(u'\0') + "cd", false, "ab", std::string("ab\0", 3)},
        {"", true, "", std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        const tray::Tip tip = tray::MakeTip(c.text, c.onCodePage ? codePage : utf8);
        EXPECT_EQ(tip.text, c.kept) << c.text.toStdString();
        EXPECT_EQ(tip.field, c.field) << c.text.toStdString();
        EXPECT_LE(tip.field.size(), 64u);
    }
}

TEST(NotifyIcon, AddModifyDeleteDriveARealTrayIcon) {
    const std::uint32_t hIcon = tray::RegisterIcon(someIcon());
    const std::uint32_t hWnd = tray::RegisterWindow(nullptr);
    TrayRecord r = recordFor(hWnd, hIcon, std::string("Stitchwell\r\n已生成视频数：0\0", 39));

    ASSERT_TRUE(tray::NotifyIcon(tray::kAdd, r));
    QSystemTrayIcon* icon = tray::ShownIcon(hWnd, hIcon);
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->isVisible());
    EXPECT_FALSE(icon->icon().isNull());
    EXPECT_EQ(icon->toolTip(), QString("Stitchwell\n已生成视频数：0"));

    // A second add for the same icon fails.
    EXPECT_FALSE(tray::NotifyIcon(tray::kAdd, r));
    EXPECT_EQ(tray::LastError(), tray::kErrorAlreadyExists);

    // Modify with the tip flag only changes the tip.
    r.setTip(std::string("新的提示\0", 13));
    r.uFlags = tray::kFlagTip;
    ASSERT_TRUE(tray::NotifyIcon(tray::kModify, r));
    EXPECT_EQ(icon->toolTip(), QString("新的提示"));
    // Modify without the tip flag leaves it.
    r.setTip("ignored");
    r.uFlags = tray::kFlagIcon;
    ASSERT_TRUE(tray::NotifyIcon(tray::kModify, r));
    EXPECT_EQ(icon->toolTip(), QString("新的提示"));

    ASSERT_TRUE(tray::NotifyIcon(tray::kDelete, r));
    EXPECT_FALSE(icon->isVisible());
    EXPECT_EQ(tray::ShownIcon(hWnd, hIcon), nullptr);

    // Requests for an icon that is not shown fail harmlessly.
    EXPECT_FALSE(tray::NotifyIcon(tray::kModify, r));
    EXPECT_EQ(tray::LastError(), tray::kErrorNotFound);
    EXPECT_FALSE(tray::NotifyIcon(tray::kDelete, r));
    r.cbSize = 87;
    EXPECT_FALSE(tray::NotifyIcon(tray::kAdd, r));
    EXPECT_EQ(tray::LastError(), tray::kErrorInvalidParameter);
    r.cbSize = 88;
    EXPECT_FALSE(tray::NotifyIcon(7, r));
    EXPECT_EQ(tray::LastError(), tray::kErrorInvalidParameter);
    tray::UnregisterWindow(hWnd);
}

TEST(NotifyIcon, AClickArrivesAsTheCallbackMessage) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> received;
    const std::uint32_t hWnd = tray::RegisterWindow(
        [&](std::uint32_t message, std::uint32_t mouse) { received.emplace_back(message, mouse); });
    const std::uint32_t hIcon = tray::RegisterIcon(someIcon());
    TrayRecord r = recordFor(hWnd, hIcon, "tip");
    ASSERT_TRUE(tray::NotifyIcon(tray::kAdd, r));
    QSystemTrayIcon* icon = tray::ShownIcon(hWnd, hIcon);
    ASSERT_NE(icon, nullptr);
    emit icon->activated(QSystemTrayIcon::Trigger);
    emit icon->activated(QSystemTrayIcon::DoubleClick);
    emit icon->activated(QSystemTrayIcon::Context);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0], std::make_pair(tray::kMouseMove, tray::kLeftButtonUp));
    EXPECT_EQ(received[1].second, tray::kLeftButtonDoubleClick);
    EXPECT_EQ(received[2].second, tray::kRightButtonUp);

    // A changed callback message is what the window receives from then on.
    r.uFlags = tray::kFlagMessage;
    r.uCallbackMessage = 1024;
    ASSERT_TRUE(tray::NotifyIcon(tray::kModify, r));
    emit icon->activated(QSystemTrayIcon::Trigger);
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[3], std::make_pair(1024u, tray::kLeftButtonUp));

    // Unregistering the window removes its icons.
    tray::UnregisterWindow(hWnd);
    EXPECT_EQ(tray::ShownIcon(hWnd, hIcon), nullptr);
}

TEST(CSystrayIcon, InitializeFillsTheRecordAndShowsNothing) {
    const int before = tray::ShownIconCount();
    CSystrayIcon icon;
    icon.Initialize(77, 5, "提示", tray::kMouseMove);
    const TrayRecord& r = icon.record();
    EXPECT_EQ(r.cbSize, 88u);
    EXPECT_EQ(r.hWnd, 77u);
    EXPECT_EQ(r.uID, 1u);
    EXPECT_EQ(r.uFlags, 7u);
    EXPECT_EQ(r.uCallbackMessage, 512u);
    EXPECT_EQ(r.hIcon, 5u);
    EXPECT_EQ(r.tipField(), std::string("提示\0", 7) + std::string(57, ' '));
    EXPECT_FALSE(icon.Visible());
    EXPECT_TRUE(icon.UpdateOnChange());
    EXPECT_EQ(tray::ShownIconCount(), before);
}

TEST(CSystrayIcon, ShowAndHideReportOnlyRealChanges) {
    CSystrayIcon icon;
    icon.Initialize(101, tray::RegisterIcon(someIcon()), "Stitchwell", tray::kMouseMove);
    EXPECT_FALSE(icon.HideIcon());  // not shown: nothing to do
    ASSERT_TRUE(icon.ShowIcon());
    EXPECT_TRUE(icon.Visible());
    ASSERT_NE(tray::ShownIcon(101, 1), nullptr);

    const long requests = tray::RequestCount();
    EXPECT_FALSE(icon.ShowIcon());  // second show: false, no request sent
    EXPECT_EQ(tray::RequestCount(), requests);

    icon.setVisible(false);
    EXPECT_FALSE(icon.Visible());
    EXPECT_EQ(tray::ShownIcon(101, 1), nullptr);
    icon.setVisible(true);
    EXPECT_TRUE(icon.Visible());
}

TEST(CSystrayIcon, PropertyWritesReachTheShownIcon) {
    CSystrayIcon icon;
    icon.Initialize(102, tray::RegisterIcon(someIcon()), "start", tray::kMouseMove);

    // Not shown: the handle is stored, no request reaches the desktop.
    const long requests = tray::RequestCount();
    icon.setIconHandle(9);
    EXPECT_EQ(icon.IconHandle(), 9u);
    EXPECT_EQ(tray::RequestCount(), requests);
    EXPECT_FALSE(icon.Update());

    ASSERT_TRUE(icon.ShowIcon());
    QSystemTrayIcon* shown = tray::ShownIcon(102, 1);
    ASSERT_NE(shown, nullptr);

    // A 100-character tip: the first 63 characters, and the flags are back to 7 afterwards.
    const QString hundred(100, QChar(u'k'));
    icon.setTipText(hundred);
    EXPECT_EQ(icon.TipText(), hundred.left(63));
    EXPECT_EQ(shown->toolTip(), hundred.left(63));
    EXPECT_EQ(icon.record().uFlags, 7u);
    EXPECT_EQ(icon.record().szTip[63], '\0');

    // Chinese text: all 40 characters are kept and shown, though the field's 63 bytes hold 21.
    icon.setTipText(QString(40, QChar(u'视')));
    EXPECT_EQ(icon.TipText(), QString(40, QChar(u'视')));
    EXPECT_EQ(shown->toolTip(), QString(40, QChar(u'视')));
    EXPECT_EQ(icon.record().tipText(), QString(21, QChar(u'视')).toStdString());

    // Without update-on-change only the stored record changes, until Update.
    icon.setUpdateOnChange(false);
    icon.setTipText("later");
    EXPECT_EQ(icon.TipText(), QString("later"));
    EXPECT_EQ(shown->toolTip(), QString(40, QChar(u'视')));
    EXPECT_TRUE(icon.Update());
    EXPECT_EQ(shown->toolTip(), QString("later"));

    icon.setCallbackMessage(600);
    EXPECT_EQ(icon.CallbackMessage(), 600u);
}

TEST(CSystrayIcon, FailedRequestsRaiseNIError) {
    const std::uint32_t hIcon = tray::RegisterIcon(someIcon());
    CSystrayIcon first;
    CSystrayIcon second;
    first.Initialize(103, hIcon, "a", tray::kMouseMove);
    second.Initialize(103, hIcon, "b", tray::kMouseMove);  // the same window and identifier
    QSignalSpy errors(&second, &CSystrayIcon::NIError);
    ASSERT_TRUE(first.ShowIcon());
    EXPECT_FALSE(second.ShowIcon());
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).toUInt(), tray::kErrorAlreadyExists);
    EXPECT_FALSE(second.Visible());

    // The icon was removed behind the object's back: its hide fails and says so.
    QSignalSpy firstErrors(&first, &CSystrayIcon::NIError);
    TrayRecord r = first.record();
    ASSERT_TRUE(tray::NotifyIcon(tray::kDelete, r));
    EXPECT_FALSE(first.Update());
    EXPECT_FALSE(first.HideIcon());
    ASSERT_EQ(firstErrors.count(), 2);
    EXPECT_EQ(firstErrors.at(1).at(0).toUInt(), tray::kErrorNotFound);
}

TEST(CSystrayIcon, DestroyingTheObjectRemovesItsIcon) {
    {
        CSystrayIcon icon;
        icon.Initialize(104, tray::RegisterIcon(someIcon()), "bye", tray::kMouseMove);
        ASSERT_TRUE(icon.ShowIcon());
        ASSERT_NE(tray::ShownIcon(104, 1), nullptr);
    }
    EXPECT_EQ(tray::ShownIcon(104, 1), nullptr);
}

}  // namespace
