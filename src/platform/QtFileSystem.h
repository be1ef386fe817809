#pragma once

#include "platform/FileSystem.h"

#include <QHash>
#include <vector>

namespace platform {

// File attributes read from the real file system, never opening a file (so a FIFO or a
// device never blocks).
class QtFileSystem : public FileSystem {
public:
    // How long what is looked up holds.
    enum class Looks {
        Fresh,      // every call looks again: the window's file system, which lives long
        Remembered, // a folder is listed once, and what its listing tells of an entry (a
                    // file or a folder, not a link) stands in for a look at it: one scan
                    // of a command line, done in moments
    };
    explicit QtFileSystem(Looks looks = Looks::Fresh) : m_remember(looks == Looks::Remembered) {}

    FileAttributes attributes(const QString &path) override;
    bool isUsableFile(const QString &path) override;
    bool isFolder(const QString &path) override;
    bool fileExists(const QString &path) override;
    // Lists through opendir/readdir, sorted by name without regard to case so every scan of
    // a folder gives the same order.
    QStringList entries(const QString &folder, EntryKind kind) override;
    QString resolvedPath(const QString &path) override;
    QString linkTarget(const QString &path) override;
    FileStamp stamp(const QString &path) override;
    int unreadableNames() const override { return m_unreadableNames; }

private:
    // One entry of a folder's listing.
    struct Entry {
        QString name;
        bool folder = false;
        bool unreadable = false; // the name is not valid UTF-8
    };
    // What is known of a path.
    struct Look {
        bool folder = false; // a folder, else a regular file; never a link
        int writable = -1;   // -1 until asked
        QString resolved;    // empty until asked
    };
    std::vector<Entry> listing(const QString &folder);
    Look *remembered(const QString &path);

    int m_unreadableNames = 0;
    bool m_remember = false;
    QHash<QString, std::vector<Entry>> m_listings;
    QHash<QString, Look> m_looks;
};

} // namespace platform
