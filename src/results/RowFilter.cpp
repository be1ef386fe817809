#include "RowFilter.h"

#include "platform/ListModel.h"
#include "platform/Yield.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace results {

void RowFilter::RemoveRowsContaining(platform::ListModel &list, const QString &text,
                                     TestedCell cell, platform::Yield &yield)
{
    removeRows(list, text, cell, yield, true);
}

void RowFilter::RemoveRowsNotContaining(platform::ListModel &list, const QString &text,
                                        TestedCell cell, platform::Yield &yield)
{
    removeRows(list, text, cell, yield, false);
}

void RowFilter::removeRows(platform::ListModel &list, const QString &text, TestedCell cell,
                           platform::Yield &yield, bool removeWhenFound)
{
    const QLocale locale = QLocale::system();
    const QString needle = locale.toLower(text);
    std::vector<int> matched;
    // The count is read once: rows a nested run appends during a yield are not examined.
    const int n = list.count();
    for (int r = 0; r < n; ++r) {
        yield.yield();
        const QString value = cell == TestedCell::Text ? list.text(r) : list.subItem(r, 1);
        const bool found = locale.toLower(value).contains(needle, Qt::CaseSensitive);
        if (found == removeWhenFound)
            matched.push_back(r);
    }
    // Removal happens only after a complete scan, so a failed scan removes nothing.
    removeMatched(list, std::move(matched));
}

void RowFilter::removeMatched(platform::ListModel &list, std::vector<int> matched)
{
    size_t runs = 0;
    for (size_t i = 0; i < matched.size(); ++i)
        if (i == 0 || matched[i] != matched[i - 1] + 1)
            ++runs;
    // Each separate run of rows costs the model a pass over every row after it; past a few
    // dozen runs, building the list anew is far cheaper (2000 scattered rows of a million:
    // 40 s run by run, a fraction of a second rebuilt).
    if (runs <= kMaxRuns) {
        list.removeRowsSorted(std::move(matched));
        return;
    }
    struct Kept {
        QString text;
        QStringList subItems;
        bool checked;
    };
    std::vector<Kept> kept;
    const int total = list.count();
    kept.reserve(size_t(total) - std::min(size_t(total), matched.size()));
    size_t next = 0;
    for (int r = 0; r < total; ++r) {
        if (next < matched.size() && matched[next] == r) {
            ++next;
            continue;
        }
        Kept row{list.text(r), {}, list.checked(r)};
        const int subItems = list.subItemCount(r);
        for (int k = 1; k <= subItems; ++k)
            row.subItems.append(list.subItem(r, k));
        kept.push_back(std::move(row));
    }
    list.clear();
    for (Kept &row : kept)
        list.appendDeferred(std::move(row.text), row.checked);
    list.flush();
    for (size_t r = 0; r < kept.size(); ++r)
        for (int k = 0; k < kept[r].subItems.size(); ++k)
            list.setSubItem(int(r), k + 1, kept[r].subItems.at(k));
}

} // namespace results
