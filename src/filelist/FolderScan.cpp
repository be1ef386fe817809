#include "FolderScan.h"

#include "engine/CodePage.h"
#include "engine/Steps.h"
#include "platform/FileSystem.h"
#include "platform/ListModel.h"
#include "platform/Paths.h"
#include "platform/Yield.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <climits>
#include <vector>

namespace filelist {

namespace {

constexpr QChar separator =
    platform::nativePathStyle == platform::PathStyle::Windows ? u'\\' : u'/';

// Attribute lookups on "folder/" would follow a link named folder, and the name of
// "folder/" is empty; every test looks at the folder itself.
QString withoutTrailingSeparator(const QString &path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == separator)
        --end;
    return path.left(end);
}

bool isRoot(const QString &folder)
{
    const QString bare = withoutTrailingSeparator(folder);
    if constexpr (platform::nativePathStyle == platform::PathStyle::Windows)
        return bare.size() == 2 && bare.at(0).isLetter() && bare.at(1) == u':';
    return bare.size() == 1 && bare.at(0) == separator;
}

// Only '*' and '?' are wildcards in a name pattern; brackets are ordinary characters, so
// each becomes a class that holds just itself.
QRegularExpression wildcardMatcher(const QString &pattern)
{
    QString wildcard;
    wildcard.reserve(pattern.size());
    for (const QChar c : pattern) {
        if (c == u'[')
            wildcard += QLatin1String("[[]");
        else if (c == u']')
            wildcard += QLatin1String("[]]");
        else
            wildcard += c;
    }
    return QRegularExpression(QRegularExpression::wildcardToRegularExpression(wildcard),
                              QRegularExpression::CaseInsensitiveOption);
}

bool matchesEveryName(const QString &pattern)
{
    return pattern == QLatin1String("*.*") || pattern == QLatin1String("*");
}

} // namespace

FolderScan::FolderScan(platform::FileSystem &fileSystem, platform::Yield &yield,
                       engine::ErrorReporter &reporter)
    : m_fileSystem(fileSystem), m_yield(yield), m_reporter(reporter)
{
}

bool FolderScan::hasUnsupportedChars(const QString &name)
{
    for (const QChar c : name) {
        const int code = engine::fromUnicode(c.unicode());
        if (code < 32 || (code >= 127 && code <= 159) || c == u'?')
            return true;
    }
    return false;
}

bool FolderScan::isTooLong(const QString &path)
{
    if constexpr (platform::nativePathStyle == platform::PathStyle::Windows)
        return path.size() >= 260;
    // A unit of UTF-16 takes three bytes at most: most paths are too short to need encoding.
    if (path.size() < PATH_MAX / 3)
        return false;
    return QFile::encodeName(path).size() >= PATH_MAX;
}

bool FolderScan::nameIsReadable(const QString &name)
{
    // Windows lists a name in the single-byte code page, where a character it lacks turns
    // into '?' and the folder cannot be opened by that name. Here names are read back as
    // they were listed, so every name the listing could decode serves.
    if constexpr (platform::nativePathStyle == platform::PathStyle::Windows)
        return !hasUnsupportedChars(name) && !name.contains(u'?');
    return true;
}

bool FolderScan::matchesPattern(const QString &name, const QString &pattern)
{
    return matchesEveryName(pattern) || wildcardMatcher(pattern).match(name).hasMatch();
}

QStringList FolderScan::namePatterns(const QString &typed)
{
    // Entries are parted by semicolons and blanks (ASCII white space), any number of them.
    const auto parts = [](QChar c) { return c == u';' || c == u' ' || (c >= u'\t' && c <= u'\r'); };
    QStringList entries;
    for (qsizetype at = 0, start = 0; at <= typed.size(); ++at) {
        if (at < typed.size() && !parts(typed[at]))
            continue;
        if (at > start)
            entries.append(typed.mid(start, at - start));
        start = at + 1;
    }
    QStringList patterns;
    for (const QString &entry : entries) {
        // An extension holds no dot but a leading one (".txt" has always meant "*..txt"), so
        // a wildcard beside a later dot can only mean a whole name.
        const bool wildcard = entry.contains(u'*') || entry.contains(u'?');
        if (wildcard && entry.indexOf(u'.', 1) > 0)
            patterns.append(entry);
        else
            patterns.append(QStringLiteral("*.") + entry);
    }
    return patterns;
}

bool FolderScan::isFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    return m_fileSystem.isFolder(withoutTrailingSeparator(path));
}

