#pragma once

#include <QString>
#include <QStringView>

#include "engine/BlockList.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace platform {

// Keeps the rows of a list compactly: their texts as one byte a character in the code page
// of the files (two for a row holding a character outside it), in large segments with one
// offset a row, and a text prefix shared by consecutive rows kept once. Texts are decoded
// when read. Rows are numbered from 0; callers check the numbers.
class RowStore {
public:
    RowStore();
    ~RowStore();
    RowStore(const RowStore &) = delete;
    RowStore &operator=(const RowStore &) = delete;

    // Returns the number of rows.
    int size() const { return m_size; }
    // Appends a row whose text is prefix followed by text. Throws std::bad_alloc when memory
    // runs out; the rows stay as they were.
    void append(const QString &prefix, QStringView text);
    // Appends a row whose text is prefix followed by Windows-1252 bytes, taken as they are.
    void appendWindows1252(const QString &prefix, std::string_view bytes);
    // Appends rows whose texts are prefix followed by Windows-1252 bytes, the rows lying end
    // to end in bytes (memory from std::malloc), which the store takes over rather than
    // copies. Throws std::bad_alloc when memory runs out; the rows stay as they were.
    void adoptWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                          std::span<const std::string_view> rows);
    // Returns the text of a row, cut after limit characters when limit is not negative.
    QString text(int row, qsizetype limit = -1) const;
    // Returns the length of a row's text in UTF-16 code units, without decoding it.
    qsizetype textSize(int row) const;
    // Replaces the text of a row (its prefix included).
    void setText(int row, const QString &text);
    // Removes the given rows (sorted, without repeats, each one present) in place: it needs
    // no memory of its own, so it cannot run out of it.
    void remove(const std::vector<int> &rows);
    // Removes the rows from row count on; needs no memory either.
    void truncate(int count);
    // Removes every row and gives their memory back.
    void clear();

private:
    struct Segment;
    struct Place {
        const Segment *segment;
        uint32_t local;
    };
    Place place(int row) const;
    Segment &segmentFor(size_t bytes);
    void renumber();

    std::vector<std::unique_ptr<Segment>> m_segments;
    int m_size = 0;
    // The segment of the last row looked up: lists are mostly read in order.
    mutable size_t m_lastSegment = 0;
};

} // namespace platform
