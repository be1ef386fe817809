#pragma once

#include "engine/BlockList.h"
#include "platform/MatchMarks.h"
#include "platform/RowOrigin.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace platform {

// One segment of a RowStore: the texts of consecutive rows end to end in one block of memory,
// per row the offset where its text ends and the low half of its line number, and runs of
// rows that share a text prefix, a file (and member) and the high half of their line numbers. Rows
// are numbered from 0 within the segment.
struct RowSegment {
    // Each row's entry is the offset where its text ends, with this flag for two-byte texts.
    static constexpr uint32_t kWide = 1u << 31;
    static constexpr uint32_t kOffsetMask = kWide - 1;

    // Rows from firstRow to the next run's first row.
    struct Run {
        uint32_t firstRow = 0;
        uint32_t lineHigh = 0;
        QString prefix;
        QString path;
        PackedMember member;
    };

    int firstRow = 0; // in the store
    engine::OwnedBytes bytes;
    size_t used = 0;
    size_t capacity = 0;
    std::vector<uint32_t> ends;
    std::vector<uint32_t> lines; // the low half of each row's line number
    std::vector<Run> runs;       // rows before the first run have no prefix and no file
    std::shared_ptr<const MatchMarks> marks;

    // Returns the number of rows.
    int rows() const { return int(ends.size()); }
    // Returns whether a row's text is held as two bytes a character.
    bool wide(uint32_t local) const;
    // Returns where a row's text starts and ends in bytes.
    size_t start(uint32_t local) const;
    size_t end(uint32_t local) const;
    // Returns the length of a row's text (without its prefix) in UTF-16 code units.
    size_t units(uint32_t local) const;
    // Returns the run a row belongs to (an empty one before the first run).
    const Run &runOf(uint32_t local) const;
    // Returns a row's line number (0 when it came from no file).
    uint64_t line(uint32_t local) const;

    // Grows the byte block to wanted bytes; throws std::bad_alloc when memory is short.
    void grow(size_t wanted);
    // Gives back what the segment does not use; failing to do so only costs memory.
    void shrink();
    // Makes room for one more row and starts its run where it differs from the last; the row
    // itself is not there yet.
    void prepareRow(const QString &prefix, const QString &path, const PackedMember &member,
                    uint64_t line);
    // Places the text of a prepared row, which must fit, and counts the row.
    void placeRow(QStringView text, bool wideText, uint64_t line);
    // Places a prepared row of one-byte text, which must fit, and counts the row.
    void placeBytes(std::string_view text, uint64_t line);
    // Copies row local of another segment, which must fit, as it is stored.
    void copyRow(const RowSegment &from, uint32_t local);
    // Removes the rows of the sorted list from position next on that lie in this segment,
    // moving the kept ones to the front in place, and steps next past them.
    void removeRows(const std::vector<int> &removed, size_t &next);
    // Removes the rows from local row kept on.
    void truncate(uint32_t kept);
};

} // namespace platform
