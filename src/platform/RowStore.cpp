#include "RowStore.h"

#include "engine/CodePage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

namespace platform {

namespace {

// Each row's entry is the offset where its text ends in its segment, with a flag on top.
constexpr uint32_t kWide = 1u << 31;
constexpr uint32_t kOffsetMask = kWide - 1;
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

struct RowStore::Segment {
    struct PrefixRun {
        uint32_t firstRow; // local to the segment
        QString prefix;
    };

    int firstRow = 0;
    engine::OwnedBytes bytes;
    size_t used = 0;
    size_t capacity = 0;
    std::vector<uint32_t> ends;
    // Runs of rows sharing a prefix; rows before the first run have none.
    std::vector<PrefixRun> prefixes;

    int rows() const { return int(ends.size()); }
    bool wide(uint32_t local) const { return (ends[local] & kWide) != 0; }
    size_t start(uint32_t local) const { return local == 0 ? 0 : ends[local - 1] & kOffsetMask; }
    size_t end(uint32_t local) const { return ends[local] & kOffsetMask; }
    size_t units(uint32_t local) const
    {
        const size_t bytes = end(local) - start(local);
        return wide(local) ? bytes / 2 : bytes;
    }
    const QString &prefix(uint32_t local) const
    {
        static const QString none;
        const auto after =
            std::upper_bound(prefixes.begin(), prefixes.end(), local,
                             [](uint32_t row, const PrefixRun &run) { return row < run.firstRow; });
        return after == prefixes.begin() ? none : std::prev(after)->prefix;
    }

    void grow(size_t wanted)
    {
        char *grown = static_cast<char *>(std::realloc(bytes.get(), wanted));
        if (!grown)
            throw std::bad_alloc();
        (void)bytes.release();
        bytes.reset(grown);
        capacity = wanted;
    }
    // Gives back what the segment does not use; failing to do so only costs memory.
    void shrink()
    {
        if (used == 0) {
            bytes.reset();
            capacity = 0;
        } else if (used < capacity) {
            if (char *shrunk = static_cast<char *>(std::realloc(bytes.get(), used))) {
                (void)bytes.release();
                bytes.reset(shrunk);
                capacity = used;
            }
        }
        try {
            ends.shrink_to_fit();
            prefixes.shrink_to_fit();
        } catch (const std::bad_alloc &) {
        }
    }
    // Makes room for one more row entry and its prefix run; the row itself is not there yet.
    void prepareRow(const QString &rowPrefix)
    {
        if (ends.size() == ends.capacity())
            ends.reserve(std::max<size_t>(64, ends.size() * 2));
        const bool samePrefix =
            prefixes.empty() ? rowPrefix.isEmpty() : prefixes.back().prefix == rowPrefix;
        if (!samePrefix)
            prefixes.push_back({uint32_t(ends.size()), rowPrefix});
    }
    // Places the text of a prepared row, which must fit, and counts the row.
    void placeRow(QStringView text, bool wideText)
    {
        char *out = bytes.get() + used;
        if (wideText) {
            // Two-byte texts may start at odd offsets: they are only ever copied, never read
            // in place.
            std::memcpy(out, text.utf16(), size_t(text.size()) * 2);
            used += size_t(text.size()) * 2;
        } else {
            for (const QChar c : text) {
                const char16_t u = c.unicode();
                *out++ = char(u < 0x80 || (u >= 0xA0 && u <= 0xFF) ? u : engine::fromUnicode(u));
            }
            used += size_t(text.size());
        }
        ends.push_back(uint32_t(used) | (wideText ? kWide : 0));
    }
    // Places a prepared row of one-byte text, which must fit, and counts the row.
    void placeBytes(std::string_view text)
    {
        if (!text.empty())
            std::memcpy(bytes.get() + used, text.data(), text.size());
        used += text.size();
        ends.push_back(uint32_t(used));
    }
    // Copies row local of another segment, which must fit, as it is stored.
    void copyRow(const Segment &from, uint32_t local)
    {
        prepareRow(from.prefix(local));
        const size_t size = from.end(local) - from.start(local);
        std::memcpy(bytes.get() + used, from.bytes.get() + from.start(local), size);
        used += size;
        ends.push_back(uint32_t(used) | (from.ends[local] & kWide));
    }
};

RowStore::RowStore() = default;

RowStore::~RowStore() = default;

RowStore::Place RowStore::place(int row) const
{
    const auto holds = [&](size_t s) {
        const Segment &segment = *m_segments[s];
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
            [](int r, const std::unique_ptr<Segment> &s) { return r < s->firstRow; });
        m_lastSegment = size_t(std::prev(after) - m_segments.begin());
    }
    const Segment *segment = m_segments[m_lastSegment].get();
    return {segment, uint32_t(row - segment->firstRow)};
}

RowStore::Segment &RowStore::segmentFor(size_t bytes)
{
    if (bytes > kOffsetMask)
        throw std::bad_alloc();
    if (!m_segments.empty()) {
        Segment &last = *m_segments.back();
        const size_t end = last.used + bytes;
        if (size_t(last.rows()) < kSegmentRows) {
            if (end <= last.capacity)
                return last;
            if (last.rows() == 0 || (last.capacity < kSegmentBytes && end <= kSegmentBytes)) {
                last.grow(std::max(end, std::min(kSegmentBytes, last.capacity * 2)));
                return last;
            }
        }
        last.shrink();
    }
    auto fresh = std::make_unique<Segment>();
    fresh->firstRow = m_size;
    fresh->grow(std::max(bytes, m_segments.empty() ? kFirstSegmentBytes : kSegmentBytes));
    m_segments.push_back(std::move(fresh));
    return *m_segments.back();
}

void RowStore::append(const QString &prefix, QStringView text)
{
    const bool wide = !oneByteEach(text);
    Segment &segment = segmentFor(size_t(text.size()) * (wide ? 2 : 1));
    // Whatever fails in here leaves at most spare room behind, never half a row.
    segment.prepareRow(prefix);
    segment.placeRow(text, wide);
    ++m_size;
}

void RowStore::appendWindows1252(const QString &prefix, std::string_view text)
{
    Segment &segment = segmentFor(text.size());
    segment.prepareRow(prefix);
    segment.placeBytes(text);
    ++m_size;
}

void RowStore::adoptWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                                std::span<const std::string_view> rows)
{
    size_t size = 0;
    for (const std::string_view row : rows)
        size += row.size();
    if (rows.empty())
        return;
    const bool endToEnd = rows.front().data() == bytes.get() &&
                          rows.back().data() + rows.back().size() == bytes.get() + size;
    if (!endToEnd || rows.size() > kSegmentRows || size > kOffsetMask) {
        for (const std::string_view row : rows)
            appendWindows1252(prefix, row);
        return;
    }
    auto adopted = std::make_unique<Segment>();
    adopted->firstRow = m_size;
    adopted->ends.reserve(rows.size());
    size_t end = 0;
    for (const std::string_view row : rows) {
        end += row.size();
        adopted->ends.push_back(uint32_t(end));
    }
    if (!prefix.isEmpty())
        adopted->prefixes.push_back({0, prefix});
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
    const QString &prefix = segment->prefix(local);
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
    return segment->prefix(local).size() + qsizetype(segment->units(local));
}

