#include "ReportView.h"

#include "shell/Look.h"

#include <QHelpEvent>
#include <QToolTip>
#include <algorithm>

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

} // namespace

ReportView::ReportView(QWidget *parent) : QTableView(parent)
{
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setTextElideMode(Qt::ElideRight);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
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
