#include "update/frmDnLoad.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "media/General.h"
#include "shell/DialogService.h"
#include "update/frmDemo.h"

namespace {

constexpr int kBarSteps = 10000;  // the bar runs from 0 to 1 in steps of 0.0001
constexpr int kCancelTicks = 61;

}  // namespace

frmDnLoad::frmDnLoad(DialogService& dialogs, EngineOptions engine, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint),
      m_dialogs(dialogs),
      m_engine(std::move(engine)),
      m_pacer([](float seconds) { General::WaitSeconds(seconds); },
              [] { QCoreApplication::processEvents(); }) {
    Label1 = new QLabel(QStringLiteral("正在检查文件下载相关信息中..."), this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, kBarSteps);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    CmdDL = new QPushButton(QStringLiteral("下载"), this);
    CmdCancel = new QPushButton(QStringLiteral("取消"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CmdDL);
    buttons->addWidget(CmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(ProgressBar1);
    layout->addLayout(buttons);
    resize(460, 120);

    connect(CmdDL, &QPushButton::clicked, this, &frmDnLoad::CmdDL_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &frmDnLoad::CmdCancel_Click);
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &frmDnLoad::Timer1_Timer);
    Timer1->start();
}

frmDnLoad::~frmDnLoad() {
    if (mydl && barPercent() < 98 && !mydl->partialFile().isEmpty())
        QFile::remove(mydl->partialFile());
}

double frmDnLoad::progress() const {
    return static_cast<double>(ProgressBar1->value()) / kBarSteps;
}

double frmDnLoad::barPercent() const {
    return static_cast<double>(ProgressBar1->value()) * 100 / ProgressBar1->maximum();
}

void frmDnLoad::setStatusText(const QString& text) {
    Label1->setText(text);
}

void frmDnLoad::setProgress(double fraction) {
    const double steps = std::round(std::clamp(fraction, 0.0, 1.0) * kBarSteps);
    ProgressBar1->setValue(static_cast<int>(steps));
}

void frmDnLoad::EchoCancelRequest() {
    if (mydl) mydl->KillTak();
}

void frmDnLoad::CmdDL_Click() {
    m_pacer.reset();
    if (demo) demo->cmdDoSingleDownLoad->click();
}

void frmDnLoad::CmdCancel_Click() {
    if (m_dialogs.message(this, QStringLiteral("取消下载？"), MsgIcon::Warning,
                          MsgButtons::OkCancel, true) == MsgResult::Ok &&
        demo)
        demo->cmdCancel->click();
}

void frmDnLoad::Timer1_Timer() {
    if (++m_ticks < kCancelTicks) return;
    Timer1->stop();
    CmdCancel->setEnabled(true);
}

void frmDnLoad::ShowDownLoad(const QString& FileList, QObject*, QObject*) {
    delete mydl;
    mydl = new TaksDL(this, m_engine, this);
    connect(mydl, &TaksDL::TakDLStart, this, &frmDnLoad::mydl_TakDLStart);
    connect(mydl, &TaksDL::TakDLDone, this, &frmDnLoad::mydl_TakDLDone);
    connect(mydl, &TaksDL::TakDLCrash, this, &frmDnLoad::mydl_TakDLCrash);
    connect(mydl, &TaksDL::TakDLCancelled, this, &frmDnLoad::mydl_TakDLCancelled);
    connect(mydl, &TaksDL::TakDLProg, this, &frmDnLoad::mydl_TakDLProg);
    QCoreApplication::processEvents();
    CmdDL->setEnabled(false);
    CmdCancel->setEnabled(true);

    const QStringList fields = FileList.split('|');
    const QString url = fields.value(0);
    QString path = fields.value(1);
    if (const qsizetype mark = path.lastIndexOf('?'); mark >= 0) path.truncate(mark);
    const QString cacheFlag = fields.value(2);
    setProgress(0);
    if (cacheFlag == "1") mydl->DeleteTakCache(url);
    m_transferring = true;
    mydl->StartTheStinkinDownLoad(url, path);
    m_transferring = false;
}

void frmDnLoad::closeEvent(QCloseEvent* event) {
    if (!m_transferring) {
        event->accept();
        return;
    }
    event->ignore();
    CmdCancel_Click();
}

void frmDnLoad::mydl_TakDLStart() {
    setStatusText(QStringLiteral("下载动作开始启动中..."));
}

void frmDnLoad::mydl_TakDLDone() {
    setStatusText(QStringLiteral("下载完毕！"));
    DownloadSupport::DownloadPercent = 100;
}

void frmDnLoad::mydl_TakDLCrash(qint32, const QString&, bool Cancelled) {
    if (Cancelled) setStatusText(QStringLiteral("成功取消下载！"));
}

void frmDnLoad::mydl_TakDLCancelled() {
    setStatusText(QStringLiteral("取消下载中.."));
}

void frmDnLoad::mydl_TakDLProg(qint64 TakBytesIn, qint64 TakTotalBytes) {
    m_pacer.report(TakBytesIn, TakTotalBytes);
}
