#include "update/frmDemo.h"

#include <QCoreApplication>
#include <QFile>
#include <QPushButton>

frmDemo::frmDemo(frmDnLoad& window, std::function<void()> endProgram, QWidget* parent)
    : QWidget(parent), m_window(window), m_endProgram(std::move(endProgram)) {
    cmdDoSingleDownLoad = new QPushButton(QStringLiteral("Single File"), this);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(cmdDoSingleDownLoad, &QPushButton::clicked, this, &frmDemo::cmdDoSingleDownLoad_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmDemo::cmdCancel_Click);
}

void frmDemo::cmdDoSingleDownLoad_Click() {
    m_fileList =
        DownloadSupport::DownloadUrl + "|" + DownloadSupport::DownloadSavePath + "|" + "1" + "|";
    m_window.ShowDownLoad(m_fileList, this, this);
}

void frmDemo::cmdCancel_Click() {
    m_window.EchoCancelRequest();
    QCoreApplication::processEvents();
    // The download's own partial file; the file under the final name is never a partial one.
    if (m_window.barPercent() < 98 && m_window.mydl && !m_window.mydl->partialFile().isEmpty())
        QFile::remove(m_window.mydl->partialFile());
    hide();
    if (m_endProgram) m_endProgram();
}

DownloadWindowPair::DownloadWindowPair(DialogService& dialogs, const EngineOptions& engine,
                                       std::function<void()> endProgram)
    : m_window(new frmDnLoad(dialogs, engine)),
      m_demo(new frmDemo(*m_window, std::move(endProgram))) {
    m_window->demo = m_demo;
}

DownloadWindowPair::~DownloadWindowPair() {
    delete m_demo;
    delete m_window;
}

void DownloadWindowPair::showDownloadWindow() {
    m_window->setWindowTitle(DownloadSupport::DownloadCaption);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void DownloadWindowPair::pressDownload() {
    m_window->CmdDL->click();
}
