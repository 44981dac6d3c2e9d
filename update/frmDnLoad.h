#pragma once
// frmDnLoad, the download window: a small window on top of all others that shows what its
// download engine reports and lets the user cancel. One instance per download; frmDemo, its
// hidden driver window, builds the file list and handles the confirmed cancel.

#include <QWidget>
#include <functional>

#include "update/DownloadSupport.h"
#include "update/TaksDL.h"

class DialogService;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class frmDemo;

class frmDnLoad : public QWidget, public DownloadView {
    Q_OBJECT
public:
    frmDnLoad(DialogService& dialogs, EngineOptions engine, QWidget* parent = nullptr);
    // When the window terminates below 98 percent, the partial file of its download goes.
    ~frmDnLoad() override;

    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;  // 0 to 1 in steps of 0.0001
    QPushButton* CmdDL = nullptr;
    QPushButton* CmdCancel = nullptr;
    QTimer* Timer1 = nullptr;
    TaksDL* mydl = nullptr;
    frmDemo* demo = nullptr;  // the driver window, set by whoever pairs the two

    // Runs the download of the file list's first triple (URL | local path | cache flag |) and
    // returns when it has ended.
    void ShowDownLoad(const QString& FileList, QObject* CallingForm, QObject* Owner);
    // The bar's value, 0 to 1, and as a percentage of its maximum.
    double progress() const;
    double barPercent() const;
    // The progress-report pacing.
    DownloadSupport::ProgressPacer& pacer() { return m_pacer; }

    void setStatusText(const QString& text) override;
    void setProgress(double fraction) override;
    void EchoCancelRequest() override;

public slots:
    void CmdDL_Click();
    void CmdCancel_Click();
    void Timer1_Timer();

protected:
    // The close box while a download runs asks the cancel question, as the cancel button does;
    // the window stays (the program ends on a confirmed cancel).
    void closeEvent(QCloseEvent* event) override;

private:
    void mydl_TakDLStart();
    void mydl_TakDLDone();
    void mydl_TakDLCrash(qint32 TakErrNum, const QString& TakErrDescr, bool Cancelled);
    void mydl_TakDLCancelled();
    void mydl_TakDLProg(qint64 TakBytesIn, qint64 TakTotalBytes);

    DialogService& m_dialogs;
    EngineOptions m_engine;
    DownloadSupport::ProgressPacer m_pacer;
    int m_ticks = 0;
    bool m_transferring = false;  // inside ShowDownLoad's transfer
};
