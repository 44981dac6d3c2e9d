#include "shell/DialogService.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "platform/Platform.h"

MsgResult QtDialogService::message(QWidget* parent, const QString& text, MsgIcon icon,
                                   MsgButtons buttons, bool cancelIsDefault) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("消息"));
    box.setText(text);
    switch (icon) {
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
    }
    switch (buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(cancelIsDefault ? QMessageBox::Cancel : QMessageBox::Ok);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MsgButtons::RetryCancel:
            box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Ok:
            return MsgResult::Ok;
        case QMessageBox::Yes:
            return MsgResult::Yes;
        case QMessageBox::No:
            return MsgResult::No;
        case QMessageBox::Retry:
            return MsgResult::Retry;
        default:
            return MsgResult::Cancel;
    }
}

QString QtDialogService::browseFolder(QWidget* parent, const QString& prompt, bool newFolderStyle) {
    return browseFolderFrom(parent, prompt, QString(), newFolderStyle);
}

QString QtDialogService::browseFolderFrom(QWidget* parent, const QString& prompt,
                                          const QString& initialFolder, bool newFolderStyle) {
    QFileDialog::Options options = QFileDialog::ShowDirsOnly;
    if (!newFolderStyle) options |= QFileDialog::ReadOnly;  // no "new folder" button
    return QFileDialog::getExistingDirectory(parent, prompt, initialFolder, options);
}

void QtDialogService::beep() {
    QApplication::beep();
}

void QtDialogService::openLocation(const QString& location) {
    // A file is shown selected in its folder where the file manager can do that, else its folder
    // is opened.
    const QFileInfo file(location);
    if (!location.contains(QStringLiteral("://")) && file.isFile()) {
        if (platform::showFileSelected(location.toStdString())) return;
        QDesktopServices::openUrl(QUrl::fromLocalFile(file.absolutePath()));
        return;
    }
    const QUrl url =
        location.contains(QStringLiteral("://")) ? QUrl(location) : QUrl::fromLocalFile(location);
    QDesktopServices::openUrl(url);
}