bool FolderScan::passesFolderTest(const QString &folder)
{
    // Only a hidden folder can be a hidden system one.
    if (isRoot(folder) ||
        !platform::mayBeHidden(platform::fileNameFromPath(withoutTrailingSeparator(folder))))
        return true;
    const int value =
        platform::attributeValue(m_fileSystem.attributes(withoutTrailingSeparator(folder)));
    constexpr int hiddenSystemFolder =
        platform::FolderBit | platform::HiddenBit | platform::SystemBit;
    return value != hiddenSystemFolder && value != (hiddenSystemFolder | platform::LinkBit);
}

bool FolderScan::loopsBack(const QString &parent, const QString &folder)
{
    // Only a folder that is already on the way down from the chosen folder closes a loop; a
    // link to a sibling or to a folder met elsewhere is followed like any other folder.
    const QString resolved = m_fileSystem.resolvedPath(withoutTrailingSeparator(folder));
    QStringList way = m_ancestors.value(parent);
    if (!resolved.isEmpty()) {
        if (way.contains(resolved))
            return true;
        way.append(resolved);
    }
    m_ancestors.insert(folder, way);
    return false;
}

void FolderScan::pause() const
{
    m_yield.yield();
}

void FolderScan::addSubFolders(QStringList &folders, bool recurse)
{
    m_ancestors.clear();
    for (const QString &folder : folders) {
        const QString resolved = m_fileSystem.resolvedPath(withoutTrailingSeparator(folder));
        m_ancestors.insert(folder, resolved.isEmpty() ? QStringList() : QStringList{resolved});
    }
    walk(folders, recurse, true);
    m_ancestors.clear();
}

// The folders chosen are walked as given; the folders below them are tested first.
void FolderScan::walk(QStringList &folders, bool recurse, bool chosen)
{
    // Handing files on as folders are listed gives them in the list's order: level by level,
    // each level's folders in the order found, each once listed and known to be kept.
    const bool handOn = m_found && m_list && recurse;
    engine::Steps steps(m_reporter, "AddFolder", "GetSubDirectories2016");
    QStringList found;
    const QStringList given = folders;
    for (const QString &folder : given) {
        if (m_stopped)
            return;
        // A chosen folder is kept whatever its tests, but a folder listed without its files.
        const auto keepIfChosen = [&] {
            if (handOn && chosen)
                addFilesOf(folder);
        };
        if (steps.test(108, [&] { return !isFolder(folder); })) {
            keepIfChosen();
            continue;
        }
        if (steps.test(110, [&] { return isTooLong(folder); })) {
            ++m_leftOut.longFolders;
            keepIfChosen();
            continue;
        }
        steps.step(114, [&] { pause(); });
        if (!steps.test(116, [&] { return passesFolderTest(folder); })) {
            keepIfChosen();
            continue;
        }
        QStringList names;
        bool unlistable = false;
        steps.step(118, [&] {
            try {
                names = m_fileSystem.entries(folder, platform::EntryKind::Folders);
            } catch (const engine::Failure &failure) {
                const std::string description = failure.what();
                if (description != platform::permissionDeniedText &&
                    description != platform::pathNotFoundText)
                    throw;
                unlistable = true;
                // A folder gone meanwhile has nothing to add; one that may not be read has.
                if (description == platform::permissionDeniedText)
                    ++m_leftOut.deniedFolders;
            }
        });
        for (const QString &name : names) {
            if (m_stopped)
                return;
            steps.step(120, [&] { pause(); });
            if (steps.test(124, [&] { return isTooLong(name); })) {
                ++m_leftOut.longFolders;
                continue;
            }
            if (steps.test(126, [&] { return !nameIsReadable(name); }))
                continue;
            if (steps.test(130, [&] { return name == u"." || name == u".."; }))
                continue;
            QString path;
            steps.step(132, [&] { path = folder + name + separator; });
            // The platform opens nothing below a path this long: the folder is left out
            // here, and said so, rather than met as missing further down.
            if (isTooLong(path)) {
                ++m_leftOut.longFolders;
                continue;
            }
            steps.step(134, [&] {
                if (!loopsBack(folder, path))
                    found.append(path);
                else
                    m_leftOut.loops.append(withoutTrailingSeparator(path));
            });
        }
        if (unlistable)
            steps.step(148, [&] { folders.removeAt(folders.indexOf(folder)); });
        else if (handOn)
            addFilesOf(folder);
    }
    steps.step(150, [&] {
        if (recurse && !found.isEmpty())
            walk(found, true);
    });
    for (const QString &candidate : found) {
        if (m_stopped)
            return;
        if (!steps.test(154, [&] { return isFolder(candidate); }))
            continue;
        steps.step(156, [&] { pause(); });
        if (steps.test(158, [&] { return passesFolderTest(candidate); }))
            steps.step(160, [&] { folders.append(candidate); });
    }
}

