#include "LeftOut.h"

#include "platform/Paths.h"

#include <QLocale>

namespace filelist {

namespace {

// Returns "1 folder", "2 folders and 1 file", "3 files", ...
QString counted(int folders, int files)
{
    const QLocale english(QLocale::English);
    const auto count = [&](int n, const char *one, const char *many) {
        return english.toString(n) + u' ' + QLatin1String(n == 1 ? one : many);
    };
    if (folders > 0 && files > 0)
        return count(folders, "folder", "folders") + QStringLiteral(" and ") +
               count(files, "file", "files");
    if (folders > 0)
        return count(folders, "folder", "folders");
    return count(files, "file", "files");
}

} // namespace

LeftOut &LeftOut::operator+=(const LeftOut &other)
{
    longFolders += other.longFolders;
    longFiles += other.longFiles;
    deniedFolders += other.deniedFolders;
    loops += other.loops;
    return *this;
}

QString LeftOut::message() const
{
    const QString limit = platform::nativePathStyle == platform::PathStyle::Windows
                              ? QStringLiteral("260 characters")
                              : QStringLiteral("4,096 bytes");
    QString text =
        counted(longFolders + deniedFolders, longFiles) + QStringLiteral(" could not be added:\r");
    if (longFolders + longFiles > 0)
        text += QStringLiteral("\r") + counted(longFolders, longFiles) +
                QStringLiteral(": the path is longer than the ") + limit +
                QStringLiteral(" the system allows");
    if (deniedFolders > 0)
        text += QStringLiteral("\r") + counted(deniedFolders, 0) +
                QStringLiteral(": permission denied, the folder may not be read");
    return text;
}

} // namespace filelist
