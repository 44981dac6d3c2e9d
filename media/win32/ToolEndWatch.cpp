// The ends of started programs: an event object that becomes signalled, watched by an event
// notifier.

#include "media/ToolEndWatch.h"

#include <QWinEventNotifier>

#include "platform/Platform.h"

namespace ToolEndWatch {

bool Available() {
    return platform::startedEndedEvent() != nullptr;
}

QObject* Make(QObject* parent, std::function<void()> ended) {
    void* event = platform::startedEndedEvent();
    if (!event) return nullptr;
    auto* notifier = new QWinEventNotifier(event, parent);
    // The event resets itself when the notifier's wait sees it; a reset here could swallow the
    // signal of a second end that came meanwhile.
    QObject::connect(notifier, &QWinEventNotifier::activated,
                     [ended = std::move(ended)] { ended(); });
    return notifier;
}

}  // namespace ToolEndWatch
