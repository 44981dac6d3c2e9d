#include "ui/ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics fm(font());
    const int frame = 2 * frameWidth();
    const int full = fm.horizontalAdvance(text()) + 2 * margin() + 4;
    return QSize(qMin(full, fm.averageCharWidth() * 40) + frame,
                 fm.height() + 2 * margin() + frame);
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics fm(font());
    const int frame = 2 * frameWidth();
    return QSize(fm.averageCharWidth() * 6 + frame, fm.height() + 2 * margin() + frame);
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    drawFrame(&p);
    const QRect r = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, r.width());
    m_elided = shown != text();
    style()->drawItemText(&p, r, int(alignment()) | Qt::TextSingleLine, palette(), isEnabled(),
                          shown, foregroundRole());
}

bool ElidedLabel::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        auto* help = static_cast<QHelpEvent*>(e);
        if (m_elided)
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(e);
}
