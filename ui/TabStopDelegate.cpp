#include "ui/TabStopDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStringList>
#include <algorithm>

namespace {

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;

// The distance of the tab stops: eight average characters, as list boxes set them.
int tabStop(const QFontMetrics& metrics) {
    return std::max(1, 8 * metrics.averageCharWidth());
}

}  // namespace

void TabStopDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    if (!opt.text.contains('\t')) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
    const QString text = opt.text;
    opt.text.clear();  // the background, the selection and the focus as the style draws them
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(
        opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
        opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    // each piece starts at the next tab stop; the last one is elided as the view elides
    const QFontMetrics metrics(opt.font);
    const QRect inner = area.adjusted(margin, 0, -margin, 0);
    const QStringList pieces = text.split('\t');
    int x = 0;
    for (qsizetype i = 0; i < pieces.size() && x < inner.width(); ++i) {
        if (i > 0) x = (x / tabStop(metrics) + 1) * tabStop(metrics);
        const int room = inner.width() - x;
        const QString shown = metrics.elidedText(pieces[i], opt.textElideMode, room);
        painter->drawText(QRect(inner.left() + x, inner.top(), room, inner.height()), kTextFlags,
                          shown);
        x += metrics.horizontalAdvance(shown);
    }
    painter->restore();
}

QSize TabStopDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.contains('\t')) {
        const QFontMetrics metrics(option.font);
        size.setWidth(size.width() + (text.count('\t')) * tabStop(metrics));
    }
    return size;
}
