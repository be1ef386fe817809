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

// How each packing is written: its compression (none for nullptr) and its archive format.
struct Writing {
    int (*filter)(archive *);
    int (*format)(archive *);
};

Writing writingOf(Packing how)
{
    switch (how) {
    case Packing::Gzip:
    case Packing::GzipTwoMembers:
        return {archive_write_add_filter_gzip, archive_write_set_format_raw};
    case Packing::Bzip2:
        return {archive_write_add_filter_bzip2, archive_write_set_format_raw};
    case Packing::Xz:
        return {archive_write_add_filter_xz, archive_write_set_format_raw};
    case Packing::Lzma:
        return {archive_write_add_filter_lzma, archive_write_set_format_raw};
    case Packing::Zstd:
        return {archive_write_add_filter_zstd, archive_write_set_format_raw};
    case Packing::Lz4:
        return {archive_write_add_filter_lz4, archive_write_set_format_raw};
    case Packing::Zip:
        return {nullptr, archive_write_set_format_zip};
    case Packing::Tar:
        return {nullptr, archive_write_set_format_pax_restricted};
    case Packing::TarGz:
        return {archive_write_add_filter_gzip, archive_write_set_format_pax_restricted};
    case Packing::TarZst:
        return {archive_write_add_filter_zstd, archive_write_set_format_pax_restricted};
    case Packing::SevenZip:
        return {nullptr, archive_write_set_format_7zip};
    case Packing::Cpio:
        return {nullptr, archive_write_set_format_cpio_newc};
    case Packing::Ar:
        return {nullptr, archive_write_set_format_ar_svr4};
    }
    return {nullptr, archive_write_set_format_raw};
}

QByteArray write(Packing how, const std::vector<PackedMember> &members, const char *passphrase)
{
    QByteArray out;
    archive *writer = archive_write_new();
    const Writing writing = writingOf(how);
    if (writing.filter)
        check(writer, writing.filter(writer));
    check(writer, writing.format(writer));
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
