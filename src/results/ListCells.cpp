#include "ListCells.h"

#include "engine/CodePage.h"
#include "platform/ListModel.h"
#include "platform/Yield.h"

#include <algorithm>

namespace results {

int ListCells::characterCount(const QString &text)
{
    int count = int(text.size());
    for (const QChar c : text) {
        if (c.isLowSurrogate())
            --count;
    }
    return count;
}

int ListCells::characterWidth(const platform::ListModel &list, platform::Yield &yield,
                              bool &outsideWindows1252)
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
    int width = measure(list.header());
    // Read once: rows appended meanwhile are not measured.
    const int rows = list.count();
    for (int r = 0; r < rows; ++r) {
        yield.yield();
        width = std::max(width, measure(list.text(r)));
    }
    return width;
}

} // namespace results
