#include "QtFileSystem.h"

#include "engine/Steps.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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

bool QtFileSystem::isUsableFile(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

bool QtFileSystem::fileExists(const QString &path)
{
    struct stat info {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

FileStamp QtFileSystem::stamp(const QString &path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {qint64(info.st_size),
            qint64(info.st_mtim.tv_sec) * 1000000000 + qint64(info.st_mtim.tv_nsec)};
}

QStringList QtFileSystem::entries(const QString &folder, EntryKind kind)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        const int error = errno;
        if (error == EACCES || error == EPERM)
            throw engine::Failure(permissionDeniedText);
        if (error == ENOENT || error == ENOTDIR)
            throw engine::Failure(pathNotFoundText);
        throw engine::Failure(std::strerror(error));
    }
    const int dirFd = ::dirfd(dir);
    QStringList names;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            // fstatat follows a link without opening its target, so a FIFO cannot block.
            struct stat info {};
            isFolder = ::fstatat(dirFd, name, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
        if (isFolder != (kind == EntryKind::Folders))
            continue;
        // A name that is not valid UTF-8 decodes with replacement characters, which name
        // another file or none: it is counted, so the caller can say what was left out.
        const QString decoded = QFile::decodeName(name);
        if (QFile::encodeName(decoded) != QByteArrayView(name)) {
            ++m_unreadableNames;
            continue;
        }
        names.append(decoded);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return names;
}

QString QtFileSystem::resolvedPath(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

QString QtFileSystem::linkTarget(const QString &path)
{
    // As many links as the system itself follows before it gives up on a loop.
    QString target = path;
    for (int links = 0; links < 40 && QFileInfo(target).isSymLink(); ++links)
        target = QFileInfo(target).symLinkTarget();
    return target == path ? QString() : target;
}

} // namespace platform
