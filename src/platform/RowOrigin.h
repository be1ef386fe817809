#pragma once

#include <QString>
#include <cstdint>

namespace platform {

// Where a result row came from: its file, and the number of its first line in that file
// (from 1). A row that knows no origin (a file-list entry, a row added by hand) has line 0.
struct RowOrigin {
    QString path;
    uint64_t line = 0;

    // Returns true when the row knows where it came from.
    bool known() const { return line > 0; }
};

} // namespace platform
