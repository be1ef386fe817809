#pragma once

#include <QByteArray>
#include <vector>

namespace fakes {

// How a sample file is packed: one compressed stream, or an archive.
enum class Packing {
    Gzip,
    GzipTwoMembers, // the text cut in two, each half its own gzip stream, end to end
    Bzip2,
    Xz,
    Lzma,
    Zstd,
    Lz4,
    Zip,
    Tar,
    TarGz,
    TarZst,
    SevenZip,
    Cpio,
    Ar,
};

// One member of an archive: a file, or (with no bytes) a link to bytes, a device or a folder.
struct PackedMember {
    enum class Kind { File, Link, Device, Folder };
    QByteArray name;
    QByteArray bytes;
    Kind kind = Kind::File;
};

// Returns a compressed stream of the first member's bytes, or an archive of every member,
// made with libarchive's writer. A passphrase encrypts the members of a zip.
QByteArray packed(Packing how, const std::vector<PackedMember> &members,
                  const char *passphrase = nullptr);

// Returns true when the packing is one stream rather than an archive of named members.
bool isStream(Packing how);

} // namespace fakes
