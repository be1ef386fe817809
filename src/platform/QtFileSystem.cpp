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
// scratch holds the key when it is not a part of the path itself, as it mostly is.
QStringView lookKey(const QString &path, QString &scratch)
{
    QStringView key(path);
    if (holdsSeparatorRun(key)) {
        scratch = normalizePath(path, PathStyle::Posix);
        key = scratch;
    }
    while (key.size() > 1 && key.endsWith(QLatin1Char('/')))
        key.chop(1);
    return key;
}

// Compares names without regard to case as the system's text does; the ASCII they mostly
// begin with, or are, is folded here, which costs no look in the tables of every character.
int foldedCompare(QStringView a, QStringView b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if ((x | y) >= 0x80)
            return a.sliced(i).compare(b.sliced(i), Qt::CaseInsensitive);
        if (x >= u'A' && x <= u'Z')
            x += u'a' - u'A';
        if (y >= u'A' && y <= u'Z')
            y += u'a' - u'A';
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// Names in the order a listing gives them: without regard to case, then as they are.
bool listedBefore(QStringView a, QStringView b)
{
    const int folded = foldedCompare(a, b);
    return folded != 0 ? folded < 0 : a < b;
}

} // namespace

QtFileSystem::Listing *QtFileSystem::rememberedListing(QStringView key)
{
    if (m_lastListing && key == m_lastKey)
        return m_lastListing;
    const auto found = m_listings.find(key);
    if (found == m_listings.end())
        return nullptr;
    m_lastKey = found->first;
    m_lastListing = &found->second;
    return m_lastListing;
}

QtFileSystem::Entry *QtFileSystem::remembered(const QString &path)
{
    if (!m_remember)
        return nullptr;
    QString scratch;
    const QStringView key = lookKey(path, scratch);
    const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
    if (slash < 0 || slash + 1 == key.size())
        return nullptr;
    Listing *listing = rememberedListing(key.first(std::max<qsizetype>(slash, 1)));
    if (!listing)
        return nullptr;
    const QStringView name = key.sliced(slash + 1);
    const std::vector<Entry> &entries = listing->entries;
    // A walk mostly looks at a folder's entries one after another, as they are listed.
    size_t at = listing->next;
    if (at < entries.size() && entries[at].name == name) {
        while (at > 0 && entries[at - 1].name == name)
            --at;
    } else {
        at = size_t(std::lower_bound(
                        entries.begin(), entries.end(), name,
                        [](const Entry &e, QStringView n) { return listedBefore(e.name, n); }) -
                    entries.begin());
    }
    // What the listing could not tell for sure is looked at again.
    for (; at < entries.size() && entries[at].name == name; ++at) {
        if (entries[at].known && !entries[at].unreadable) {
            listing->next = at + 1;
            return &listing->entries[at];
        }
    }
    return nullptr;
}

FileAttributes QtFileSystem::attributes(const QString &path)
{
    FileAttributes result;
    const QString name = fileNameFromPath(path, PathStyle::Posix);
    if (Entry *look = remembered(path)) {
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
    if (const Entry *look = remembered(path))
        return !look->folder;
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

bool QtFileSystem::isFolder(const QString &path)
{
    if (const Entry *look = remembered(path))
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

std::vector<QtFileSystem::Entry> QtFileSystem::read(const QString &folder)
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
    std::vector<Entry> entries;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        Entry listed;
        listed.folder = entry->d_type == DT_DIR;
        listed.known = entry->d_type == DT_DIR || entry->d_type == DT_REG;
        if (!listed.known) {
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
        if (m_remember && listed.known && mayBeHidden(listed.name, PathStyle::Posix))
            listed.writable = ::faccessat(dirFd, name, W_OK, 0) == 0 ? 1 : 0;
        entries.push_back(std::move(listed));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return listedBefore(a.name, b.name); });
    return entries;
}

const std::vector<QtFileSystem::Entry> &QtFileSystem::rememberedEntries(const QString &folder)
{
    QString scratch;
    const QStringView key = lookKey(folder, scratch);
    if (Listing *known = rememberedListing(key))
        return known->entries;
    m_listings.emplace(key.toString(), Listing{read(folder), 0});
    return rememberedListing(key)->entries;
}

QStringList QtFileSystem::entries(const QString &folder, EntryKind kind)
{
    std::vector<Entry> fresh;
    const std::vector<Entry> &listed =
        m_remember ? rememberedEntries(folder) : (fresh = read(folder));
    QStringList names;
    for (const Entry &entry : listed) {
        if (entry.folder != (kind == EntryKind::Folders))
            continue;
        if (entry.unreadable) {
            ++m_unreadableNames;
            continue;
        }
        names.append(entry.name);
    }
    return names;
}

QString QtFileSystem::rememberedResolved(const QString &key)
{
    const auto start = m_starts.constFind(key);
    if (start != m_starts.constEnd())
        return start.value();
    const Entry *entry = remembered(key);
    return entry ? entry->resolved : QString();
}

QString QtFileSystem::resolvedPath(const QString &path)
{
    if (!m_remember)
        return QFileInfo(path).canonicalFilePath();
    QString scratch;
    const QString key = lookKey(path, scratch).toString();
    const auto start = m_starts.constFind(key);
    if (start != m_starts.constEnd())
        return start.value();
    // A folder that is no link resolves to where its parent does, and its own name.
    Entry *entry = remembered(key);
    if (entry && !entry->resolved.isEmpty())
        return entry->resolved;
    QString resolved;
    if (entry && entry->folder) {
        resolved = rememberedResolved(
            key.first(std::max<qsizetype>(key.lastIndexOf(QLatin1Char('/')), 1)));
        if (!resolved.isEmpty()) {
            if (!resolved.endsWith(QLatin1Char('/')))
                resolved += QLatin1Char('/');
            resolved += entry->name;
        }
    }
    if (resolved.isEmpty())
        resolved = QFileInfo(path).canonicalFilePath();
    if (resolved.isEmpty())
        return resolved;
    if (entry) {
        entry->resolved = resolved;
    } else {
        // A folder the scan starts from: what it resolves to stands in for its parent's.
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode))
            m_starts.insert(key, resolved);
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
