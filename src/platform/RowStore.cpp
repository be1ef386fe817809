#include "RowStore.h"

#include "RowSegment.h"
#include "engine/CodePage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

namespace platform {

namespace {

constexpr uint32_t kOffsetMask = RowSegment::kOffsetMask;
// A segment grows to 4 MiB and then a new one starts, so no append ever copies more than
// one segment, and a removal moves rows inside their own segment only.
constexpr size_t kSegmentBytes = size_t(4) << 20;
constexpr size_t kFirstSegmentBytes = 4096;
constexpr size_t kSegmentRows = size_t(1) << 16;

bool oneByteEach(QStringView text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80 && (u < 0xA0 || u > 0xFF) && engine::fromUnicode(u) < 0)
            return false;
    }
    return true;
}

} // namespace

RowStore::RowStore() = default;

RowStore::~RowStore() = default;

RowStore::Place RowStore::place(int row) const
{
    const auto holds = [&](size_t s) {
        const RowSegment &segment = *m_segments[s];
        return row >= segment.firstRow && row < segment.firstRow + segment.rows();
    };
    if (m_lastSegment < m_segments.size() && holds(m_lastSegment)) {
    } else if (m_lastSegment + 1 < m_segments.size() && holds(m_lastSegment + 1)) {
        ++m_lastSegment;
    } else {
        // Empty segments never stay between others, so the last one starting at or before the
        // row holds it.
        const auto after = std::upper_bound(
            m_segments.begin(), m_segments.end(), row,
            [](int r, const std::unique_ptr<RowSegment> &s) { return r < s->firstRow; });
        m_lastSegment = size_t(std::prev(after) - m_segments.begin());
    }
    const RowSegment *segment = m_segments[m_lastSegment].get();
    return {segment, uint32_t(row - segment->firstRow)};
}

void RowStore::startSection(std::shared_ptr<const MatchMarks> marks)
{
    m_marks = std::move(marks);
}

RowSegment &RowStore::segmentFor(size_t bytes)
{
    if (bytes > kOffsetMask)
        throw std::bad_alloc();
    if (!m_segments.empty()) {
        RowSegment &last = *m_segments.back();
        const size_t end = last.used + bytes;
        // A new section starts a new segment.
        if (size_t(last.rows()) < kSegmentRows && last.marks == m_marks) {
            if (end <= last.capacity)
                return last;
            if (last.rows() == 0 || (last.capacity < kSegmentBytes && end <= kSegmentBytes)) {
                last.grow(std::max(end, std::min(kSegmentBytes, last.capacity * 2)));
                return last;
            }
        }
        last.shrink();
    }
    auto fresh = std::make_unique<RowSegment>();
    fresh->firstRow = m_size;
    fresh->marks = m_marks;
    fresh->grow(std::max(bytes, m_segments.empty() ? kFirstSegmentBytes : kSegmentBytes));
    m_segments.push_back(std::move(fresh));
    return *m_segments.back();
}

void RowStore::append(const QString &prefix, QStringView text, const QString &path, uint64_t line,
                      const PackedMember &member)
{
    const bool wide = !oneByteEach(text);
    RowSegment &segment = segmentFor(size_t(text.size()) * (wide ? 2 : 1));
    // Whatever fails in here leaves at most spare room behind, never half a row.
    segment.prepareRow(prefix, path, member, line);
    segment.placeRow(text, wide, line);
    ++m_size;
}

void RowStore::appendWindows1252(const QString &prefix, std::string_view text, const QString &path,
                                 uint64_t line, const PackedMember &member)
{
    RowSegment &segment = segmentFor(text.size());
    segment.prepareRow(prefix, path, member, line);
    segment.placeBytes(text, line);
    ++m_size;
}

void RowStore::adoptWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                                std::span<const std::string_view> rows, const QString &path,
                                std::span<const uint64_t> lines, const PackedMember &member)
{
    size_t size = 0;
    for (const std::string_view row : rows)
        size += row.size();
    if (rows.empty())
        return;
    const auto lineOf = [&](size_t r) { return r < lines.size() ? lines[r] : 0; };
    const bool endToEnd = rows.front().data() == bytes.get() &&
                          rows.back().data() + rows.back().size() == bytes.get() + size;
    if (!endToEnd || rows.size() > kSegmentRows || size > kOffsetMask) {
        for (size_t r = 0; r < rows.size(); ++r)
            appendWindows1252(prefix, rows[r], path, lineOf(r), member);
        return;
    }
    auto adopted = std::make_unique<RowSegment>();
    adopted->firstRow = m_size;
    adopted->marks = m_marks;
    adopted->ends.reserve(rows.size());
    adopted->lines.reserve(rows.size());
    size_t end = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        end += rows[r].size();
        adopted->prepareRow(prefix, path, member, lineOf(r));
        adopted->ends.push_back(uint32_t(end));
        adopted->lines.push_back(uint32_t(lineOf(r)));
    }
    if (m_segments.size() == m_segments.capacity())
        m_segments.reserve(m_segments.size() * 2 + 16);
    // Nothing can fail from here on.
    if (!m_segments.empty())
        m_segments.back()->shrink();
    adopted->bytes.reset(bytes.release());
    adopted->used = adopted->capacity = size;
    m_segments.push_back(std::move(adopted));
    m_size += int(rows.size());
}

