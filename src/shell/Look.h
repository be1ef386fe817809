#pragma once

#include <QFont>

namespace shell {

// Returns a size in twips as pixels at 96 dots per inch (15 twips to the pixel).
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

// Returns the windows' font: Arial bold at the given size.
inline QFont arialBold(double pointSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace shell
