#pragma once

#include "platform/FileSystem.h"

namespace platform {

// File attributes read from the real file system, never opening a file (so a FIFO or a
// device never blocks).
class QtFileSystem : public FileSystem {
public:
    FileAttributes attributes(const QString &path) override;
    bool IsUsableFile(const QString &path) override;
    bool FileExists(const QString &path) override;
};

} // namespace platform
