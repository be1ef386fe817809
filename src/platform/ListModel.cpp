#include "ListModel.h"

#include "engine/Steps.h"

#include <algorithm>

namespace platform {

ListModel::ListModel(QObject *parent) : QAbstractTableModel(parent)
{
}

int ListModel::addColumn(const QString &text, int widthTwips)
{
    const int column = int(m_headers.size());
    beginInsertColumns(QModelIndex(), column, column);
    m_headers.push_back({text, widthTwips});
    endInsertColumns();
    return column;
}

void ListModel::setColumnWidth(int column, int widthTwips)
{
    if (column < 0 || column >= int(m_headers.size()))
        throw engine::Failure("Index out of bounds");
    m_headers[size_t(column)].widthTwips = widthTwips;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int ListModel::count() const
{
    return int(m_rows.size());
}

int ListModel::append(const QString &text, bool checked)
{
    flush();
    const int row = int(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    m_rows.push_back({text, {}, checked});
    m_shown = row + 1;
    endInsertRows();
    return row;
}

void ListModel::appendDeferred(QString text, bool checked)
{
    m_rows.push_back({std::move(text), {}, checked});
}

void ListModel::flush()
{
    flushPending();
}

void ListModel::flushPending() const
{
    const int total = int(m_rows.size());
    if (m_shown == total)
        return;
    // The views must hear of the rows before anyone reads them; the model's content is
    // unchanged by that, so const readers may trigger it.
    auto *self = const_cast<ListModel *>(this);
    self->beginInsertRows(QModelIndex(), m_shown, total - 1);
    m_shown = total;
    self->endInsertRows();
}

void ListModel::check(int row) const
{
    flushPending();
    if (row < 0 || row >= int(m_rows.size()))
        throw engine::Failure("Index out of bounds");
}

QString ListModel::text(int row) const
{
    check(row);
    return m_rows[size_t(row)].text;
}

void ListModel::setText(int row, const QString &text)
{
    check(row);
    m_rows[size_t(row)].text = text;
    const QModelIndex at = index(row, 0);
    emit dataChanged(at, at);
}

QString ListModel::subItem(int row, int k) const
{
    check(row);
    const QStringList &items = m_rows[size_t(row)].subItems;
    return k >= 1 && k <= items.size() ? items.at(k - 1) : QString();
}

int ListModel::subItemCount(int row) const
{
    check(row);
    return int(m_rows[size_t(row)].subItems.size());
}

void ListModel::setSubItem(int row, int k, const QString &text)
{
    check(row);
    if (k < 1)
        throw engine::Failure("Index out of bounds");
    QStringList &items = m_rows[size_t(row)].subItems;
    while (items.size() < k)
        items.append(QString());
    items[k - 1] = text;
    emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
}

bool ListModel::checked(int row) const
{
    check(row);
    return m_rows[size_t(row)].checked;
}

void ListModel::setChecked(int row, bool checked)
{
    check(row);
    m_rows[size_t(row)].checked = checked;
}

void ListModel::removeAt(int row)
{
    check(row);
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    m_shown = int(m_rows.size());
    endRemoveRows();
}

void ListModel::removeRowsSorted(std::vector<int> rows)
{
    flushPending();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty())
        return;
    if (rows.front() < 0 || rows.back() >= int(m_rows.size()))
        throw engine::Failure("Index out of bounds");
    size_t runs = 0;
    for (size_t i = 0; i < rows.size(); ++i)
        if (i == 0 || rows[i] != rows[i - 1] + 1)
            ++runs;
    // Each run of neighbouring rows costs a pass over every row after it (the rows and the
    // views' sections move up); past a few dozen runs, building the list anew is far cheaper
    // (2000 scattered rows of a million: 40 s run by run, a fraction of a second rebuilt).
    if (runs > 32) {
        beginResetModel();
        std::deque<Row> kept;
        size_t next = 0;
        for (size_t r = 0; r < m_rows.size(); ++r) {
            if (next < rows.size() && size_t(rows[next]) == r)
                ++next;
            else
                kept.push_back(std::move(m_rows[r]));
        }
        m_rows.swap(kept);
        m_shown = int(m_rows.size());
        endResetModel();
        return;
    }
    // Remove runs of neighbouring rows from the bottom up, so earlier numbers stay valid.
    size_t end = rows.size();
    while (end > 0) {
        size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        const int first = rows[begin];
        const int last = rows[end - 1];
        beginRemoveRows(QModelIndex(), first, last);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        m_shown = int(m_rows.size());
        endRemoveRows();
        end = begin;
    }
}

void ListModel::clear()
{
    beginResetModel();
    std::deque<Row>().swap(m_rows);
    m_shown = 0;
    endResetModel();
}

QStringList ListModel::texts() const
{
    flushPending();
    QStringList all;
    all.reserve(qsizetype(m_rows.size()));
    for (const Row &row : m_rows)
        all.append(row.text);
    return all;
}

int ListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int ListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::max(1, int(m_headers.size()));
}

QVariant ListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return {};
    if (role != Qt::DisplayRole)
        return {};
    const Row &row = m_rows[size_t(index.row())];
    const QString text = index.column() == 0 ? row.text
                         : index.column() <= row.subItems.size()
                             ? row.subItems.at(index.column() - 1)
                             : QString();
    // Laying out a line of 65,536 characters takes the painter milliseconds per row; no
    // column is wide enough to show more than the start of it. The exports read the rows
    // themselves, never this.
    constexpr qsizetype shownAtMost = 2000;
    return text.size() > shownAtMost ? text.left(shownAtMost) : text;
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= int(m_headers.size()))
        return {};
    return m_headers[size_t(section)].text;
}

Qt::ItemFlags ListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace platform
