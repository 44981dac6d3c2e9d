#pragma once
// Everything the windows ask of the user or of the desktop goes through one service, so tests
// can answer dialogs and record beeps without a person in front of the screen.

#include <QString>

class QWidget;

enum class MsgIcon { Information, Error, Warning };
enum class MsgButtons { Ok, OkCancel, YesNo, RetryCancel };
enum class MsgResult { Ok, Cancel, Yes, No, Retry };

class DialogService {
public:
    virtual ~DialogService() = default;
    // A message box titled "消息". cancelIsDefault makes Cancel the default button.
    virtual MsgResult message(QWidget* parent, const QString& text, MsgIcon icon,
                              MsgButtons buttons, bool cancelIsDefault = false) = 0;
    // The desktop's folder browser with the prompt as caption; the chosen folder as the browser
    // reports it, or an empty text when cancelled.
    virtual QString browseFolder(QWidget* parent, const QString& prompt, bool newFolderStyle) = 0;
    // The same, opening at initialFolder (empty: the browser's own start). Services that cannot
    // preselect a folder simply browse.
    virtual QString browseFolderFrom(QWidget* parent, const QString& prompt,
                                     const QString& initialFolder, bool newFolderStyle) {
        (void)initialFolder;
        return browseFolder(parent, prompt, newFolderStyle);
    }
    virtual void beep() = 0;
    // Opens a folder (or a web address) in the desktop's file manager or browser.
    virtual void openLocation(const QString& location) = 0;
};

// The real service: QMessageBox, QFileDialog, QApplication::beep, QDesktopServices.
class QtDialogService : public DialogService {
public:
    MsgResult message(QWidget* parent, const QString& text, MsgIcon icon, MsgButtons buttons,
                      bool cancelIsDefault = false) override;
    QString browseFolder(QWidget* parent, const QString& prompt, bool newFolderStyle) override;
    QString browseFolderFrom(QWidget* parent, const QString& prompt, const QString& initialFolder,
                             bool newFolderStyle) override;
    void beep() override;
    void openLocation(const QString& location) override;
};
