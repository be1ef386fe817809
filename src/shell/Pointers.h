#pragma once

#include <QCursor>
#include <QIcon>
#include <QString>

class QWidget;

namespace shell {

// Loads a .cur or .ico file as a pointer, with the hotspot a .cur file names, drawn for a
// screen of the given pixel ratio (0: the primary screen's); throws engine::Failure when the
// file cannot be read as an image.
QCursor loadCursorFile(const QString &path, qreal ratio = 0);

// Returns the program's icon.
QIcon programIcon();

// Gives a window and its frames, option buttons, check boxes and labels the button-face
// colour as background.
void useButtonFaceBackground(QWidget &window);

} // namespace shell
