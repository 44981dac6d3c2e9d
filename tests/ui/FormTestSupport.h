#pragma once
// A shown, active main window with scripted dialogs and a settings file of its own, and the
// real key and mouse events that tests use to drive it.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <memory>
#include <ostream>

#include "tests/support/FormAccess.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestMedia.h"
#include "ui/Form1.h"
#include "ui/Settings.h"

class QAction;
class QMenu;
class QWidget;

class FormTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Builds and shows the window (SetUp does this; tests that prepare settings first call
    // rebuild()).
    void rebuild();

    testsupport::TempDir tmp;
    ScriptedDialogs dialogs;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<Form1> form;
};

namespace ui_test {

// Clicks into a field and selects its whole text.
void focusAndSelectAll(QWidget* field);
// Types text key by key, each key carrying its character (Chinese included).
void typeText(QWidget* field, const QString& text);
// Pastes text with the paste key.
void pasteText(QWidget* field, const QString& text);
// Leaves the field with the Tab key.
void leaveField(QWidget* field);
// Opens a menu of the menu bar with the mouse and clicks one of its items.
void clickMenuItem(QWidget* window, QMenu* menu, QAction* item);
// Clicks a command that sits directly in the menu bar.
void clickMenuBarCommand(QWidget* window, QAction* command);
// A folder with the given files (empty files, names relative to the folder).
QString makeFolder(const testsupport::TempDir& tmp, const QString& name, const QStringList& files);

}  // namespace ui_test

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{';
    for (const QString& s : l) *os << '"' << s.toStdString() << "\" ";
    *os << '}';
}
