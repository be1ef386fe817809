#pragma once

#include "platform/ListModel.h"

#include <QStringList>

namespace fakes {

// Gives the list its header and appends the rows.
inline void fill(platform::ListModel &list, const QString &header, const QStringList &rows)
{
    list.setHeader(header);
    for (const QString &row : rows)
        list.append(row);
}

} // namespace fakes
