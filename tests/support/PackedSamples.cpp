#include "PackedSamples.h"

#include <archive.h>
#include <archive_entry.h>

#include <QtGlobal>
#include <sys/sysmacros.h>

namespace fakes {

namespace {

la_ssize_t append(archive *, void *out, const void *data, size_t size)
{
    static_cast<QByteArray *>(out)->append(static_cast<const char *>(data), qsizetype(size));
    return la_ssize_t(size);
}

void check(archive *writer, int status)
{
    if (status < ARCHIVE_WARN)
        qFatal("libarchive: %s", archive_error_string(writer));
}

void setFilter(archive *writer, Packing how)
{
    switch (how) {
    case Packing::Gzip:
    case Packing::GzipTwoMembers:
    case Packing::TarGz:
        check(writer, archive_write_add_filter_gzip(writer));
        break;
    case Packing::Bzip2:
        check(writer, archive_write_add_filter_bzip2(writer));
        break;
    case Packing::Xz:
        check(writer, archive_write_add_filter_xz(writer));
        break;
    case Packing::Lzma:
        check(writer, archive_write_add_filter_lzma(writer));
        break;
    case Packing::Zstd:
    case Packing::TarZst:
        check(writer, archive_write_add_filter_zstd(writer));
        break;
    case Packing::Lz4:
        check(writer, archive_write_add_filter_lz4(writer));
        break;
    default:
        break;
    }
}

void setFormat(archive *writer, Packing how)
{
    switch (how) {
    case Packing::Zip:
        check(writer, archive_write_set_format_zip(writer));
        break;
    case Packing::Tar:
    case Packing::TarGz:
    case Packing::TarZst:
        check(writer, archive_write_set_format_pax_restricted(writer));
        break;
    case Packing::SevenZip:
        check(writer, archive_write_set_format_7zip(writer));
        break;
    case Packing::Cpio:
        check(writer, archive_write_set_format_cpio_newc(writer));
        break;
    case Packing::Ar:
        check(writer, archive_write_set_format_ar_svr4(writer));
        break;
    default:
        check(writer, archive_write_set_format_raw(writer));
        break;
    }
}

QByteArray write(Packing how, const std::vector<PackedMember> &members, const char *passphrase)
{
    QByteArray out;
    archive *writer = archive_write_new();
    setFilter(writer, how);
    setFormat(writer, how);
    if (passphrase) {
        check(writer, archive_write_set_options(writer, "zip:encryption=zipcrypt"));
        check(writer, archive_write_set_passphrase(writer, passphrase));
    }
    // As the command-line tools write them: nothing after the end of the stream.
    check(writer, archive_write_set_bytes_in_last_block(writer, 1));
    check(writer, archive_write_open(writer, &out, nullptr, append, nullptr));
    for (const PackedMember &member : members) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, member.name.constData());
        archive_entry_set_perm(entry, 0644);
        switch (member.kind) {
        case PackedMember::Kind::File:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, member.bytes.size());
            break;
        case PackedMember::Kind::Link:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, member.bytes.constData());
            break;
        case PackedMember::Kind::Device:
            archive_entry_set_filetype(entry, AE_IFCHR);
            archive_entry_set_rdev(entry, makedev(1, 5));
            break;
        case PackedMember::Kind::Folder:
            archive_entry_set_filetype(entry, AE_IFDIR);
            break;
        }
        check(writer, archive_write_header(writer, entry));
        if (member.kind == PackedMember::Kind::File && !member.bytes.isEmpty() &&
            archive_write_data(writer, member.bytes.constData(), size_t(member.bytes.size())) < 0)
            check(writer, ARCHIVE_FATAL);
        archive_entry_free(entry);
        if (isStream(how))
            break;
    }
    check(writer, archive_write_close(writer));
    archive_write_free(writer);
    return out;
}

} // namespace

bool isStream(Packing how)
{
    return how < Packing::Zip;
}

QByteArray packed(Packing how, const std::vector<PackedMember> &members, const char *passphrase)
{
    if (how != Packing::GzipTwoMembers)
        return write(how, members, passphrase);
    const QByteArray &text = members.at(0).bytes;
    const qsizetype half = text.size() / 2;
    return write(how, {{"a", text.left(half)}}, nullptr) +
           write(how, {{"b", text.mid(half)}}, nullptr);
}

} // namespace fakes
