#include "QtFileSystem.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileAttributes QtFileSystem::attributes(const QString &path)
{
    FileAttributes result;
    const QByteArray native = QFile::encodeName(path);
    struct stat linkInfo {};
    if (::lstat(native.constData(), &linkInfo) != 0)
        return result;
    result.exists = true;
    result.link = S_ISLNK(linkInfo.st_mode);
    struct stat info = linkInfo;
    if (result.link && ::stat(native.constData(), &info) != 0)
        info = linkInfo; // a dangling link: describe the link itself
    result.folder = S_ISDIR(info.st_mode);
    result.archive = S_ISREG(info.st_mode);
    const QString name = QFileInfo(path).fileName();
    result.hidden = name.startsWith(QLatin1Char('.'));
    result.system = result.folder && (name == QLatin1String("lost+found") ||
                                      name.startsWith(QLatin1String(".Trash")));
    result.readOnly = ::access(native.constData(), W_OK) != 0;
    return result;
}

bool QtFileSystem::IsUsableFile(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

bool QtFileSystem::FileExists(const QString &path)
{
    struct stat info {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace platform
