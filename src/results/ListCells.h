#pragma once

#include <QString>
#include <vector>

namespace platform {
class ListModel;
class Yield;
} // namespace platform

namespace results {

// How the exports read a list: cells by column number and the widths of the columns.
class ListCells {
public:
    // Returns cell column (from 1) of row (from 0): the row's text for column 1, its sub-item
    // column - 1 otherwise. Throws engine::Failure when the row is gone.
    static QString cell(const platform::ListModel &list, int row, int column);
    // Returns, per column, the length in UTF-16 code units of its longest cell over every
    // row, checked or not, and of its header too when countHeaders is set.
    static std::vector<int> widths(const platform::ListModel &list, bool countHeaders,
                                   platform::Yield &yield);
};

} // namespace results
