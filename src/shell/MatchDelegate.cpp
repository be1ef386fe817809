#include "MatchDelegate.h"

#include "platform/ListModel.h"

#include <QApplication>
#include <QPainter>
#include <QTextLayout>

namespace shell {

namespace {

// Lays text out on one line of the given width, as the style lays out an item's text.
void layOut(QTextLayout &layout, int width)
{
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, 0));
    }
    layout.endLayout();
}

QPalette::ColorGroup colourGroup(const QStyleOptionViewItem &option)
{
    if (!(option.state & QStyle::State_Enabled))
        return QPalette::Disabled;
    return option.state & QStyle::State_Active ? QPalette::Normal : QPalette::Inactive;
}

// Paints the marked stretches of an item's text over the item as the style drew it: the text
// is laid out where and as the style lays it out (cut with an ellipsis when too wide), and
// each stretch is painted anew in the highlight colours, clipped to its own place.
void drawMarks(QPainter *painter, const QStyleOptionViewItem &option, QRect textRect,
               const QString &text, const std::vector<platform::TextSpan> &marks)
{
    const QWidget *widget = option.widget;
    const QStyle *style = widget ? widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    textRect.adjust(margin, 0, -margin, 0);
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::ManualWrap);
    textOption.setTextDirection(option.direction);
    textOption.setAlignment(QStyle::visualAlignment(option.direction, option.displayAlignment));

    QTextLayout whole(text, option.font);
    whole.setTextOption(textOption);
    layOut(whole, textRect.width());
    const bool cut = whole.lineCount() > 0 && whole.lineAt(0).naturalTextWidth() > textRect.width();
    const QString shown =
        cut ? QFontMetrics(option.font).elidedText(text, option.textElideMode, textRect.width())
            : text;
    // What the ellipsis stands in for is not marked.
    const qsizetype kept = cut ? std::max<qsizetype>(0, shown.size() - 1) : shown.size();

    QTextLayout layout(shown, option.font);
    layout.setTextOption(textOption);
    layOut(layout, textRect.width());
    if (layout.lineCount() == 0)
        return;
    const QTextLine line = layout.lineAt(0);
    const QRect placed = QStyle::alignedRect(Qt::LayoutDirectionAuto, option.displayAlignment,
                                             layout.boundingRect().size().toSize(), textRect);
    const QPointF at(textRect.x(), placed.top());

    const QPalette::ColorGroup group = colourGroup(option);
    const bool selected = option.state & QStyle::State_Selected;
    const QColor highlight = option.palette.color(group, QPalette::Highlight);
    const QColor highlighted = option.palette.color(group, QPalette::HighlightedText);
    for (const platform::TextSpan &mark : marks) {
        const qsizetype end = std::min(mark.start + mark.length, kept);
        if (mark.start >= end)
            continue;
        const qreal left = line.cursorToX(int(mark.start));
        const qreal right = line.cursorToX(int(end));
        const QRectF place =
            QRectF(at.x() + std::min(left, right), at.y(), std::abs(right - left), line.height())
                .intersected(QRectF(option.rect));
        painter->save();
        painter->setClipRect(place);
        painter->fillRect(place, selected ? highlighted : highlight);
        painter->setPen(selected ? highlight : highlighted);
        layout.draw(painter, at);
        painter->restore();
    }
}

} // namespace

void MatchDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const auto *list = qobject_cast<const platform::ListModel *>(index.model());
    std::vector<platform::TextSpan> marks;
    if (list && !item.text.isEmpty() && !item.text.contains(QChar::LineSeparator))
        marks = list->marksIn(index.row(), item.text);
    // The style draws the row as it draws any; the marks go over it.
    QStyledItemDelegate::paint(painter, option, index);
    if (marks.empty())
        return;
    const QWidget *widget = item.widget;
    const QStyle *style = widget ? widget->style() : QApplication::style();
    drawMarks(painter, item, style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget),
              item.text, marks);
}

} // namespace shell
