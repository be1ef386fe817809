#pragma once

#include <QString>
#include <cstddef>
#include <vector>

namespace platform {
class ListModel;
class Yield;
} // namespace platform

namespace results {

// The two text filters of a list. Both compare case-insensitively (each side lowered with
// the user's locale) and keep the order of the rows they leave.
class RowFilter {
public:
    // Removes every row whose text contains text. Rows appended during the scan are
    // not examined; a row access that fails (the list shrank meanwhile) throws
    // engine::Failure before any row is removed.
    static void removeRowsContaining(platform::ListModel &list, const QString &text,
                                     platform::Yield &yield);
    // Removes every row whose text does not contain text, with the same rules.
    static void removeRowsNotContaining(platform::ListModel &list, const QString &text,
                                        platform::Yield &yield);

private:
    static void removeRows(platform::ListModel &list, const QString &text, platform::Yield &yield,
                           bool removeWhenFound);
};

} // namespace results
