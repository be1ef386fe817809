#include "CaptionProgressBar.h"

namespace shell {

CaptionProgressBar::CaptionProgressBar(QWidget *parent) : QProgressBar(parent)
{
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
    // Drawn whole, corners included, the bar needs nothing behind it drawn again.
    setAutoFillBackground(true);
}

void CaptionProgressBar::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    setAccessibleName(caption);
    update();
}

void CaptionProgressBar::setProgress(int value, const QString &caption)
{
    // A new value alone would be drawn at once, apart from the caption and everything else
    // that changed; a run passes over the window's events often enough for one drawing.
    if (value != this->value()) {
        setUpdatesEnabled(false);
        setValue(value);
        setUpdatesEnabled(true);
    }
    setCaption(caption);
}

} // namespace shell
