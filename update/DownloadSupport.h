#pragma once
// Module DownloadSupport: the one call through which the updater downloads a large file with the
// progress window, the values it shares with the download windows, and the progress pacing of
// the window. Qt Core only: the windows themselves are registered by the window layer.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace DownloadSupport {

// Shared values of the one download at a time.
inline QString DownloadUrl;
inline QString DownloadSavePath;
// 0 while a download runs; 100 once the engine reported completion.
inline double DownloadPercent = 0;
// Caption of the download window; the caller sets it before the download.
inline QString DownloadCaption;

// The download window (frmDnLoad) and its driver window (frmDemo) as DownloadWithProgress uses
// them. Destroying the object unloads both windows.
class DownloadWindows {
public:
    virtual ~DownloadWindows() = default;
    // Shows the download window without blocking, captioned DownloadCaption, on top of all others.
    virtual void showDownloadWindow() = 0;
    // Presses CmdDL: runs the whole download of DownloadUrl into DownloadSavePath and returns
    // when it has ended.
    virtual void pressDownload() = 0;
};
using DownloadWindowsFactory = std::function<std::unique_ptr<DownloadWindows>()>;
void setDownloadWindows(DownloadWindowsFactory factory);

// Downloads url into path in the progress window. True when the engine reported completion
// (DownloadPercent greater than 99); false for any failure, and without windows.
bool DownloadWithProgress(const QString& url, const QString& path);

// The pacing of progress reports while the percentage is still 0: every fiftieth such report
// waits 0.2 seconds, the counter restarts once it has reached 1000, and other reports pump
// window events.
class ProgressPacer {
public:
    ProgressPacer(std::function<void(float seconds)> wait, std::function<void()> pump);
    void reset() { m_counter = 0; }
    // One TakDLProg report of bytes so far of total.
    void report(std::int64_t bytes, std::int64_t total);
    int counter() const { return m_counter; }

private:
    std::function<void(float)> m_wait;
    std::function<void()> m_pump;
    std::int16_t m_counter = 0;
};

}  // namespace DownloadSupport
