#include "update/DownloadSupport.h"

#include "platform/Text.h"

namespace DownloadSupport {

namespace {

DownloadWindowsFactory& windowsFactory() {
    static DownloadWindowsFactory factory;
    return factory;
}

}  // namespace

void setDownloadWindows(DownloadWindowsFactory factory) {
    windowsFactory() = std::move(factory);
}

bool DownloadWithProgress(const QString& url, const QString& path) {
    DownloadPercent = 0;
    DownloadUrl = url;
    DownloadSavePath = path;
    if (!windowsFactory()) return false;
    {
        std::unique_ptr<DownloadWindows> windows = windowsFactory()();
        if (!windows) return false;
        windows->showDownloadWindow();
        windows->pressDownload();
    }  // both windows unloaded here
    return DownloadPercent > 99;
}

ProgressPacer::ProgressPacer(std::function<void(float)> wait, std::function<void()> pump)
    : m_wait(std::move(wait)), m_pump(std::move(pump)) {}

void ProgressPacer::report(std::int64_t bytes, std::int64_t total) {
    if (bytes < 0 || bytes > total || total <= 0) return;
    const double percent = text::RoundHalfEven(
        text::RoundHalfEven(static_cast<double>(bytes) * 100 / static_cast<double>(total), 2));
    if (percent != 0) {
        m_counter = 0;
        m_pump();
        return;
    }
    if (m_counter >= 1000) {
        m_counter = 0;
        return;
    }
    ++m_counter;
    if (m_counter % 50 == 0) m_wait(0.2f);
    m_pump();
}

}  // namespace DownloadSupport
