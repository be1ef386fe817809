#include "Paths.h"

#include <string_view>

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

QString normalizePath(const QString &path, PathStyle style)
{
    if (style == PathStyle::Posix) {
        const std::u16string_view units(reinterpret_cast<const char16_t *>(path.utf16()),
                                        size_t(path.size()));
        if (units.find(u"//") == std::u16string_view::npos)
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
