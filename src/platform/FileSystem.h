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

// Listing folders and reading attributes, without ever blocking on FIFOs or devices.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Returns the attributes of a path.
    virtual FileAttributes attributes(const QString &path) = 0;
    // Returns whether the path is an existing regular file.
    virtual bool IsUsableFile(const QString &path) = 0;
    // Returns whether the time of the path's last change can be read.
    virtual bool FileExists(const QString &path) = 0;
};

} // namespace platform
