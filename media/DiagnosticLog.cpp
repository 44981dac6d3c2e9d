#include "media/DiagnosticLog.h"

#include <QLoggingCategory>

#include "platform/Diagnostics.h"

namespace {

// Debug messages are off unless the logging rules switch them on.
Q_LOGGING_CATEGORY(mergeLog, "stitchwell.merge", QtInfoMsg)
Q_LOGGING_CATEGORY(toolsLog, "stitchwell.tools", QtInfoMsg)
Q_LOGGING_CATEGORY(filesLog, "stitchwell.files", QtInfoMsg)
Q_LOGGING_CATEGORY(mediaLog, "stitchwell.media", QtInfoMsg)
Q_LOGGING_CATEGORY(updateLog, "stitchwell.update", QtInfoMsg)

const QLoggingCategory& categoryOf(diag::Area area) {
    switch (area) {
        case diag::Area::Merge:
            return mergeLog();
        case diag::Area::Tools:
            return toolsLog();
        case diag::Area::Files:
            return filesLog();
        case diag::Area::Media:
            return mediaLog();
        case diag::Area::Update:
            break;
    }
    return updateLog();
}

void write(diag::Area area, const std::string& message) {
    qCDebug(categoryOf(area)).noquote() << QString::fromStdString(message);
}

}  // namespace

namespace DiagnosticLog {

void install() {
    diag::setSink(write);
}

}  // namespace DiagnosticLog