QString RowStore::text(int row, qsizetype limit) const
{
    const auto [segment, local] = place(row);
    const QString &prefix = segment->runOf(local).prefix;
    const size_t units = segment->units(local);
    qsizetype total = prefix.size() + qsizetype(units);
    if (limit >= 0)
        total = std::min(total, limit);
    if (total == 0)
        return QString();
    QString text(total, Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(text.data());
    const qsizetype fromPrefix = std::min(prefix.size(), total);
    std::memcpy(out, prefix.utf16(), size_t(fromPrefix) * 2);
    const size_t rest = size_t(total - fromPrefix);
    const char *stored = segment->bytes.get() + segment->start(local);
    if (segment->wide(local))
        std::memcpy(out + fromPrefix, stored, rest * 2);
    else
        engine::decodeInto(std::string_view(stored, rest), out + fromPrefix);
    return text;
}

qsizetype RowStore::textSize(int row) const
{
    const auto [segment, local] = place(row);
    return segment->runOf(local).prefix.size() + qsizetype(segment->units(local));
}

RowOrigin RowStore::origin(int row) const
{
    const auto [segment, local] = place(row);
    const RowSegment::Run &run = segment->runOf(local);
    return {run.path, segment->line(local), run.member};
}

qsizetype RowStore::prefixSize(int row) const
{
    const auto [segment, local] = place(row);
    return segment->runOf(local).prefix.size();
}

const MatchMarks *RowStore::marks(int row) const
{
    return place(row).segment->marks.get();
}

void RowStore::addPaths(int first, QSet<QString> &paths) const
{
    if (first >= m_size)
        return;
    place(first);
    for (size_t s = m_lastSegment; s < m_segments.size(); ++s) {
        const RowSegment &segment = *m_segments[s];
        // The run holding the first row counts too, however early it starts.
        const auto local = uint32_t(std::max(0, first - segment.firstRow));
        const auto after = std::upper_bound(
            segment.runs.begin(), segment.runs.end(), local,
            [](uint32_t row, const RowSegment::Run &run) { return row < run.firstRow; });
        for (auto run = after == segment.runs.begin() ? after : std::prev(after);
             run != segment.runs.end(); ++run) {
            if (!run->path.isEmpty())
                paths.insert(run->path);
        }
    }
}

void RowStore::setText(int row, const QString &text)
{
    const auto [found, local] = place(row);
    auto &slot = m_segments[m_lastSegment];
    const RowSegment &old = *found;
    // The segment is written anew around the new text; other segments stay as they are.
    const bool wide = !oneByteEach(text);
    const size_t size = size_t(text.size()) * (wide ? 2 : 1);
    const size_t room = old.used + size + old.ends.size() + 2;
    if (room > kOffsetMask)
        throw std::bad_alloc();
    auto fresh = std::make_unique<RowSegment>();
    fresh->firstRow = old.firstRow;
    fresh->marks = old.marks;
    fresh->grow(room);
    fresh->ends.reserve(old.ends.size());
    fresh->lines.reserve(old.ends.size());
    for (uint32_t r = 0; r < uint32_t(old.rows()); ++r) {
        if (r == local) {
            const uint64_t line = old.line(r);
            fresh->prepareRow(QString(), old.runOf(r).path, old.runOf(r).member, line);
            fresh->placeRow(text, wide, line);
        } else {
            fresh->copyRow(old, r);
        }
    }
    fresh->shrink();
    slot = std::move(fresh);
}

void RowStore::remove(const std::vector<int> &rows)
{
    if (rows.empty())
        return;
    size_t next = 0;
    place(rows.front());
    for (size_t s = m_lastSegment; s < m_segments.size() && next < rows.size(); ++s) {
        RowSegment &segment = *m_segments[s];
        if (rows[next] < segment.firstRow + segment.rows())
            segment.removeRows(rows, next);
    }
    m_segments.erase(
        std::remove_if(m_segments.begin(), m_segments.end(),
                       [](const std::unique_ptr<RowSegment> &s) { return s->rows() == 0; }),
        m_segments.end());
    renumber();
}

void RowStore::truncate(int count)
{
    if (count >= m_size)
        return;
    while (!m_segments.empty() && m_segments.back()->firstRow >= count)
        m_segments.pop_back();
    if (!m_segments.empty())
        m_segments.back()->truncate(uint32_t(count - m_segments.back()->firstRow));
    renumber();
}

void RowStore::renumber()
{
    int row = 0;
    for (const auto &segment : m_segments) {
        segment->firstRow = row;
        row += segment->rows();
    }
    m_size = row;
    m_lastSegment = 0;
}

void RowStore::clear()
{
    std::vector<std::unique_ptr<RowSegment>>().swap(m_segments);
    m_size = 0;
    m_lastSegment = 0;
}

} // namespace platform
