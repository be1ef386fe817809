#pragma once

#include "platform/RowOrigin.h"

#include <QString>
#include <atomic>

namespace results {

// One copy of the text inside a compressed file or an archive member, to be written.
struct PackedCopy {
    QString source; // the compressed file or archive
    platform::PackedMember member;
    QString folder; // an existing folder of the copy's own
    // The free space the copy must leave on the folder's disk.
    qint64 spareBytes = 0;
};

// Returns the name a copy takes: the last part of the member's path, or for a compressed
// file's one text the file's own name; either without its compression suffix (.gz, .xz,
// .bz2, .zst, .lz4, .lzma) when its text was decompressed, and "text" when nothing is left.
QString copyName(const QString &source, const QString &member, bool decompressed);

// Writes the member's text (decompressed, when the member is itself compressed) into the
// copy's folder, a block at a time, and makes it read-only; returns the copy's path. Throws
// engine::Failure with what went wrong (the archive cannot be read, the member is encrypted
// or no longer there, the disk would be left with less than the spare space, a write fails,
// or stop was set), leaving no part of the copy behind.
QString writePackedCopy(const PackedCopy &copy, const std::atomic<bool> &stop);

} // namespace results
