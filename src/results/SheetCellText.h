#pragma once

#include <QString>
#include <QStringView>

namespace results {

// Returns the text a spreadsheet cell stores for a text: the characters XML cannot hold
// replaced by U+FFFD (replaced is then set) and every literal _xHHHH_ escaped, so readers
// show the text as it was.
QString sheetCellText(QStringView text, bool *replaced = nullptr);

} // namespace results
