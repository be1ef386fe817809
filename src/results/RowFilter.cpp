#include "RowFilter.h"

#include "platform/ListModel.h"
#include "platform/Yield.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <optional>
#include <vector>

namespace results {

namespace {

// Returns true when every character of text is ASCII.
bool allAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

char16_t asciiLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}

// Tells whether a row holds needle, an ASCII text in lower case, once the row is lowered with
// a locale that lowers A to Z as ASCII does (a Turkish one lowers I to a dotless i). Lowered, no
// character outside ASCII becomes one inside it but the capital I with a dot (to i and a combining
// dot) and the Kelvin sign (to k): a row holding either is lowered whole instead. Returns nothing
// in that case.
std::optional<bool> holdsAsciiLowered(QStringView row, QStringView needle)
{
    const qsizetype m = needle.size();
    const char16_t first = needle.front().unicode();
    bool found = false;
    for (qsizetype i = 0; i < row.size(); ++i) {
        const char16_t c = row[i].unicode();
        if (c == 0x0130 || c == 0x212A)
            return std::nullopt;
        if (found || asciiLower(c) != first || row.size() - i < m)
            continue;
        qsizetype k = 1;
        while (k < m && asciiLower(row[i + k].unicode()) == needle[k].unicode())
            ++k;
        found = k == m;
    }
    return found;
}

} // namespace

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
    // Most rows need no lowering of their own: see holdsAsciiLowered().
    const bool asciiNeedle = !needle.isEmpty() && allAscii(needle) &&
                             locale.toLower(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ")) ==
                                 QLatin1String("abcdefghijklmnopqrstuvwxyz");
    const auto holds = [&](const QString &row) {
        if (asciiNeedle) {
            if (const std::optional<bool> found = holdsAsciiLowered(row, needle))
                return *found;
        }
        return locale.toLower(row).contains(needle, Qt::CaseSensitive);
    };
    std::vector<int> matched;
    // The count is read once: rows a nested run appends during a yield are not examined.
    const int n = list.count();
    for (int r = 0; r < n; ++r) {
        yield.yield();
        const bool found = holds(list.text(r));
        if (found == removeWhenFound)
            matched.push_back(r);
    }
    // Removal happens only after a complete scan, so a failed scan removes nothing.
    list.removeRowsSorted(std::move(matched));
}

} // namespace results
