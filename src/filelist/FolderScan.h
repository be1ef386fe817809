#pragma once

#include "filelist/LeftOut.h"

#include <QHash>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace engine {
class ErrorReporter;
class Steps;
} // namespace engine

namespace platform {
class FileSystem;
class ListModel;
class Yield;
} // namespace platform

namespace filelist {

// Walks a folder tree breadth first and adds its files to a list: the walk behind "Add All
// File(s) In Folder" and behind folders dropped onto the file list.
class FolderScan {
public:
    FolderScan(platform::FileSystem &fileSystem, platform::Yield &yield,
               engine::ErrorReporter &reporter);

    // Appends every descendant folder of the listed folders (each ending in a separator)
    // that passes the folder tests, level by level; removes the folders that cannot be
    // listed. Reports other failures under the walk's own tag.
    void addSubFolders(QStringList &folders, bool recurse);
    // Returns the names of the usable files of one folder that match any of the patterns
    // ("*.txt"), in listing order; an empty list when the folder cannot be listed.
    QStringList usableFilesIn(const QString &folder, const QStringList &patterns);
    // Appends to the list every matching file of a folder and of its accepted sub-folders,
    // breadth first, leaving out "~" names, unusable files and hidden archive files. Reports
    // failures through steps, numbered 112 to 130, and once how many names could not be
    // read back; returns the folders and files that could not be added for a path too long
    // or a folder that may not be read.
    LeftOut addFolderTree(const QString &folder, const QStringList &patterns,
                          platform::ListModel &list, engine::Steps &steps);
    // Has addFolderTree() hand each folder's files to found, rather than to the list, as soon
    // as the folder is listed, in the list's order: whoever reads the files starts on the
    // first of them while the walk goes on.
    void setFound(std::function<void(const QStringList &files)> found)
    {
        m_found = std::move(found);
    }
    // Returns whether the path names an existing folder.
    bool isFolder(const QString &path);
    // Makes every running and later walk end at its next yield; used when the window closes.
    void stop() { m_stopped = true; }

    // Returns whether a name holds a character that the single-byte code page lacks, a
    // control character (below 32 or 127 to 159), or "?".
    static bool hasUnsupportedChars(const QString &name);
    // Returns whether the platform cannot open a path this long: PATH_MAX (4,096) bytes or
    // more, with the ending NUL, on POSIX systems; 260 characters or more on Windows.
    static bool isTooLong(const QString &path);
    // Returns whether a sub-folder of this name can be opened by the name as listed.
    static bool nameIsReadable(const QString &name);
    // Returns whether a file name matches a wildcard pattern without regard to case: "*" is
    // any run of characters, "?" any one character, and "*.*" matches every name.
    static bool matchesPattern(const QString &name, const QString &pattern);
    // Returns the name patterns of the text typed at the extension prompt: entries parted by
    // ";" or white space, each an extension ("txt" gives "*.txt"), or, when it holds a
    // wildcard and a dot after its first character, a name pattern as typed ("syslog.*").
    static QStringList namePatterns(const QString &typed);

private:
    void walk(QStringList &folders, bool recurse, bool chosen = false);
    void addFilesOf(const QString &folder);
    bool passesFolderTest(const QString &folder);
    bool loopsBack(const QString &parent, const QString &folder);
    void pause() const;

    platform::FileSystem &m_fileSystem;
    platform::Yield &m_yield;
    engine::ErrorReporter &m_reporter;
    bool m_stopped = false;
    LeftOut m_leftOut;
    std::function<void(const QStringList &)> m_found;
    QStringList m_matchedPatterns;
    std::vector<QRegularExpression> m_matchers;
    // What addFolderTree() is filling, while it runs.
    const QStringList *m_patterns = nullptr;
    platform::ListModel *m_list = nullptr;
    engine::Steps *m_steps = nullptr;
    // Per folder met by the walk, the resolved folders from the chosen one down to it.
    QHash<QString, QStringList> m_ancestors;
};

} // namespace filelist
