#pragma once

#include <QSet>
#include <QString>
#include <QStringView>

#include "engine/BlockList.h"
#include "platform/MatchMarks.h"
#include "platform/RowOrigin.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace platform {

struct RowSegment;

// Keeps the rows of a list compactly: their texts as one byte a character in the code page
// of the files (two for a row holding a character outside it), in large segments with one
// offset a row, and a text prefix shared by consecutive rows kept once. Each row also keeps
// where it came from: its line number in four bytes, the file (and member) and the number's
// high half once for a run of rows. Rows are kept in sections, one a run, each knowing what
// found its rows. Texts are decoded when read. Rows are numbered from 0; callers check the
// numbers.
class RowStore {
public:
    RowStore();
    ~RowStore();
    RowStore(const RowStore &) = delete;
    RowStore &operator=(const RowStore &) = delete;

    // Returns the number of rows.
    int size() const { return m_size; }
    // Starts a new section: the rows appended from now on were found by marks (none: by
    // nothing that shows in their text).
    void startSection(std::shared_ptr<const MatchMarks> marks);
    // Appends a row whose text is prefix followed by text, from line line of the file at path
    // (none: line 0), or of the text its member holds. Throws std::bad_alloc when memory runs
    // out; the rows stay as they were.
    void append(const QString &prefix, QStringView text, const QString &path = QString(),
                uint64_t line = 0, const PackedMember &member = {});
    // Appends a row whose text is prefix followed by Windows-1252 bytes, taken as they are.
    void appendWindows1252(const QString &prefix, std::string_view bytes,
                           const QString &path = QString(), uint64_t line = 0,
                           const PackedMember &member = {});
    // Appends rows whose texts are prefix followed by Windows-1252 bytes, the rows lying end
    // to end in bytes (memory from std::malloc), which the store takes over rather than
    // copies; they come from the file at path (or its member), from the lines numbered in
    // lines (one a row, or none). Throws std::bad_alloc when memory runs out; the rows stay as
    // they were.
    void adoptWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                          std::span<const std::string_view> rows, const QString &path = QString(),
                          std::span<const uint64_t> lines = {}, const PackedMember &member = {});
    // Returns the text of a row, cut after limit characters when limit is not negative.
    QString text(int row, qsizetype limit = -1) const;
    // Returns the length of a row's text in UTF-16 code units, without decoding it.
    qsizetype textSize(int row) const;
    // Returns where a row came from.
    RowOrigin origin(int row) const;
    // Returns the length of the prefix a row's text starts with.
    qsizetype prefixSize(int row) const;
    // Returns what found a row (null: nothing that shows in its text).
    const MatchMarks *marks(int row) const;
    // Adds the files the rows from row first on came from to paths.
    void addPaths(int first, QSet<QString> &paths) const;
    // Replaces the text of a row (its prefix included); it keeps its origin.
    void setText(int row, const QString &text);
    // Removes the given rows (sorted, without repeats, each one present) in place: it needs
    // no memory of its own, so it cannot run out of it.
    void remove(const std::vector<int> &rows);
    // Removes the rows from row count on; needs no memory either.
    void truncate(int count);
    // Removes every row and gives their memory back.
    void clear();

private:
    struct Place {
        const RowSegment *segment;
        uint32_t local;
    };
    Place place(int row) const;
    RowSegment &segmentFor(size_t bytes);
    void renumber();

    std::vector<std::unique_ptr<RowSegment>> m_segments;
    int m_size = 0;
    // The segment of the last row looked up: lists are mostly read in order.
    mutable size_t m_lastSegment = 0;
    // What found the rows of the current section.
    std::shared_ptr<const MatchMarks> m_marks;
};

} // namespace platform
