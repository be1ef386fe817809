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
    // Returns the widths as widths() does, counted in characters (a surrogate pair is one),
    // and sets outsideWindows1252 when some cell or header holds a character that
    // Windows-1252 has no byte for.
    static std::vector<int> characterWidths(const platform::ListModel &list, bool countHeaders,
                                            platform::Yield &yield, bool &outsideWindows1252);
    // Returns the number of characters of a text, a surrogate pair counting as one.
    static int characterCount(const QString &text);
};

} // namespace results
