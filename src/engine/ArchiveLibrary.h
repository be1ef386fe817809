#pragma once

#include <archive.h>
#include <archive_entry.h>

namespace engine {

// The calls of the archive library, loaded the first time a compressed file or an archive is
// read. Linked in, the library and the compression libraries it needs would cost every start
// of the program, its command line's too, a few milliseconds, for files most runs never meet.
struct ArchiveLibrary {
    decltype(&::archive_read_new) readNew;
    decltype(&::archive_read_free) readFree;
    decltype(&::archive_read_support_filter_all) supportFilterAll;
    decltype(&::archive_read_support_format_raw) supportFormatRaw;
    decltype(&::archive_read_support_format_empty) supportFormatEmpty;
    decltype(&::archive_read_support_format_tar) supportFormatTar;
    decltype(&::archive_read_support_format_zip) supportFormatZip;
    decltype(&::archive_read_support_format_7zip) supportFormat7zip;
    decltype(&::archive_read_support_format_cpio) supportFormatCpio;
    decltype(&::archive_read_support_format_ar) supportFormatAr;
    decltype(&::archive_read_open_memory) openMemory;
    decltype(&::archive_read_open_filename) openFilename;
    decltype(&::archive_read_open) open;
    decltype(&::archive_read_next_header) nextHeader;
    decltype(&::archive_read_data) readData;
    decltype(&::archive_format) format;
    decltype(&::archive_error_string) errorString;
    decltype(&::archive_set_error) setError;
    decltype(&::archive_entry_filetype) entryFiletype;
    decltype(&::archive_entry_pathname) entryPathname;
    decltype(&::archive_entry_pathname_utf8) entryPathnameUtf8;
    decltype(&::archive_entry_is_encrypted) entryIsEncrypted;

    // Returns the library's calls, loading it the first time; throws engine::Failure when it
    // cannot be loaded.
    static const ArchiveLibrary &get();
};

} // namespace engine
