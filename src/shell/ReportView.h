#pragma once

#include <QHeaderView>
#include <QTableView>

namespace shell {

class LineNumberGutter;

// A list in report view: column headers, whole-row selection, no grid, rows of one fixed
// height. A row's place is worked out from its number: the table's own row header, which
// keeps a record for every row and walks them all when rows come, never hears of the rows.
// So a list of tens of millions of rows costs the view no memory and no time while a run
// appends to it. It scrolls a whole row at a time, and sideways by the pixel. Its last
// column grows with the list, and a row cut at the column's edge shows its whole text as a
// tool tip. A table still, it reads as one to assistive technology. The table's own row
// functions (rowAt, rowViewportPosition, selectRow, hideRow, ...) go through the row header
// and do not apply: rows are found with indexAt, visualRect and the selection model.
class ReportView : public QTableView {
    Q_OBJECT
public:
    explicit ReportView(QWidget *parent = nullptr);
    // Returns the column headers.
    QHeaderView *header() const { return horizontalHeader(); }
    // Returns the height of every row, in pixels.
    int rowHeight() const { return m_rowHeight; }
    // Returns whether the text at the index is cut at its cell's edge or the list's edge.
    bool isCut(const QModelIndex &index) const;
    // Shows each row's line number in a narrow column before the rows, or takes it away.
    void setLineNumbersShown(bool shown);
    // Returns whether the line numbers are shown.
    bool lineNumbersShown() const { return m_gutter != nullptr; }

    void setModel(QAbstractItemModel *model) override;
    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &index) const override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void paintEvent(QPaintEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    int rowCount() const;
    // Returns the row at a height in the viewport, or -1 above the first row; it may be past
    // the last row.
    int rowAtHeight(int y) const;
    // Returns the number of rows the viewport shows whole, at least one.
    int wholeRowsShown() const;
    void fitLastColumn();
    void relayout();

    int m_rowHeight;
    LineNumberGutter *m_gutter = nullptr;
    // The width the last column was given (at start-up or by dragging its edge); the list
    // never shows it narrower.
    int m_chosenWidth = 0;
    bool m_fitting = false;
    bool m_placing = false;
};

} // namespace shell
