#pragma once
// Draws a list entry with its TABs expanded to tab stops, as list boxes do, so that a counted
// folder entry ("MP4视频数：3" TAB folder) shows a gap between the count and the folder. Only
// the drawing changes: the entry's text stays as it is.

#include <QStyledItemDelegate>

class TabStopDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
