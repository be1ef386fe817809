#pragma once

#include "platform/ListModel.h"

#include <QList>
#include <QStringList>

namespace fakes {

// One row of a test list: its cells (text, then sub-items) and its check mark.
struct Row {
    QStringList cells;
    bool checked = true;
};

// Gives the list the headers and appends the rows.
inline void fill(platform::ListModel &list, const QStringList &headers, const QList<Row> &rows)
{
    for (const QString &header : headers)
        list.addColumn(header);
    for (const Row &row : rows) {
        const int at = list.append(row.cells.value(0), row.checked);
        for (int k = 1; k < row.cells.size(); ++k)
            list.setSubItem(at, k, row.cells.at(k));
    }
}

} // namespace fakes
