#include "LineNumberGutter.h"

#include "platform/ListModel.h"
#include "shell/Look.h"
#include "shell/ReportView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace shell {

namespace {

// Space between the numbers and the column's edges.
constexpr int kPadding = px(90);

int digitsOf(uint64_t number)
{
    int digits = 1;
    for (; number >= 10; number /= 10)
        ++digits;
    return digits;
}

} // namespace

LineNumberGutter::LineNumberGutter(ReportView &view) : QWidget(&view), m_view(view)
{
    setObjectName(QStringLiteral("LineNumbers"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int LineNumberGutter::columnWidth() const
{
    return fontMetrics().horizontalAdvance(QLatin1Char('9')) * m_digits + 2 * kPadding + 1;
}

void LineNumberGutter::place()
{
    const QRect rows = m_view.viewport()->geometry();
    setGeometry(rows.left() - columnWidth(), rows.top(), columnWidth(), rows.height());
}

void LineNumberGutter::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(width() - 1, 0, width() - 1, height());
    const QAbstractItemModel *list = m_view.model();
    const int rows = list ? list->rowCount() : 0;
    if (rows == 0) {
        m_digits = 3;
        return;
    }
    const int height = m_view.rowHeight();
    const int first = m_view.verticalScrollBar()->value();
    const int last = std::min(rows - 1, first + this->height() / height);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    int digits = m_digits;
    for (int row = first; row <= last; ++row) {
        const QVariant number = list->index(row, 0).data(platform::ListModel::LineRole);
        if (!number.isValid())
            continue;
        const auto line = number.toULongLong();
        digits = std::max(digits, digitsOf(line));
        const QRect place(kPadding, (row - first) * height, width() - 2 * kPadding - 1, height);
        painter.drawText(place, Qt::AlignRight | Qt::AlignVCenter, QString::number(line));
    }
    if (digits > m_digits) {
        // The column widens at the next pass, when the rows have their room again.
        m_digits = digits;
        QMetaObject::invokeMethod(
            &m_view, [view = &m_view] { view->setLineNumbersShown(true); }, Qt::QueuedConnection);
    }
}

} // namespace shell
