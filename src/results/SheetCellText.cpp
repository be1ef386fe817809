#include "SheetCellText.h"

namespace results {

namespace {

// Returns whether XML 1.0 can hold the character at all: tab, line feed, carriage return and
// everything from the blank up, except U+FFFE and U+FFFF.
bool storable(char16_t c)
{
    if (c < 0x20)
        return c == u'\t' || c == u'\n' || c == u'\r';
    return c != 0xFFFE && c != 0xFFFF;
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Returns whether an escape of the form _xHHHH_ starts at position i.
bool escapeAt(QStringView text, qsizetype i)
{
    if (i + 7 > text.size() || text[i] != u'_' || text[i + 1] != u'x' || text[i + 6] != u'_')
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k)
        if (!isHexDigit(text[k]))
            return false;
    return true;
}

} // namespace

QString sheetCellText(QStringView text, bool *replaced)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!storable(c.unicode())) {
            out += QChar(QChar::ReplacementCharacter);
            if (replaced)
                *replaced = true;
        } else if (escapeAt(text, i)) {
            // Readers decode _xHHHH_ as the character HHHH; an escaped underscore keeps
            // the text as it was.
            out += QLatin1String("_x005F_");
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace results
