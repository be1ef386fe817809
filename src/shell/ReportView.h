#pragma once

#include <QHeaderView>
#include <QTableView>

namespace shell {

// A list in report view: column headers, whole-row selection, no grid, fixed row height.
// Built on QTableView because appending rows costs it nothing per existing row, so a list
// of millions of rows stays smooth while a run appends to it.
class ReportView : public QTableView {
    Q_OBJECT
public:
    explicit ReportView(QWidget *parent = nullptr);
    // Returns the column headers.
    QHeaderView *header() const { return horizontalHeader(); }
};

} // namespace shell
