// The ends of started programs: a descriptor that becomes readable, watched by a socket notifier.

#include "media/ToolEndWatch.h"

#include <QSocketNotifier>

#include "platform/Platform.h"

namespace ToolEndWatch {

bool Available() {
    return platform::startedEndedDescriptor() >= 0;
}

QObject* Make(QObject* parent, std::function<void()> ended) {
    const int fd = platform::startedEndedDescriptor();
    if (fd < 0) return nullptr;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, [ended = std::move(ended)] {
        platform::drainStartedEnded();
        ended();
    });
    return notifier;
}

}  // namespace ToolEndWatch
