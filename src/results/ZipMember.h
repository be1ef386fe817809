#pragma once

#include <QByteArray>
#include <QString>

namespace results {

// Returns whether a member of a ZIP archive holds the whole XML document: read back from the
// archive, it has the size the archive records and ends with the closing tag. The workbook
// library writes each part into a temporary file without checking, so a full disk shows only
// here.
bool zipMemberComplete(const QString &archive, const QByteArray &member, const QByteArray &ending);

} // namespace results
