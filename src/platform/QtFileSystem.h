#pragma once

#include "platform/FileSystem.h"

#include <QHash>
#include <functional>
#include <unordered_map>
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
    // One entry of a folder's listing, with what is known of it.
    struct Entry {
        QString name;
        bool folder = false;
        bool known = false;      // listed as a folder or a regular file: no link
        bool unreadable = false; // the name is not valid UTF-8
        int writable = -1;       // -1 until asked
        QString resolved;        // empty until asked
    };
    // A folder's entries, sorted by name without regard to case.
    struct Listing {
        std::vector<Entry> entries;
        size_t next = 0; // the entry after the one looked at last
    };
    // Folders by name, looked up by a part of a longer path as well.
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(QStringView key) const { return qHash(key); }
    };
    // Lists a folder, sorted; throws its failure.
    std::vector<Entry> read(const QString &folder);
    // The folder's remembered listing, listed now when it is not yet.
    const std::vector<Entry> &rememberedEntries(const QString &folder);
    // The listing of the folder of this key, if it was listed.
    Listing *rememberedListing(QStringView key);
    // The remembered entry a path names.
    Entry *remembered(const QString &path);
    // Where the folder of this key resolves, as far as the scan has asked; empty otherwise.
    QString rememberedResolved(const QString &key);

    int m_unreadableNames = 0;
    bool m_remember = false;
    // Remembered listings by folder; a walk looks in the folder it listed last, again and again.
    std::unordered_map<QString, Listing, KeyHash, std::equal_to<>> m_listings;
    Listing *m_lastListing = nullptr;
    QString m_lastKey;
    // Where the folders a scan starts from resolve.
    QHash<QString, QString> m_starts;
};

} // namespace platform
