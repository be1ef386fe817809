#pragma once

#include <QHeaderView>
#include <QTableView>

namespace shell {

// A list in report view: column headers, whole-row selection, no grid, fixed row height.
// Built on QTableView because appending rows costs it nothing per existing row, so a list
// of millions of rows stays smooth while a run appends to it. Its last column grows with
// the list, and a row cut at the column's edge shows its whole text as a tool tip.
class ReportView : public QTableView {
    Q_OBJECT
public:
    explicit ReportView(QWidget *parent = nullptr);
    // Returns the column headers.
    QHeaderView *header() const { return horizontalHeader(); }
    // Returns whether the text at the index is cut at its cell's edge or the list's edge.
    bool isCut(const QModelIndex &index) const;

protected:
    bool viewportEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitLastColumn();

    // The width the last column was given (at start-up or by dragging its edge); the list
    // never shows it narrower.
    int m_chosenWidth = 0;
    bool m_fitting = false;
};

} // namespace shell
