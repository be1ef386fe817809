#pragma once

#include "platform/FileSystem.h"

namespace platform {

// File attributes read from the real file system, never opening a file (so a FIFO or a
// device never blocks).
class QtFileSystem : public FileSystem {
public:
    FileAttributes attributes(const QString &path) override;
    bool isUsableFile(const QString &path) override;
    bool fileExists(const QString &path) override;
    // Lists through opendir/readdir, sorted by name without regard to case so every scan of
    // a folder gives the same order.
    QStringList entries(const QString &folder, EntryKind kind) override;
    QString resolvedPath(const QString &path) override;
    QString linkTarget(const QString &path) override;
    FileStamp stamp(const QString &path) override;
    int unreadableNames() const override { return m_unreadableNames; }

private:
    int m_unreadableNames = 0;
};

} // namespace platform
