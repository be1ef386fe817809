#include "ListCells.h"

#include "engine/CodePage.h"
#include "platform/ListModel.h"
#include "platform/Yield.h"

#include <algorithm>

namespace results {

QString ListCells::cell(const platform::ListModel &list, int row, int column)
{
    return column == 1 ? list.text(row) : list.subItem(row, column - 1);
}

std::vector<int> ListCells::widths(const platform::ListModel &list, bool countHeaders,
                                   platform::Yield &yield)
{
    std::vector<int> widths;
    const int columns = int(list.headers().size());
    widths.reserve(size_t(columns));
    for (int k = 1; k <= columns; ++k) {
        int w = countHeaders ? int(list.headers()[size_t(k - 1)].text.size()) : 0;
        // Read once per column: rows appended meanwhile are not measured.
        const int rows = list.count();
        for (int r = 0; r < rows; ++r) {
            yield.yield();
            // The text's length is known without decoding it.
            const qsizetype size = k == 1 ? list.textSize(r) : cell(list, r, k).size();
            w = std::max(w, int(size));
        }
        widths.push_back(w);
    }
    return widths;
}

int ListCells::characterCount(const QString &text)
{
    int count = int(text.size());
    for (const QChar c : text) {
        if (c.isLowSurrogate())
            --count;
    }
    return count;
}

std::vector<int> ListCells::characterWidths(const platform::ListModel &list, bool countHeaders,
                                            platform::Yield &yield, bool &outsideWindows1252)
{
    const auto measure = [&](const QString &text) {
        for (const QChar c : text) {
            if (c.unicode() >= 0x80 && engine::fromUnicode(c.unicode()) < 0) {
                outsideWindows1252 = true;
                break;
            }
        }
        return characterCount(text);
    };
    std::vector<int> widths;
    const int columns = int(list.headers().size());
    for (int k = 1; k <= columns; ++k) {
        int w = countHeaders ? measure(list.headers()[size_t(k - 1)].text) : 0;
        const int rows = list.count();
        for (int r = 0; r < rows; ++r) {
            yield.yield();
            w = std::max(w, measure(cell(list, r, k)));
        }
        widths.push_back(w);
    }
    return widths;
}

} // namespace results
