#pragma once

#include "platform/FileSystem.h"
#include "platform/RowOrigin.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QTemporaryDir;
class QThread;

namespace results {

// Keeps read-only copies of the text inside compressed files and archive members, for editors
// to open: one subfolder a copy in a private folder (mode 0700) made once, at the first copy,
// and removed with this object. Copies are written on a thread of their own, one at a time.
class PackedCopies : public QObject {
public:
    // Tells how a copy ended: the copy's path, or (no path) why there is none.
    using Done = std::function<void(const QString &copy, const QString &failure)>;

    // The free space a copy must leave on its disk unless told otherwise.
    static constexpr qint64 defaultSpareBytes = qint64(256) << 20;

    // Looks at the files copied from through fileSystem.
    explicit PackedCopies(platform::FileSystem &fileSystem);
    // Stops a copy under way, waits for it and removes the folder with every copy.
    ~PackedCopies() override;

    // Returns the copy of a member of the file at path made before, while the file has kept
    // its size and time of change and the copy is still there; empty text otherwise.
    QString existingCopy(const QString &path, const platform::PackedMember &member);
    // Starts copying a member of the file at path; done is called on this object's thread
    // once the copy ends, unless this object is gone by then. Returns false, doing nothing,
    // while another copy is being made.
    bool make(const QString &path, const platform::PackedMember &member, Done done);
    // Returns true while a copy is being made.
    bool busy() const { return m_thread != nullptr; }
    // Returns the private folder, empty before the first copy.
    QString folder() const;
    // Sets the free space every copy must leave on its disk.
    void setSpareBytes(qint64 bytes) { m_spareBytes = bytes; }

    // Stops the copies of every object alive and removes their folders: for a program about
    // to end at a signal, which destroys nothing.
    static void removeAll();

private:
    struct Copy {
        QString path;
        platform::FileStamp stamp;
    };
    static QString keyOf(const QString &path, const platform::PackedMember &member);
    void finish(const QString &key, platform::FileStamp stamp, const QString &folder,
                const Done &done);
    void stopAndRemove();

    platform::FileSystem &m_fileSystem;
    qint64 m_spareBytes = defaultSpareBytes;
    std::unique_ptr<QTemporaryDir> m_folder;
    int m_made = 0; // subfolders made, which names the next one
    QHash<QString, Copy> m_copies;
    QThread *m_thread = nullptr;
    std::atomic<bool> m_stop{false};
    // What the thread under way found: the copy's path, or why there is none.
    QString m_result;
    QString m_failure;
};

} // namespace results
