// Background mode: the tray record, the icon, clicks on it, the status line feeding its tip, and
// closing the window.
#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include "merge/MergeRun.h"
#include "shell/TrayRecord.h"
#include "tests/ui/FormTestSupport.h"

namespace {

std::string field(const std::string& text) {
    std::string f = text;
    f.resize(64, ' ');
    return f;
}

class TrayTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        form->systemTrayAvailable = [] { return true; };
        form->attachRun(&run);
    }
    // What the merge run shows the window of its state.
    RunState run;
};

TEST_F(TrayTest, RunStartHidesTheWindowBehindAnIcon) {
    run.Running = true;
    form->setStatus("状态：OK");
    form->hideBehindTray();
    const TrayRecord& r = form->trayRecord;
    EXPECT_EQ(r.cbSize, 88u);
    EXPECT_EQ(r.hWnd, form->windowHandle());
    EXPECT_EQ(r.uID, form->iconHandle());
    EXPECT_EQ(r.uFlags, 7u);
    EXPECT_EQ(r.uCallbackMessage, 512u);
    EXPECT_EQ(r.hIcon, form->iconHandle());
    EXPECT_EQ(r.tipField(), field(std::string("Stitchwell\r\n已生成视频数：0\r\n状态：OK\0", 48)));
    EXPECT_FALSE(form->isVisible());
    ASSERT_TRUE(form->trayIconShown());
    QSystemTrayIcon* icon = tray::ShownIcon(form->windowHandle(), form->iconHandle());
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->toolTip().startsWith("Stitchwell\n已生成视频数：0\n状态：OK"));
    EXPECT_FALSE(icon->icon().isNull());
}

TEST_F(TrayTest, StatusChangesDuringARunReachTheTip) {
    run.Running = true;
    form->hideBehindTray();
    run.MadeCount = 3;
    form->setStatus("状态：OK");
    EXPECT_EQ(form->trayRecord.tipField(),
              field(std::string("Stitchwell\r\n已生成视频数：3\r\n状态：OK\0", 48)));
    QSystemTrayIcon* icon = tray::ShownIcon(form->windowHandle(), form->iconHandle());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->toolTip(), QString("Stitchwell\n已生成视频数：3\n状态：OK"));
    EXPECT_EQ(controlsOf(*form).StbPanels[4]->text(), QString("状态：OK"));

    // A long Chinese status: the field holds what fits its bytes, cut between characters; the
    // desktop shows the tip's first 63 characters.
    const QString status =
        "状态：源视频预处理中...123Mb；已制作：3，等待补充新视频中，请稍候，素材文件夹：一二三四五";
    form->setStatus(status);
    const std::string tip = form->trayRecord.tipField();
    EXPECT_EQ(tip.size(), 64u);
    const std::string held = form->trayRecord.tipText();
    EXPECT_EQ(QString::fromUtf8(held).toUtf8().toStdString(), held);
    const QString kept = ("Stitchwell\r\n已生成视频数：3\r\n" + status).left(63);
    EXPECT_EQ(form->trayTipText, kept);
    EXPECT_EQ(icon->toolTip(), QString(kept).replace("\r\n", "\n"));

    // Not running, or not in background mode: the tip stays.
    const long requests = tray::RequestCount();
    run.Running = false;
    form->setStatus("状态：完成");
    run.Running = true;
    controlsOf(*form).ChBack->setChecked(false);
    form->setStatus("状态：完成");
    EXPECT_EQ(tray::RequestCount(), requests);
    EXPECT_EQ(controlsOf(*form).StbPanels[4]->text(), QString("状态：完成"));
}

TEST_F(TrayTest, AClickOnTheIconBringsTheWindowBack) {
    run.Running = true;
    form->hideBehindTray();
    ASSERT_FALSE(form->isVisible());
    QSystemTrayIcon* icon = tray::ShownIcon(form->windowHandle(), form->iconHandle());
    ASSERT_NE(icon, nullptr);
    emit icon->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    // The icon stays, with the version in its tip.
    EXPECT_TRUE(form->trayIconShown());
    EXPECT_TRUE(
        form->trayRecord.tipText().starts_with("Stitchwell(版本 1.0.0)\r\n已生成视频数：0"));

    // Other buttons do not show the window.
    form->hide();
    emit icon->activated(QSystemTrayIcon::Context);
    EXPECT_FALSE(form->isVisible());
    form->showMainWindow();
}

TEST_F(TrayTest, DoubleClickOnTheWindowSwitchesBetweenWindowAndIcon) {
    // Not running: nothing happens.
    QTest::mouseDClick(form->centralWidget(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->trayIconShown());

    run.Running = true;
    QTest::mouseDClick(form->centralWidget(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->trayIconShown());
    // The hidden window cannot be clicked; its double-click handler removes the icon and shows it.
    form->Form_DblClick();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->trayIconShown());

    // Without background mode the double click does nothing.
    controlsOf(*form).ChBack->setChecked(false);
    QTest::mouseDClick(form->centralWidget(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->trayIconShown());
}

TEST_F(TrayTest, WithoutASystemTrayTheWindowIsMinimisedInstead) {
    form->systemTrayAvailable = [] { return false; };
    run.Running = true;
    form->hideBehindTray();
    EXPECT_FALSE(form->trayIconShown());
    EXPECT_TRUE(form->isMinimized());
    EXPECT_TRUE(controlsOf(*form).LST->text().contains("系统托盘不可用"));
    EXPECT_EQ(controlsOf(*form).StbPanels[4]->text(), controlsOf(*form).LST->text());
}

TEST_F(TrayTest, RefreshAndRemoveAreHarmlessWithoutAnIcon) {
    form->refreshTrayTip("tip");
    form->removeTrayIcon();
    EXPECT_FALSE(form->trayIconShown());
    EXPECT_EQ(form->trayRecord.tipField(), field(std::string("tip\0", 4)));
}

TEST_F(TrayTest, ClosingAsksTheCloseHookAndRemovesTheIcon) {
    QSignalSpy closed(form.get(), &Form1::closed);
    bool allow = false;
    form->closeRequest = [&] { return allow; };
    run.Running = true;
    form->hideBehindTray();
    form->showMainWindow();
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->trayIconShown());
    EXPECT_EQ(closed.count(), 0);
    allow = true;
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->trayIconShown());
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(FormTest, WindowClosesWithoutACloseHook) {
    QSignalSpy closed(form.get(), &Form1::closed);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(closed.count(), 1);
}

}  // namespace
