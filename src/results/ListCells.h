#pragma once

#include <QString>

namespace platform {
class ListModel;
class Yield;
} // namespace platform

namespace results {

// How the exports measure a list's column.
class ListCells {
public:
    // Returns the number of characters of the longest row, and of the header too, a
    // surrogate pair counting as one; sets outsideWindows1252 when some row or the header
    // holds a character that Windows-1252 has no byte for.
    static int characterWidth(const platform::ListModel &list, platform::Yield &yield,
                              bool &outsideWindows1252);
    // Returns the number of characters of a text, a surrogate pair counting as one.
    static int characterCount(const QString &text);
};

} // namespace results
