#include "ReportView.h"

#include "shell/LineNumberGutter.h"
#include "shell/Look.h"

#include <QAbstractButton>
#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <limits>

namespace shell {

namespace {

// The designed gap between a list's column edge and the list's right edge (7000 of 7800).
constexpr int kRightGap = px(800);
// A tool tip wider than a screen helps nobody; one-line rows can hold a whole piece.
constexpr int kLongestTip = 2000;

// Characters on one line of a tool tip, about two thirds of a usual screen.
constexpr int kTipLineLength = 100;

// Shows a row as written: spaces and tabs kept, markup never interpreted, and broken into
// lines of at most kTipLineLength characters, at a space where there is one.
QString toolTipFor(const QString &text)
{
    QStringList lines;
    qsizetype from = 0;
    while (text.size() - from > kTipLineLength) {
        qsizetype cut = text.lastIndexOf(QLatin1Char(' '), from + kTipLineLength);
        cut = cut > from ? cut + 1 : from + kTipLineLength;
        lines << text.mid(from, cut - from).toHtmlEscaped();
        from = cut;
    }
    lines << text.mid(from).toHtmlEscaped();
    return QStringLiteral("<p style=\"white-space:pre\">") + lines.join(QStringLiteral("<br>")) +
           QStringLiteral("</p>");
}

// A row header that never hears of the rows or their selection. The table places its rows
// itself; a header in step with the model would keep a record for every row.
class RowlessHeader : public QHeaderView {
public:
    explicit RowlessHeader(QWidget *parent) : QHeaderView(Qt::Vertical, parent) {}
    void setModel(QAbstractItemModel *) override {}
    void setSelectionModel(QItemSelectionModel *) override {}
};

} // namespace

ReportView::ReportView(QWidget *parent)
    : QTableView(parent), m_rowHeight(fontMetrics().height() + 4)
{
    setVerticalHeader(new RowlessHeader(this));
    verticalHeader()->hide();
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // The corner button sits where the two headers meet; the table would hide it as it
    // placed the row header, which this list leaves unplaced.
    for (auto *corner : findChildren<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly))
        corner->hide();
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setTextElideMode(Qt::ElideRight);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int logical, int, int newSize) {
                if (!m_fitting && logical == horizontalHeader()->count() - 1)
                    m_chosenWidth = newSize;
            });
}

void ReportView::setModel(QAbstractItemModel *model)
{
    if (model == this->model())
        return;
    // Every link from the old model goes; the table links itself to the new one.
    if (this->model())
        disconnect(this->model(), nullptr, this, nullptr);
    QTableView::setModel(model);
    if (!model)
        return;
    // The row header would have told the table of rows that go or all change; rows that
    // come are handled in rowsInserted.
    const auto changed = [this] { relayout(); };
    connect(model, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(model, &QAbstractItemModel::modelReset, this, changed);
    connect(model, &QAbstractItemModel::layoutChanged, this, changed);
    relayout();
}

int ReportView::rowCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int ReportView::rowAtHeight(int y) const
{
    const qint64 row = verticalScrollBar()->value() +
                       (y >= 0 ? y / m_rowHeight : (qint64(y) - m_rowHeight + 1) / m_rowHeight);
    return int(std::clamp<qint64>(row, -1, std::numeric_limits<int>::max()));
}

int ReportView::wholeRowsShown() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

QRect ReportView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex() ||
        horizontalHeader()->isSectionHidden(index.column()))
        return {};
    // Rows far outside the viewport are kept at a distance that cannot overflow.
    constexpr qint64 kFar = qint64(1) << 28;
    const qint64 top = (qint64(index.row()) - verticalScrollBar()->value()) * m_rowHeight;
    return QRect(horizontalHeader()->sectionViewportPosition(index.column()),
                 int(std::clamp(top, -kFar, kFar)), horizontalHeader()->sectionSize(index.column()),
                 m_rowHeight);
}

QModelIndex ReportView::indexAt(const QPoint &point) const
{
    const int row = rowAtHeight(point.y());
    const int column = horizontalHeader()->logicalIndexAt(point.x());
    if (row < 0 || row >= rowCount() || column < 0)
        return {};
    return model()->index(row, column, rootIndex());
}

