#include "RowFilter.h"

#include "platform/ListModel.h"
#include "platform/Yield.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace results {

void RowFilter::removeRowsContaining(platform::ListModel &list, const QString &text,
                                     platform::Yield &yield)
{
    removeRows(list, text, yield, true);
}

void RowFilter::removeRowsNotContaining(platform::ListModel &list, const QString &text,
                                        platform::Yield &yield)
{
    removeRows(list, text, yield, false);
}

void RowFilter::removeRows(platform::ListModel &list, const QString &text, platform::Yield &yield,
                           bool removeWhenFound)
{
    const QLocale locale = QLocale::system();
    const QString needle = locale.toLower(text);
    std::vector<int> matched;
    // The count is read once: rows a nested run appends during a yield are not examined.
    const int n = list.count();
    for (int r = 0; r < n; ++r) {
        yield.yield();
        const bool found = locale.toLower(list.text(r)).contains(needle, Qt::CaseSensitive);
        if (found == removeWhenFound)
            matched.push_back(r);
    }
    // Removal happens only after a complete scan, so a failed scan removes nothing.
    list.removeRowsSorted(std::move(matched));
}

} // namespace results
