#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// File attributes as the folder scan and the file test see them.
struct FileAttributes {
    bool exists = false;
    bool folder = false;
    bool hidden = false;   // the name starts with '.'
    bool system = false;   // a folder the OS keeps for itself: lost+found, .Trash*
    bool archive = false;  // every regular file
    bool readOnly = false; // not writable by the user
    bool link = false;     // a symbolic link
};

// The attribute bits the folder and file tests compare against.
enum AttributeBit {
    ReadOnlyBit = 1,
    HiddenBit = 2,
    SystemBit = 4,
    FolderBit = 16,
    ArchiveBit = 32,
    LinkBit = 1024,
};

// Returns the attribute set as one number (hidden plus archive is 34, a hidden system folder
// 22); 0 for a path that does not exist.
inline int attributeValue(const FileAttributes &a)
{
    if (!a.exists)
        return 0;
    return (a.readOnly ? ReadOnlyBit : 0) | (a.hidden ? HiddenBit : 0) |
           (a.system ? SystemBit : 0) | (a.folder ? FolderBit : 0) | (a.archive ? ArchiveBit : 0) |
           (a.link ? LinkBit : 0);
}

// What tells whether a file changed since it was looked at: its size and the time of its last
// change.
struct FileStamp {
    qint64 size = -1;     // -1 when the file cannot be looked at
    qint64 changedNs = 0; // since the epoch, in nanoseconds
    bool operator==(const FileStamp &) const = default;
};

// Which entries of a folder a listing returns.
enum class EntryKind {
    Folders, // sub-folders, symbolic links to folders included
    Files,   // everything else: files, links to files, dangling links, FIFOs, devices
};

// The descriptions a folder listing fails with when the folder cannot be opened.
inline const char *const permissionDeniedText = "Permission denied";
inline const char *const pathNotFoundText = "Path not found";

// Listing folders and reading attributes, without ever blocking on FIFOs or devices.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Returns the attributes of a path.
    virtual FileAttributes attributes(const QString &path) = 0;
    // Returns whether the path is an existing regular file.
    virtual bool isUsableFile(const QString &path) = 0;
    // Returns whether the path is an existing folder (through links).
    virtual bool isFolder(const QString &path)
    {
        const FileAttributes found = attributes(path);
        return found.exists && found.folder;
    }
    // Returns whether the time of the path's last change can be read.
    virtual bool fileExists(const QString &path) = 0;
    // Returns the names of one kind of entry of a folder, in listing order, hidden ones
    // included; throws engine::Failure with permissionDeniedText or pathNotFoundText (or
    // another description) when the folder cannot be listed.
    virtual QStringList entries(const QString &folder, EntryKind kind) = 0;
    // Returns the path with every symbolic link in it resolved, or empty text when it
    // cannot be resolved; two folders with the same result are the same folder.
    virtual QString resolvedPath(const QString &path) = 0;
    // Returns the name a symbolic link leads to, through links to links, whether or not
    // anything stands there; empty text when the path is no symbolic link.
    virtual QString linkTarget(const QString &path)
    {
        (void)path;
        return {};
    }
    // Returns the size and the time of the last change of the file at path (through links);
    // a size of -1 when they cannot be read.
    virtual FileStamp stamp(const QString &path)
    {
        (void)path;
        return {};
    }
    // Returns how many entries the listings so far left out because their names cannot be
    // turned into text and back into the same name.
    virtual int unreadableNames() const { return 0; }
};

} // namespace platform