void ReportView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex())
        return;
    QScrollBar *rows = verticalScrollBar();
    const int row = index.row();
    const int shown = wholeRowsShown();
    switch (hint) {
    case PositionAtTop:
        rows->setValue(row);
        break;
    case PositionAtBottom:
        rows->setValue(row - shown + 1);
        break;
    case PositionAtCenter:
        rows->setValue(row - (shown - 1) / 2);
        break;
    case EnsureVisible:
        if (row < rows->value())
            rows->setValue(row);
        else if (row >= rows->value() + shown)
            rows->setValue(row - shown + 1);
        break;
    }
    // Sideways a cell wider than the list shows its start, as any cell cut at the left does.
    QScrollBar *across = horizontalScrollBar();
    const int left = horizontalHeader()->sectionPosition(index.column());
    const int width = horizontalHeader()->sectionSize(index.column());
    const int room = viewport()->width();
    if (hint == PositionAtCenter)
        across->setValue(left + width / 2 - room / 2);
    else if (left < across->value() || width > room)
        across->setValue(left);
    else if (left + width > across->value() + room)
        across->setValue(left + width - room);
}

QModelIndex ReportView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int rows = rowCount();
    if (rows == 0 || horizontalHeader()->count() == 0)
        return {};
    const QModelIndex current = currentIndex();
    const int column = current.isValid() ? current.column() : horizontalHeader()->logicalIndex(0);
    int row = current.isValid() ? current.row() : 0;
    if (current.isValid()) {
        switch (cursorAction) {
        case MoveUp:
        case MovePrevious:
            --row;
            break;
        case MoveDown:
        case MoveNext:
            ++row;
            break;
        case MovePageUp:
            row -= wholeRowsShown();
            break;
        case MovePageDown:
            row += wholeRowsShown();
            break;
        case MoveHome:
            row = 0;
            break;
        case MoveEnd:
            row = rows - 1;
            break;
        case MoveLeft:
        case MoveRight:
            break;
        }
    }
    return model()->index(std::clamp(row, 0, rows - 1), column, rootIndex());
}

int ReportView::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int ReportView::verticalOffset() const
{
    return int(std::min<qint64>(qint64(verticalScrollBar()->value()) * m_rowHeight,
                                std::numeric_limits<int>::max()));
}

bool ReportView::isIndexHidden(const QModelIndex &index) const
{
    return horizontalHeader()->isSectionHidden(index.column());
}

void ReportView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    const QRect area = rect.normalized();
    const QModelIndex topLeft = indexAt(area.topLeft());
    const QModelIndex bottomRight = indexAt(area.bottomRight());
    if (!selectionModel() || !topLeft.isValid() || !bottomRight.isValid())
        return;
    selectionModel()->select(QItemSelection(topLeft, bottomRight), command);
}

QRegion ReportView::visualRegionForSelection(const QItemSelection &selection) const
{
    // Only the rows in sight matter; a selection may hold millions.
    const int firstShown = verticalScrollBar()->value();
    const int lastShown = firstShown + wholeRowsShown();
    QRegion region;
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid() || range.parent() != rootIndex())
            continue;
        const int top = std::max(range.top(), firstShown);
        const int bottom = std::min(range.bottom(), lastShown);
        if (top > bottom)
            continue;
        const QRect first = visualRect(model()->index(top, range.left(), rootIndex()));
        const QRect last = visualRect(model()->index(bottom, range.right(), rootIndex()));
        region += first.united(last);
    }
    return region;
}

void ReportView::updateGeometries()
{
    if (m_placing)
        return;
    m_placing = true;
    const int headerHeight =
        horizontalHeader()->isHidden()
            ? 0
            : std::clamp(horizontalHeader()->sizeHint().height(),
                         horizontalHeader()->minimumHeight(), horizontalHeader()->maximumHeight());
    setViewportMargins(m_gutter ? m_gutter->columnWidth() : 0, headerHeight, 0, 0);
    const QRect place = viewport()->geometry();
    horizontalHeader()->setGeometry(place.left(), place.top() - headerHeight, place.width(),
                                    headerHeight);
    if (m_gutter)
        m_gutter->place();
    if (horizontalHeader()->isHidden())
        QMetaObject::invokeMethod(horizontalHeader(), "updateGeometries");

    const int shown = viewport()->height() / m_rowHeight;
    QScrollBar *rows = verticalScrollBar();
    rows->setSingleStep(1);
    rows->setPageStep(std::max(1, shown));
    rows->setRange(0, std::max(0, rowCount() - shown));

    const int room = viewport()->width();
    QScrollBar *across = horizontalScrollBar();
    across->setSingleStep(std::max(room / 2, 2));
    across->setPageStep(room);
    across->setRange(0, std::max(0, horizontalHeader()->length() - room));
    horizontalHeader()->setOffset(across->value());
    m_placing = false;
    // Past the table's own placing, which works from the row header.
    QAbstractItemView::updateGeometries();
}

