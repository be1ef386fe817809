#include "Pointers.h"

#include "engine/Steps.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace shell {

QCursor loadCursorFile(const QString &path, qreal ratio)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw engine::Failure("File not found: " + path.toStdString());
    const QByteArray bytes = file.readAll();
    QPixmap pixmap;
    if (!pixmap.loadFromData(bytes))
        throw engine::Failure("Invalid picture: " + path.toStdString());
    // Image plugins do not report a cursor's hotspot; a .cur file keeps it in bytes 10 to 13.
    int hotX = -1;
    int hotY = -1;
    if (bytes.size() >= 14 && bytes.at(2) == 2 && bytes.at(3) == 0) {
        const auto u16 = [&](int at) {
            return int(quint8(bytes.at(at))) | (int(quint8(bytes.at(at + 1))) << 8);
        };
        hotX = u16(10);
        hotY = u16(12);
    }
    if (ratio <= 0)
        ratio = QGuiApplication::primaryScreen()
                    ? QGuiApplication::primaryScreen()->devicePixelRatio()
                    : 1.0;
    // On a high-density screen the drawn pixels are repeated, not smoothed, so the pointer
    // keeps its crisp edges at its usual size.
    const int factor = std::max(1, qRound(ratio));
    if (factor > 1) {
        pixmap =
            pixmap.scaled(pixmap.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        pixmap.setDevicePixelRatio(factor);
        // The window system takes the hotspot in the pixmap's own pixels.
        hotX = hotX < 0 ? hotX : hotX * factor;
        hotY = hotY < 0 ? hotY : hotY * factor;
    }
    return QCursor(pixmap, hotX, hotY);
}

QIcon programIcon()
{
    // Drawn from the same shapes as assets/icons/lumbrex.svg (the desktop entry's icon), so
    // the window needs no SVG support: a sheet of lines with one lifted out by a lens.
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 64.0, size / 64.0);
        const QColor ink(0x2d, 0x4a, 0x6b);
        const QColor line(0x9f, 0xb3, 0xc8);
        painter.setPen(QPen(ink, 3));
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(QRectF(8, 4, 40, 52), 4, 4);
        painter.setPen(Qt::NoPen);
        painter.setBrush(line);
        painter.drawRoundedRect(QRectF(14, 13, 28, 4), 2, 2);
        painter.drawRoundedRect(QRectF(14, 22, 22, 4), 2, 2);
        painter.drawRoundedRect(QRectF(14, 41, 26, 4), 2, 2);
        painter.setBrush(QColor(0xe8, 0xa3, 0x3d));
        painter.drawRoundedRect(QRectF(12, 30, 32, 6), 3, 3);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(ink, 5));
        painter.drawEllipse(QPointF(40, 40), 12, 12);
        painter.setPen(QPen(ink, 7, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(49, 49), QPointF(59, 59));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void useButtonFaceBackground(QWidget &window)
{
    // The system's button face, not the window's own palette, which holds the design colours.
    const QColor face = QApplication::palette().color(QPalette::Button);
    const auto paint = [&face](QWidget *widget) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, face);
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
    };
    paint(&window);
    for (QWidget *child : window.findChildren<QWidget *>()) {
        if (qobject_cast<QGroupBox *>(child) || qobject_cast<QLabel *>(child) ||
            (qobject_cast<QAbstractButton *>(child) && child->inherits("QCheckBox")) ||
            child->inherits("QRadioButton"))
            paint(child);
    }
}

} // namespace shell
