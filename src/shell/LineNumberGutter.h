#pragma once

#include <QWidget>

namespace shell {

class ReportView;

// The narrow column left of a results list's rows that shows each row's line number in its
// file (nothing for a row that came from no file). It reads the numbers of the rows in sight
// only, and grows by a digit when a row in sight needs one, never shrinking until the list
// is emptied.
class LineNumberGutter : public QWidget {
    Q_OBJECT
public:
    explicit LineNumberGutter(ReportView &view);
    // Returns the width the column takes.
    int columnWidth() const;
    // Places the column beside the view's rows.
    void place();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ReportView &m_view;
    int m_digits = 3;
};

} // namespace shell