void ReportView::scrollContentsBy(int dx, int dy)
{
    horizontalHeader()->setOffset(horizontalScrollBar()->value());
    // Past the table's own scrolling, which moves the row header; the rows are painted anew.
    QAbstractItemView::scrollContentsBy(dx, dy);
    if (m_gutter && dy != 0)
        m_gutter->update();
}

void ReportView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QTableView::rowsInserted(parent, start, end);
    if (parent != rootIndex())
        return;
    updateGeometries();
    if (start <= verticalScrollBar()->value() + wholeRowsShown()) {
        viewport()->update();
        if (m_gutter)
            m_gutter->update();
    }
}

void ReportView::relayout()
{
    updateGeometries();
    viewport()->update();
    if (m_gutter)
        m_gutter->update();
}

void ReportView::setLineNumbersShown(bool shown)
{
    if (shown && !m_gutter) {
        m_gutter = new LineNumberGutter(*this);
        m_gutter->show();
    } else if (!shown && m_gutter) {
        delete m_gutter;
        m_gutter = nullptr;
    }
    relayout();
}

void ReportView::paintEvent(QPaintEvent *event)
{
    const int rows = rowCount();
    const int columns = horizontalHeader()->count();
    if (rows == 0 || columns == 0)
        return;
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int first = std::max(0, rowAtHeight(area.top()));
    const int last = std::min(rows - 1, rowAtHeight(area.bottom()));
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State state = option.state;
    const QModelIndex current = currentIndex();
    const bool focused = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    for (int row = first; row <= last; ++row) {
        for (int visual = 0; visual < columns; ++visual) {
            const int column = horizontalHeader()->logicalIndex(visual);
            const QModelIndex index = model()->index(row, column, rootIndex());
            option.rect = visualRect(index);
            if (!option.rect.intersects(area))
                continue;
            option.state = state;
            if (selectionModel() && selectionModel()->isSelected(index))
                option.state |= QStyle::State_Selected;
            if (state & QStyle::State_Enabled) {
                const bool enabled = model()->flags(index) & Qt::ItemIsEnabled;
                if (!enabled)
                    option.state &= ~QStyle::State_Enabled;
                option.palette.setCurrentColorGroup(enabled ? QPalette::Normal
                                                            : QPalette::Disabled);
            }
            if (focused && index == current)
                option.state |= QStyle::State_HasFocus;
            style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &option, &painter, this);
            itemDelegateForIndex(index)->paint(&painter, option, index);
        }
    }
}

bool ReportView::isCut(const QModelIndex &index) const
{
    const QRect cell = visualRect(index);
    if (!index.isValid() || cell.isEmpty())
        return false;
    const QString text = index.data(Qt::DisplayRole).toString();
    // The delegate keeps this margin on either side of the text.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int needed = fontMetrics().horizontalAdvance(text) + 2 * margin;
    const int shownLeft = std::max(cell.left(), 0);
    const int shownRight = std::min(cell.right() + 1, viewport()->width());
    return cell.left() < 0 || needed > shownRight - shownLeft;
}

bool ReportView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        if (isCut(index)) {
            QString text = index.data(Qt::DisplayRole).toString();
            if (text.size() > kLongestTip)
                text = text.left(kLongestTip) + QChar(0x2026);
            QToolTip::showText(help->globalPos(), toolTipFor(text), viewport(), visualRect(index));
            return true;
        }
    }
    return QTableView::viewportEvent(event);
}

void ReportView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    fitLastColumn();
}

void ReportView::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    // A skin may give the list another font; the rows follow it.
    if (event->type() == QEvent::FontChange) {
        m_rowHeight = fontMetrics().height() + 4;
        relayout();
    }
}

void ReportView::fitLastColumn()
{
    const int last = horizontalHeader()->count() - 1;
    if (last < 0 || m_chosenWidth <= 0)
        return;
    // The column keeps its designed distance to the list's right edge as the list grows.
    const int width = std::max(m_chosenWidth, viewport()->width() - kRightGap);
    if (horizontalHeader()->sectionSize(last) == width)
        return;
    m_fitting = true;
    horizontalHeader()->resizeSection(last, width);
    m_fitting = false;
}

} // namespace shell
