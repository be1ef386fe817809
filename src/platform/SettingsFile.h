#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// The settings file on the disk, shared with other programs: read whole, and changed by
// replacing it with a copy in which only the changed values differ.
class SettingsFile {
public:
    // Per section, the keys to set and their values, in the order they were set.
    using Changes = std::map<QString, std::vector<std::pair<QString, QString>>>;

    // Returns what stands at the path when it is not a regular file, links followed ("a FIFO",
    // "a folder", ...); empty text for a regular file or nothing at all.
    static std::string nonRegularKind(const QString &path);
    // Returns the file's bytes, or none with missing set when there is no file; throws
    // engine::Failure when it cannot be read. Never waits on a FIFO or a device.
    static QByteArray read(const QString &path, bool &missing);
    // Sets the values in the file under the file's lock, replacing it atomically (a copy
    // beside it, flushed to the disk, renamed over it; through a link, its target) unless
    // nothing changes. Throws engine::Failure, leaving the file as it was, when it cannot.
    static void write(const QString &path, const Changes &changes);

    // Returns the description of a failure to write the file.
    static std::string cannotWriteText(const QString &path);
    // Returns the description of a file that QSettings would call damaged.
    static std::string damagedText(const QString &path);
    // Returns the description of a path that is no regular file.
    static std::string notRegularText(const QString &path, const std::string &kind);
};

} // namespace platform
