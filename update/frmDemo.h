#pragma once
// frmDemo, the download window's driver: never shown; its two buttons start the single-file
// download and carry out a confirmed cancel, which ends the program.

#include <QString>
#include <QWidget>
#include <functional>

#include "update/frmDnLoad.h"

class QPushButton;

class frmDemo : public QWidget {
    Q_OBJECT
public:
    // endProgram ends the whole program at once (a confirmed cancel does not return).
    frmDemo(frmDnLoad& window, std::function<void()> endProgram, QWidget* parent = nullptr);

    QPushButton* cmdDoSingleDownLoad = nullptr;  // "Single File"
    QPushButton* cmdCancel = nullptr;            // "Cancel"
    // The file list of the last download started here.
    const QString& fileList() const { return m_fileList; }

public slots:
    void cmdDoSingleDownLoad_Click();
    void cmdCancel_Click();

private:
    frmDnLoad& m_window;
    std::function<void()> m_endProgram;
    QString m_fileList;
};

// The two windows of one download, as DownloadWithProgress drives them.
class DownloadWindowPair : public DownloadSupport::DownloadWindows {
public:
    DownloadWindowPair(DialogService& dialogs, const EngineOptions& engine,
                       std::function<void()> endProgram);
    ~DownloadWindowPair() override;
    void showDownloadWindow() override;
    void pressDownload() override;
    frmDnLoad& window() { return *m_window; }

private:
    frmDnLoad* m_window;
    frmDemo* m_demo;
};
