#include "Paths.h"

namespace platform {

QString fileNameFromPath(const QString &path, PathStyle style)
{
    const QChar separator = style == PathStyle::Windows ? QLatin1Char('\\') : QLatin1Char('/');
    const qsizetype at = path.lastIndexOf(separator);
    return at < 0 ? path : path.mid(at + 1);
}

bool mayBeHidden(const QString &name, PathStyle style)
{
    return style == PathStyle::Windows || name.startsWith(QLatin1Char('.'));
}

bool holdsSeparatorRun(QStringView path)
{
    // Counted rather than looked for until the first, so the count runs over many units at
    // once: the most paths hold no run.
    const char16_t *units = path.utf16();
    int runs = 0;
    for (qsizetype i = 1; i < path.size(); ++i)
        runs += (units[i] == u'/') & (units[i - 1] == u'/');
    return runs != 0;
}

QString normalizePath(const QString &path, PathStyle style)
{
    if (style == PathStyle::Posix) {
        if (!holdsSeparatorRun(path))
            return path;
        QString result;
        result.reserve(path.size());
        for (const QChar c : path) {
            if (c == QLatin1Char('/') && result.endsWith(QLatin1Char('/')))
                continue;
            result.append(c);
        }
        return result;
    }
    const QString pair = QStringLiteral("\\\\");
    const QString single = QStringLiteral("\\");
    if (!path.startsWith(single))
        return QString(path).replace(pair, single);
    // The first character is a backslash; skip the whole leading run (looking from the
    // second character on) and keep exactly two of them.
    qsizetype p = 1;
    while (p < path.size() && path.at(p) == QLatin1Char('\\'))
        ++p;
    return pair + path.mid(p).replace(pair, single);
}

} // namespace platform
