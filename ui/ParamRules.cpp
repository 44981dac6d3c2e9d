#include "ui/ParamRules.h"

#include <QStringList>
#include <limits>

#include "media/MediaReport.h"
#include "merge/MergeTexts.h"

namespace ParamRules {

namespace {

// A whole number of 32 bits written with digits only (after trimming blanks).
std::optional<qint64> wholeNumber(const QString& piece) {
    const QString t = piece.trimmed();
    if (t.isEmpty() || t.size() > 10) return std::nullopt;
    for (QChar c : t)
        if (c < u'0' || c > u'9') return std::nullopt;
    const qint64 v = t.toLongLong();
    if (v > std::numeric_limits<qint32>::max()) return std::nullopt;
    return v;
}

}  // namespace

std::optional<QString> NormalizedSize(const QString& text) {
    const QStringList pieces = text.split(QChar(kTimes));
    if (pieces.size() < 2) return std::nullopt;
    auto w = wholeNumber(pieces[0]);
    auto h = wholeNumber(pieces[1]);
    if (!w || !h || *h == 0) return std::nullopt;
    if (*w % 2 != 0) ++*w;
    if (*h % 2 != 0) ++*h;
    if (*w > std::numeric_limits<qint32>::max() || *h > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return QString::number(*w) + QChar(kTimes) + QString::number(*h);
}

QString ClampedLength(const QString& text) {
    double v = MediaReport::LeadingNumber(text.toStdString());
    if (v != 0) {
        if (v < 5) v = 5;
        if (v > 60) v = 60;
    }
    return QString::fromStdString(MergeTexts::PlainNumber(v));
}

bool IsSizeChar(QChar c) {
    return IsDigitChar(c) || c == QChar(kTimes);
}

bool IsDigitChar(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool IsUsablePathText(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
        if (c == u'|' || c == u'<' || c == u'>' || c == u'"' || c == u'*' || c == u'?')
            return false;
    }
    return true;
}

}  // namespace ParamRules
