#pragma once
// TaksDL, the download engine behind the download window: one synchronous transfer at a time,
// reported through its events, with the progress texts written straight into the window, a
// connect time-out and an abort. Qt Core only; the window is reached through DownloadView.
//
// Completion: the transfer layer ends a binding with urlcode::kCompleted (1) exactly when the
// file arrived complete (HTTP 2xx and the announced length, when one was announced, received);
// that code raises TakDLDone. Every other code, 0 included, raises TakDLCrash.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "update/UrlDownload.h"

// What the engine writes into and asks of the download window.
class DownloadView {
public:
    virtual ~DownloadView() = default;
    // The status label Label1.
    virtual void setStatusText(const QString& text) = 0;
    // The progress bar ProgressBar1, from 0 to 1.
    virtual void setProgress(double fraction) = 0;
    // Asked on the connect time-out; aborts the transfer through KillTak.
    virtual void EchoCancelRequest() = 0;
};

struct EngineOptions {
    // Bounds of the transfer itself (the large downloads: 300 s to connect, 300 s without data).
    TransferLimits limits;
    // A connect phase that reports no size for longer than this after its first such report is
    // aborted through the window's EchoCancelRequest.
    long connectSeconds = 300;
    // Seconds on a steady scale (default: the system clock); only differences are used.
    std::function<double()> clock;
    // Pumps pending window events (default: QCoreApplication::processEvents).
    std::function<void()> pump;
};

class TaksDL : public QObject, public BindStatusCallback {
    Q_OBJECT
public:
    explicit TaksDL(DownloadView* view, EngineOptions options = {}, QObject* parent = nullptr);

    // Runs the transfer of File2DownLoad into File2Save and returns when it has ended (all events
    // raised): true when the download call returned 0. No value, and nothing started, while a
    // binding is held.
    std::optional<bool> StartTheStinkinDownLoad(const QString& File2DownLoad,
                                                const QString& File2Save);
    // Aborts the held binding and drops it; raises TakDLCancelled in every case.
    void KillTak();
    // There is no URL cache here: sets the label and reports 0 (nothing removed).
    int DeleteTakCache(const QString& url);

    // The temporary file of the transfer in progress (kept after KillTak until the transfer has
    // ended); empty otherwise.
    QString partialFile() const { return m_partialFile; }
    bool bound() const { return m_binding != nullptr; }

    // The message text for a binding result code.
    static QString BindErrorText(std::int32_t code);

    // Binding-status callback.
    void OnStartBinding(Binding& binding) override;
    void OnProgress(std::int64_t bytes, std::int64_t total) override;
    void OnStopBinding(std::int32_t code) override;

signals:
    void TakDLStart();
    void TakDLDone();
    void TakDLCrash(qint32 TakErrNum, const QString& TakErrDescr, bool Cancelled);
    void TakDLCancelled();
    // 64-bit counts: a package above 2 GiB must not wrap into negative numbers.
    void TakDLProg(qint64 TakBytesIn, qint64 TakTotalBytes);

private:
    void setLabel(const QString& text);

    DownloadView* m_view;
    EngineOptions m_options;
    Binding* m_binding = nullptr;
    QString m_partialFile;
    // Time base of the connect time-out: unset until the first report without a size.
    std::optional<double> TimeOutCur;
};

// The texts the engine writes (byte counts shown in kb, shortest form, halves to even).
QString connectingText(std::int64_t total);
QString progressText(std::int64_t bytes, std::int64_t total);
// The bar value for bytes of total, rounded to 4 decimals.
double progressFraction(std::int64_t bytes, std::int64_t total);