QStringList FolderScan::usableFilesIn(const QString &folder, const QStringList &patterns)
{
    QString prefix = folder;
    if (!prefix.endsWith(separator))
        prefix += separator;
    QStringList all;
    try {
        all = m_fileSystem.entries(prefix, platform::EntryKind::Files);
    } catch (const engine::Failure &) {
        // A folder that cannot be listed simply has no files to offer.
        return {};
    }
    const bool everyName = std::any_of(patterns.begin(), patterns.end(), matchesEveryName);
    // A walk asks with the same patterns folder after folder: they are made into matchers once.
    if (patterns != m_matchedPatterns) {
        m_matchers.clear();
        for (const QString &pattern : patterns)
            m_matchers.push_back(wildcardMatcher(pattern));
        m_matchedPatterns = patterns;
    }
    const auto matches = [&](const QString &name) {
        return std::any_of(m_matchers.begin(), m_matchers.end(),
                           [&](const QRegularExpression &m) { return m.match(name).hasMatch(); });
    };
    QStringList usable;
    for (const QString &name : all) {
        pause();
        if (!everyName && !matches(name))
            continue;
        const QString path = prefix + name;
        if (isTooLong(path)) {
            // Counted unless the name would be left out anyway.
            if (!name.startsWith(u'~'))
                ++m_leftOut.longFiles;
        } else if (m_fileSystem.isUsableFile(path)) {
            usable.append(name);
        }
    }
    return usable;
}

void FolderScan::addFilesOf(const QString &folder)
{
    engine::Steps &steps = *m_steps;
    QString here;
    steps.step(118, [&] {
        here = folder;
        if (here.endsWith(separator))
            here.chop(1);
    });
    QStringList names;
    steps.step(120, [&] { names = usableFilesIn(here, *m_patterns); });
    QStringList added;
    for (const QString &name : names) {
        if (m_stopped)
            break;
        steps.step(122, [&] { pause(); });
        if (steps.test(124, [&] { return name.startsWith(u'~'); }))
            continue;
        QString path;
        steps.step(126, [&] { path = here + separator + name; });
        steps.step(128, [&] {
            if (!m_fileSystem.isUsableFile(path))
                return;
            constexpr int hiddenArchive = platform::HiddenBit | platform::ArchiveBit;
            if (platform::mayBeHidden(name) &&
                platform::attributeValue(m_fileSystem.attributes(path)) == hiddenArchive)
                return;
            if (m_found)
                added.append(platform::normalizePath(path));
            else
                m_list->appendDeferred(platform::normalizePath(path));
        });
    }
    if (m_found && !added.isEmpty())
        m_found(added);
}

LeftOut FolderScan::addFolderTree(const QString &folder, const QStringList &patterns,
                                  platform::ListModel &list, engine::Steps &steps)
{
    m_leftOut = {};
    m_patterns = &patterns;
    m_list = &list;
    m_steps = &steps;
    const int unreadableBefore = m_fileSystem.unreadableNames();
    QStringList folders;
    steps.step(112, [&] { folders = QStringList{folder + separator}; });
    // Handed on, the files went as the walk listed their folders.
    steps.step(114, [&] { addSubFolders(folders, true); });
    for (qsizetype i = 0; i < folders.size() && !m_stopped && !m_found; ++i)
        addFilesOf(folders.at(i));
    m_patterns = nullptr;
    m_list = nullptr;
    m_steps = nullptr;
    list.flush();
    const int unreadable = m_fileSystem.unreadableNames() - unreadableBefore;
    if (unreadable > 0)
        steps.step(130, [&] {
            throw engine::Failure(
                QStringLiteral("%1 %2 left out: %3 not valid UTF-8, so %4 cannot be opened "
                               "by name")
                    .arg(unreadable)
                    .arg(unreadable == 1 ? QStringLiteral("file or folder was")
                                         : QStringLiteral("files or folders were"),
                         unreadable == 1 ? QStringLiteral("its name is")
                                         : QStringLiteral("their names are"),
                         unreadable == 1 ? QStringLiteral("it") : QStringLiteral("they"))
                    .toStdString());
        });
    return m_leftOut;
}

} // namespace filelist
