#include "media/General.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "media/MediaInfoDLL.h"
#include "media/MediaReport.h"
#include "media/ToolEndWatch.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace General {

namespace {

// One library handle for one probe: created with the file opened, closed and deleted when the
// probe ends, on every path. One opening serves any number of reports.
class Probe {
public:
    explicit Probe(const std::string& path) {
        m_handle = MediaInfoDLL::MediaInfo_New();
        if (!m_handle) return;
        const std::wstring widePath = MediaInfoDLL::WideFromUtf8(path);
        MediaInfoDLL::MediaInfo_Open(m_handle, widePath.c_str());
    }
    ~Probe() {
        if (!m_handle) return;
        MediaInfoDLL::MediaInfo_Close(m_handle);
        MediaInfoDLL::MediaInfo_Delete(m_handle);
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    // The report in the given "Complete" form, copied out of the library's memory; nullopt
    // without a library.
    std::optional<std::string> report(const wchar_t* completeValue) const {
        if (!m_handle) return std::nullopt;
        MediaInfoDLL::MediaInfo_Option(m_handle, L"Complete", completeValue);
        const std::wstring text =
            MediaInfoDLL::StringFromWidePtr(MediaInfoDLL::MediaInfo_Inform(m_handle, 0));
        return MediaInfoDLL::Utf8FromWide(text);
    }

private:
    void* m_handle = nullptr;
};

std::optional<double> durationOf(const Probe& probe) {
    const auto report = probe.report(L"1");
    if (!report) return std::nullopt;
    return MediaReport::DurationFromCompleteReport(*report);
}

bool videoInfoOf(const Probe& probe, std::string& width, std::string& height,
                 int* rotation = nullptr) {
    const auto report = probe.report(L"");
    if (!report) return false;
    if (rotation) *rotation = MediaReport::RotationFromReport(*report);
    return MediaReport::VideoSizeFromReport(*report, width, height);
}

}  // namespace

std::optional<double> ReadDuration(const std::string& path) {
    return durationOf(Probe(path));
}

bool ReadVideoInfo(const std::string& path, std::string& width, std::string& height) {
    return videoInfoOf(Probe(path), width, height);
}

ClipFacts ReadClipFacts(const std::string& path) {
    const Probe probe(path);
    ClipFacts facts;
    facts.duration = durationOf(probe);
    facts.sized = videoInfoOf(probe, facts.width, facts.height, &facts.rotation);
    return facts;
}

bool CountToolProcesses(const std::string& exeName) {
    const std::string wanted = text::upperAscii(exeName);
    if (wanted.empty()) return false;
    // The task list shows 32-bit programs as "NAME *32"; that form is accepted too.
    const auto matches = [&wanted](std::string_view name) {
        if (name.empty()) return false;
        if (text::equalsNoCase(name, wanted)) return true;
        constexpr std::string_view mark = " *32";
        return wanted.size() == name.size() + mark.size() &&
               std::string_view(wanted).ends_with(mark) &&
               text::equalsNoCase(name, std::string_view(wanted).substr(0, name.size()));
    };
    // While the process that matched last time still bears the name, the answer is known
    // without reading the whole process list: a poll during a long transcode costs one lookup.
    static std::mutex mutex;
    static std::unordered_map<std::string, int> lastMatch;
    std::lock_guard<std::mutex> lock(mutex);
    if (const auto it = lastMatch.find(wanted); it != lastMatch.end()) {
        if (matches(platform::processName(it->second))) return true;
        lastMatch.erase(it);
    }
    const int pid = platform::findProcess(matches);
    if (pid > 0) lastMatch[wanted] = pid;
    return pid > 0;
}

void PumpEvents() {
    PumpEvents(10);
}

namespace {
unsigned& wakes() {
    static unsigned count = 0;
    return count;
}
// The pumps that wait now, innermost last.
std::vector<QEventLoop*>& activeLoops() {
    static std::vector<QEventLoop*> loops;
    return loops;
}
}  // namespace

void PumpEvents(int maxWaitMs) {
    const int kWaitMs = std::max(0, maxWaitMs);
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitMs));
        return;
    }
    // A wake while pending events are handled (the end of a started program among them) ends
    // this pump without waiting: its caller looks again at once.
    const unsigned wakesBefore = wakes();
    QCoreApplication::processEvents();
    if (kWaitMs == 0) return;
    QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
    if (!dispatcher) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitMs));
        return;
    }
    // The end of a program this process started ends the wait at once: the callers then look at
    // the process list without waiting out their pause.
    static QObject* ended = ToolEndWatch::Make(app, [] { WakePumps(); });
    (void)ended;
    // One timer per nesting depth, made once: a pump is called ten times a second and more, and
    // an event handled inside it may pump again.
    static std::vector<std::unique_ptr<QTimer>> timers;
    static size_t depth = 0;
    if (timers.size() <= depth) {
        auto timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        timers.push_back(std::move(timer));
    }
    QTimer& timer = *timers[depth];
    struct Depth {
        size_t& d;
        explicit Depth(size_t& d) : d(d) { ++d; }
        ~Depth() { --d; }
    } nested(depth);
    // Events are handled as they arrive until the time is up; the timer's own event ends it. The
    // wait is a loop of its own rather than the dispatcher asked to wait for more events: on
    // Windows a program without windows gets no timer event that way, and would wait for ever.
    QEventLoop loop;
    const auto connection = QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    activeLoops().push_back(&loop);
    timer.start(kWaitMs);
    if (wakes() == wakesBefore) loop.exec();
    activeLoops().pop_back();
    timer.stop();
    QObject::disconnect(connection);
}

bool PumpsWokenByToolEnds() {
    return ToolEndWatch::Available();
}

void WakePumps() {
    ++wakes();
    for (QEventLoop* loop : activeLoops()) loop->quit();
}

void WaitSeconds(float seconds, const std::function<double()>& clock,
                 const std::function<void()>& pump) {
    const double start = text::RoundHalfEven(clock(), 0);
    while (true) {
        const float elapsed = static_cast<float>(clock() - start);
        if (elapsed > seconds) return;
        pump();
        // The clock went back past the start: midnight passed, or the rounding put the start
        // ahead of the clock.
        if (clock() < start) return;
    }
}

void WaitSeconds(float seconds) {
    WaitSeconds(seconds, platform::secondsSinceMidnight, [] { PumpEvents(); });
}

}  // namespace General
