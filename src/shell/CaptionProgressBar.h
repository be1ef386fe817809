#pragma once

#include <QProgressBar>

namespace shell {

// A progress bar that draws a free caption (a file name may hold '%', which QProgressBar's
// format would expand).
class CaptionProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit CaptionProgressBar(QWidget *parent = nullptr);
    // Sets the caption drawn on the bar.
    void setCaption(const QString &caption);
    // Sets the value and the caption, both drawn at the window's next pass over its events.
    void setProgress(int value, const QString &caption);
    QString text() const override { return m_caption; }

private:
    QString m_caption;
};

} // namespace shell
