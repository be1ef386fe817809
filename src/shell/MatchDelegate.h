#pragma once

#include <QStyledItemDelegate>

namespace shell {

// Paints a results row as the list always has, with the stretches of it that hold what found
// the row (platform::ListModel::marksIn) in the palette's highlight colours, the other way
// round on a selected row. Only the rows being painted are looked at. A row whose shown text
// breaks into several lines (it holds a lone LF) is painted without marks.
class MatchDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};

} // namespace shell
