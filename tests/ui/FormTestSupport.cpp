#include "tests/ui/FormTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

void FormTest::SetUp() {
    rebuild();
}

void FormTest::TearDown() {
    if (form) form->close();
    form.reset();
}

void FormTest::rebuild() {
    form.reset();
    if (!settings) settings = std::make_unique<Settings>(tmp.sub("settings/Stitchwell.ini"));
    form = std::make_unique<Form1>(dialogs, *settings, tmp.sub("program", true));
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
}

namespace ui_test {

void focusAndSelectAll(QWidget* field) {
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
}

void typeText(QWidget* field, const QString& text) {
    for (QChar c : text) {
        const int key =
            c.unicode() < 0x80 && c.isPrint() ? int(c.toUpper().unicode()) : int(Qt::Key_unknown);
        QTest::sendKeyEvent(QTest::Press, field, Qt::Key(key), QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, field, Qt::Key(key), QString(c), Qt::NoModifier);
    }
}

void pasteText(QWidget* field, const QString& text) {
    QApplication::clipboard()->setText(text);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
}

void leaveField(QWidget* field) {
    QTest::keyClick(field, Qt::Key_Tab);
}

void clickMenuItem(QWidget* window, QMenu* menu, QAction* item) {
    auto* bar = static_cast<QMainWindow*>(window)->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    EXPECT_TRUE(QTest::qWaitFor([menu] { return !menu->isVisible(); }));
}

void clickMenuBarCommand(QWidget* window, QAction* command) {
    auto* bar = static_cast<QMainWindow*>(window)->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(command).center());
}

QString makeFolder(const testsupport::TempDir& tmp, const QString& name, const QStringList& files) {
    const QString dir = tmp.sub(name, true);
    for (const QString& f : files) {
        const QString path = dir + "/" + f;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) file.write("x");
    }
    return dir;
}

}  // namespace ui_test
