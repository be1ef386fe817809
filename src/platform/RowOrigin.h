#pragma once

#include <QString>
#include <cstdint>
#include <utility>

namespace platform {

// The member of a compressed file or an archive whose text rows come from.
struct PackedMember {
    QString name;   // its path inside the archive; empty for a compressed file's one text
    int index = -1; // its place among the archive's regular members, from 0; -1 for none

    // Returns true when rows come from the text a file holds rather than from its bytes.
    bool set() const { return index >= 0; }
    bool operator==(const PackedMember &) const = default;
};

// Where a result row came from: its file, and the number of its first line in that file
// (from 1). A row that knows no origin (a file-list entry, a row added by hand) has line 0.
// A row of a compressed file or an archive names the file itself and the member it was read
// from, and its line is one of that member's decompressed text.
struct RowOrigin {
    RowOrigin() = default;
    RowOrigin(QString path_, uint64_t line_, PackedMember member_ = {})
        : path(std::move(path_)), line(line_), member(std::move(member_))
    {
    }

    QString path;
    uint64_t line = 0;
    PackedMember member;

    // Returns true when the row knows where it came from.
    bool known() const { return line > 0; }
};

} // namespace platform
