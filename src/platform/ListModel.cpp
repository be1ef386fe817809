#include "ListModel.h"

#include "engine/Steps.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace platform {

namespace {

// Returns whether the views can take a list of this many rows. A stock Qt table keeps some
// bytes of its own per row (a header section of 8 bytes, in one block that grows by
// doubling; the program's own lists keep none), and
// Qt's views crash rather than fail when such an allocation fails, so the room is tried
// before they hear of new rows. The trial is never below 32 MiB, which the C library gives
// from and back to the system at once, untouched. Short lists need too little to be worth it.
bool viewsHaveRoomFor(int rows)
{
    if (rows < 65536)
        return true;
    const size_t bytes = size_t(rows) * 8 + (size_t(33) << 20);
    void *trial = std::malloc(bytes);
    if (!trial)
        return false;
    std::free(trial);
    return true;
}

} // namespace

ListModel::ListModel(QObject *parent) : QAbstractTableModel(parent)
{
}

void ListModel::setHeader(const QString &text)
{
    m_header = text;
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

int ListModel::count() const
{
    return m_rows.size();
}

int ListModel::append(const QString &text)
{
    flush();
    const int row = m_rows.size();
    // Stored first: a row that does not fit leaves the views untouched.
    if (!viewsHaveRoomFor(row + 1))
        throw std::bad_alloc();
    m_rows.append(QString(), text);
    beginInsertRows(QModelIndex(), row, row);
    m_shown = row + 1;
    endInsertRows();
    return row;
}

void ListModel::appendDeferred(const QString &text)
{
    m_rows.append(QString(), text);
}

void ListModel::startSection(std::shared_ptr<const MatchMarks> marks)
{
    m_rows.startSection(std::move(marks));
}

void ListModel::appendDeferred(const QString &prefix, QStringView text, const QString &path,
                               uint64_t line, const PackedMember &member)
{
    m_rows.append(prefix, text, path, line, member);
}

void ListModel::appendDeferredWindows1252(const QString &prefix, std::string_view bytes,
                                          const QString &path, uint64_t line,
                                          const PackedMember &member)
{
    m_rows.appendWindows1252(prefix, bytes, path, line, member);
}

void ListModel::adoptDeferredWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                                         std::span<const std::string_view> rows,
                                         const QString &path, std::span<const uint64_t> lines,
                                         const PackedMember &member)
{
    m_rows.adoptWindows1252(prefix, std::move(bytes), rows, path, lines, member);
}

void ListModel::dropDeferred()
{
    m_rows.truncate(m_shown);
    recountFiles();
}

void ListModel::flush()
{
    flushPending();
}

void ListModel::flushPending() const
{
    const int total = m_rows.size();
    if (m_shown == total)
        return;
    if (!viewsHaveRoomFor(total))
        throw std::bad_alloc();
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
    if (row < 0 || row >= m_rows.size())
        throw engine::Failure("Index out of bounds");
}

QString ListModel::text(int row) const
{
    check(row);
    return m_rows.text(row);
}

RowOrigin ListModel::origin(int row) const
{
    check(row);
    return m_rows.origin(row);
}

std::vector<TextSpan> ListModel::marksIn(int row, QStringView text) const
{
    if (row < 0 || row >= m_shown)
        return {};
    const MatchMarks *marks = m_rows.marks(row);
    const qsizetype prefix = m_rows.prefixSize(row);
    if (!marks || prefix >= text.size())
        return {};
    std::vector<TextSpan> spans = marks->find(text.mid(prefix));
    for (TextSpan &span : spans)
        span.start += prefix;
    return spans;
}

int ListModel::fileCount() const
{
    // Rows come in runs of one file: only the runs added since the last count are looked at.
    if (m_filesCounted < m_rows.size()) {
        m_rows.addPaths(m_filesCounted, m_files);
        m_filesCounted = m_rows.size();
    }
    return int(m_files.size());
}

void ListModel::recountFiles()
{
    m_files.clear();
    m_filesCounted = 0;
}

qsizetype ListModel::textSize(int row) const
{
    check(row);
    return m_rows.textSize(row);
}

void ListModel::setText(int row, const QString &text)
{
    check(row);
    m_rows.setText(row, text);
    recountFiles();
    const QModelIndex at = index(row, 0);
    emit dataChanged(at, at);
}

void ListModel::removeAt(int row)
{
    check(row);
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.remove({row});
    m_shown = m_rows.size();
    recountFiles();
    endRemoveRows();
}

void ListModel::removeRowsSorted(std::vector<int> rows)
{
    flushPending();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty())
        return;
    if (rows.front() < 0 || rows.back() >= m_rows.size())
        throw engine::Failure("Index out of bounds");
    size_t runs = 0;
    for (size_t i = 0; i < rows.size(); ++i)
        if (i == 0 || rows[i] != rows[i - 1] + 1)
            ++runs;
    // Each run of neighbouring rows costs the views a pass over every row after it (their
    // sections move up); past a few dozen runs, telling them of a new list is far cheaper
    // (2000 scattered rows of a million: 40 s run by run, a fraction of a second at once).
    if (runs > 32) {
        beginResetModel();
        m_rows.remove(rows);
        m_shown = m_rows.size();
        recountFiles();
        endResetModel();
        return;
    }
    // Remove runs of neighbouring rows from the bottom up, so earlier numbers stay valid.
    size_t end = rows.size();
    while (end > 0) {
        size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        beginRemoveRows(QModelIndex(), rows[begin], rows[end - 1]);
        m_rows.remove(std::vector<int>(rows.begin() + std::ptrdiff_t(begin),
                                       rows.begin() + std::ptrdiff_t(end)));
        m_shown = m_rows.size();
        recountFiles();
        endRemoveRows();
        end = begin;
    }
}

void ListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_shown = 0;
    recountFiles();
    endResetModel();
}

QStringList ListModel::texts() const
{
    flushPending();
    QStringList all;
    all.reserve(qsizetype(m_rows.size()));
    for (int r = 0; r < m_rows.size(); ++r)
        all.append(m_rows.text(r));
    return all;
}

int ListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int ListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant ListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown)
        return {};
    if (role == LineRole) {
        const uint64_t line = m_rows.origin(index.row()).line;
        return line > 0 ? QVariant(qulonglong(line)) : QVariant();
    }
    if (role != Qt::DisplayRole)
        return {};
    // Laying out a line of 65,536 characters takes the painter milliseconds per row; no
    // column is wide enough to show more than the start of it. The exports read the rows
    // themselves, never this.
    constexpr qsizetype shownAtMost = 2000;
    return m_rows.text(index.row(), shownAtMost);
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section != 0)
        return {};
    return m_header;
}

Qt::ItemFlags ListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace platform
