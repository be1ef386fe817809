#include "QtFileSystem.h"

#include "engine/Steps.h"
#include "platform/Paths.h"

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

namespace {

// The key a path is remembered by: a run of separators stands for one, and none ends it.
QString lookKey(const QString &path)
{
    QString key = normalizePath(path, PathStyle::Posix);
    while (key.size() > 1 && key.endsWith(QLatin1Char('/')))
        key.chop(1);
    return key;
}

} // namespace

QtFileSystem::Look *QtFileSystem::remembered(const QString &path)
{
    if (!m_remember)
        return nullptr;
    const auto found = m_looks.find(lookKey(path));
    return found == m_looks.end() ? nullptr : &found.value();
}

FileAttributes QtFileSystem::attributes(const QString &path)
{
    FileAttributes result;
    const QString name = fileNameFromPath(path, PathStyle::Posix);
    if (Look *look = remembered(path)) {
        result.exists = true;
        result.folder = look->folder;
        result.archive = !look->folder;
        if (look->writable < 0)
            look->writable = ::access(QFile::encodeName(path).constData(), W_OK) == 0 ? 1 : 0;
        result.readOnly = look->writable == 0;
    } else {
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
        result.readOnly = ::access(native.constData(), W_OK) != 0;
    }
    result.hidden = mayBeHidden(name, PathStyle::Posix);
    result.system = result.folder && (name == QLatin1String("lost+found") ||
                                      name.startsWith(QLatin1String(".Trash")));
    return result;
}

bool QtFileSystem::isUsableFile(const QString &path)
{
    if (const Look *look = remembered(path))
        return !look->folder;
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

bool QtFileSystem::isFolder(const QString &path)
{
    if (const Look *look = remembered(path))
        return look->folder;
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool QtFileSystem::fileExists(const QString &path)
{
    if (remembered(path))
        return true;
    struct stat info {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

std::vector<QtFileSystem::Entry> QtFileSystem::listing(const QString &folder)
{
    if (m_remember) {
        const auto found = m_listings.constFind(folder);
        if (found != m_listings.constEnd())
            return found.value();
    }
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
    const QString prefix = lookKey(folder) + QLatin1Char('/');
    std::vector<Entry> entries;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        Entry listed;
        listed.folder = entry->d_type == DT_DIR;
        const bool known = entry->d_type == DT_DIR || entry->d_type == DT_REG;
        if (!known) {
            // fstatat follows a link without opening its target, so a FIFO cannot block.
            struct stat info {};
            listed.folder = ::fstatat(dirFd, name, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
        // A name that is not valid UTF-8 decodes with replacement characters, which name
        // another file or none: it is counted, so the caller can say what was left out. A name
        // of ASCII alone, the most of them, is its own text.
        const size_t length = std::strlen(name);
        if (std::all_of(name, name + length, [](char c) { return (c & 0x80) == 0; })) {
            listed.name = QString::fromLatin1(name, qsizetype(length));
        } else {
            listed.name = QFile::decodeName(name);
            listed.unreadable = QFile::encodeName(listed.name) != QByteArrayView(name);
        }
        // Only a hidden entry's attributes are looked at in a walk, and asked beside its
        // folder, whether it may be written costs no walk of its path.
        if (m_remember && known && !listed.unreadable) {
            int writable = -1;
            if (mayBeHidden(listed.name, PathStyle::Posix))
                writable = ::faccessat(dirFd, name, W_OK, 0) == 0 ? 1 : 0;
            m_looks.insert(prefix + listed.name, Look{listed.folder, writable, QString()});
        }
        entries.push_back(std::move(listed));
    }
    ::closedir(dir);
    if (m_remember)
        m_listings.insert(folder, entries);
    return entries;
}

QStringList QtFileSystem::entries(const QString &folder, EntryKind kind)
{
    QStringList names;
    for (const Entry &entry : listing(folder)) {
        if (entry.folder != (kind == EntryKind::Folders))
            continue;
        if (entry.unreadable) {
            ++m_unreadableNames;
            continue;
        }
        names.append(entry.name);
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return names;
}

QString QtFileSystem::resolvedPath(const QString &path)
{
    if (!m_remember)
        return QFileInfo(path).canonicalFilePath();
    // A folder that is no link resolves to where its parent does, and its own name.
    const QString key = lookKey(path);
    const auto found = m_looks.find(key);
    if (found != m_looks.end() && !found->resolved.isEmpty())
        return found->resolved;
    QString resolved;
    const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
    const auto parent = slash > 0 ? m_looks.constFind(key.first(slash)) : m_looks.constEnd();
    if (found != m_looks.end() && found->folder && parent != m_looks.constEnd() &&
        !parent->resolved.isEmpty()) {
        resolved = parent->resolved;
        if (!resolved.endsWith(QLatin1Char('/')))
            resolved += QLatin1Char('/');
        resolved += fileNameFromPath(key, PathStyle::Posix);
    } else {
        resolved = QFileInfo(path).canonicalFilePath();
    }
    if (resolved.isEmpty())
        return resolved;
    if (found != m_looks.end()) {
        found->resolved = resolved;
    } else {
        // A folder the scan starts from: what it resolves to stands in for its parent's.
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode))
            m_looks.insert(key, Look{true, -1, resolved});
    }
    return resolved;
}

FileStamp QtFileSystem::stamp(const QString &path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {qint64(info.st_size),
            qint64(info.st_mtim.tv_sec) * 1000000000 + qint64(info.st_mtim.tv_nsec)};
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