void RowStore::setText(int row, const QString &text)
{
    const auto [found, local] = place(row);
    auto &slot = m_segments[m_lastSegment];
    const Segment &old = *found;
    // The segment is written anew around the new text; other segments stay as they are.
    const bool wide = !oneByteEach(text);
    const size_t size = size_t(text.size()) * (wide ? 2 : 1);
    const size_t room = old.used + size + old.ends.size() + 2;
    if (room > kOffsetMask)
        throw std::bad_alloc();
    auto fresh = std::make_unique<Segment>();
    fresh->firstRow = old.firstRow;
    fresh->grow(room);
    fresh->ends.reserve(old.ends.size());
    for (uint32_t r = 0; r < uint32_t(old.rows()); ++r) {
        if (r == local) {
            fresh->prepareRow(QString());
            fresh->placeRow(text, wide);
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
    // Each kept row moves toward the front of its own segment: bytes, entries and prefix runs
    // are rewritten in place, behind the point being read.
    size_t next = 0;
    place(rows.front());
    for (size_t s = m_lastSegment; s < m_segments.size() && next < rows.size(); ++s) {
        Segment &segment = *m_segments[s];
        const int begin = segment.firstRow;
        const int count = segment.rows();
        if (rows[next] >= begin + count)
            continue;
        char *bytes = segment.bytes.get();
        size_t written = 0;
        size_t used = 0;
        size_t runsRead = 0;
        size_t runsWritten = 0;
        QString current;
        for (int r = 0; r < count; ++r) {
            while (runsRead < segment.prefixes.size() &&
                   segment.prefixes[runsRead].firstRow == uint32_t(r))
                current = segment.prefixes[runsRead++].prefix;
            if (next < rows.size() && rows[next] == begin + r) {
                ++next;
                continue;
            }
            const uint32_t entry = segment.ends[size_t(r)];
            const size_t from = segment.start(uint32_t(r));
            const size_t size = (entry & kOffsetMask) - from;
            const size_t to = used;
            if (to != from)
                std::memmove(bytes + to, bytes + from, size);
            used = to + size;
            segment.ends[written] = uint32_t(used) | (entry & kWide);
            const bool samePrefix = runsWritten == 0
                                        ? current.isEmpty()
                                        : segment.prefixes[runsWritten - 1].prefix == current;
            if (!samePrefix)
                segment.prefixes[runsWritten++] = {uint32_t(written), current};
            ++written;
        }
        segment.ends.resize(written);
        segment.prefixes.resize(runsWritten);
        segment.used = used;
        segment.shrink();
    }

    m_segments.erase(
        std::remove_if(m_segments.begin(), m_segments.end(),
                       [](const std::unique_ptr<Segment> &s) { return s->rows() == 0; }),
        m_segments.end());
    renumber();
}

void RowStore::truncate(int count)
{
    if (count >= m_size)
        return;
    while (!m_segments.empty() && m_segments.back()->firstRow >= count)
        m_segments.pop_back();
    if (!m_segments.empty()) {
        Segment &last = *m_segments.back();
        const auto kept = uint32_t(count - last.firstRow);
        last.used = last.end(kept - 1);
        last.ends.resize(kept);
        while (!last.prefixes.empty() && last.prefixes.back().firstRow >= kept)
            last.prefixes.pop_back();
    }
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
    std::vector<std::unique_ptr<Segment>>().swap(m_segments);
    m_size = 0;
    m_lastSegment = 0;
}

} // namespace platform
