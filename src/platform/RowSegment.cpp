#include "RowSegment.h"

#include "engine/CodePage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace platform {

namespace {

// Returns whether two texts are the same, looking at the characters only when they are not the
// same shared text: runs compare their prefix and path for every row added.
bool sameText(const QString &a, const QString &b)
{
    return a.size() == b.size() && (a.constData() == b.constData() || a == b);
}

bool sameRun(const RowSegment::Run &run, const QString &prefix, const QString &path,
             const PackedMember &member, uint32_t lineHigh)
{
    return run.lineHigh == lineHigh && sameText(run.prefix, prefix) && sameText(run.path, path) &&
           run.member.index == member.index && sameText(run.member.name, member.name);
}

// Returns whether rows of this prefix, file and high half need no run before the first.
bool noRun(const QString &prefix, const QString &path, const PackedMember &member,
           uint32_t lineHigh)
{
    return prefix.isEmpty() && path.isEmpty() && !member.set() && lineHigh == 0;
}

} // namespace

bool RowSegment::wide(uint32_t local) const
{
    return (ends[local] & kWide) != 0;
}

size_t RowSegment::start(uint32_t local) const
{
    return local == 0 ? 0 : ends[local - 1] & kOffsetMask;
}

size_t RowSegment::end(uint32_t local) const
{
    return ends[local] & kOffsetMask;
}

size_t RowSegment::units(uint32_t local) const
{
    const size_t size = end(local) - start(local);
    return wide(local) ? size / 2 : size;
}

const RowSegment::Run &RowSegment::runOf(uint32_t local) const
{
    static const Run none;
    const auto after =
        std::upper_bound(runs.begin(), runs.end(), local,
                         [](uint32_t row, const Run &run) { return row < run.firstRow; });
    return after == runs.begin() ? none : *std::prev(after);
}

uint64_t RowSegment::line(uint32_t local) const
{
    return uint64_t(runOf(local).lineHigh) << 32 | lines[local];
}

void RowSegment::grow(size_t wanted)
{
    char *grown = static_cast<char *>(std::realloc(bytes.get(), wanted));
    if (!grown)
        throw std::bad_alloc();
    (void)bytes.release();
    bytes.reset(grown);
    capacity = wanted;
}

void RowSegment::shrink()
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
        lines.shrink_to_fit();
        runs.shrink_to_fit();
    } catch (const std::bad_alloc &) {
    }
}

void RowSegment::prepareRow(const QString &prefix, const QString &path, const PackedMember &member,
                            uint64_t line)
{
    if (ends.size() == ends.capacity())
        ends.reserve(std::max<size_t>(64, ends.size() * 2));
    if (lines.size() == lines.capacity())
        lines.reserve(ends.capacity());
    const auto high = uint32_t(line >> 32);
    const bool same = runs.empty() ? noRun(prefix, path, member, high)
                                   : sameRun(runs.back(), prefix, path, member, high);
    if (!same)
        runs.push_back({uint32_t(ends.size()), high, prefix, path, member});
}

void RowSegment::placeRow(QStringView text, bool wideText, uint64_t line)
{
    char *out = bytes.get() + used;
    if (wideText) {
        // Two-byte texts may start at odd offsets: they are only ever copied, never read in
        // place.
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
    lines.push_back(uint32_t(line));
}

void RowSegment::placeBytes(std::string_view text, uint64_t line)
{
    if (!text.empty())
        std::memcpy(bytes.get() + used, text.data(), text.size());
    used += text.size();
    ends.push_back(uint32_t(used));
    lines.push_back(uint32_t(line));
}

void RowSegment::copyRow(const RowSegment &from, uint32_t local)
{
    const Run &run = from.runOf(local);
    const uint64_t number = from.line(local);
    prepareRow(run.prefix, run.path, run.member, number);
    const size_t size = from.end(local) - from.start(local);
    std::memcpy(bytes.get() + used, from.bytes.get() + from.start(local), size);
    used += size;
    ends.push_back(uint32_t(used) | (from.ends[local] & kWide));
    lines.push_back(uint32_t(number));
}

void RowSegment::removeRows(const std::vector<int> &removed, size_t &next)
{
    // Each kept row moves toward the front: bytes, entries and runs are rewritten in place,
    // behind the point being read, and a run is written anew only where the kept rows'
    // prefix, file or high half changes.
    char *text = bytes.get();
    size_t written = 0;
    size_t kept = 0;
    size_t runsRead = 0;
    size_t runsWritten = 0;
    Run current;
    const int count = rows();
    for (int r = 0; r < count; ++r) {
        while (runsRead < runs.size() && runs[runsRead].firstRow == uint32_t(r))
            current = runs[runsRead++];
        if (next < removed.size() && removed[next] == firstRow + r) {
            ++next;
            continue;
        }
        const uint32_t entry = ends[size_t(r)];
        const size_t from = start(uint32_t(r));
        const size_t size = (entry & kOffsetMask) - from;
        if (kept != from)
            std::memmove(text + kept, text + from, size);
        kept += size;
        ends[written] = uint32_t(kept) | (entry & kWide);
        lines[written] = lines[size_t(r)];
        const bool same =
            runsWritten == 0 ? noRun(current.prefix, current.path, current.member, current.lineHigh)
                             : sameRun(runs[runsWritten - 1], current.prefix, current.path,
                                       current.member, current.lineHigh);
        if (!same) {
            current.firstRow = uint32_t(written);
            runs[runsWritten++] = current;
        }
        ++written;
    }
    ends.resize(written);
    lines.resize(written);
    runs.resize(runsWritten);
    used = kept;
    shrink();
}

void RowSegment::truncate(uint32_t kept)
{
    used = kept == 0 ? 0 : end(kept - 1);
    ends.resize(kept);
    lines.resize(kept);
    while (!runs.empty() && runs.back().firstRow >= kept)
        runs.pop_back();
}

} // namespace platform
