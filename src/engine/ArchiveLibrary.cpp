#include "ArchiveLibrary.h"

#include "SharedLibrary.h"
#include "Steps.h"

#include <string>

namespace engine {

namespace {

// The library's name with the major version of its interface, which every libarchive 3
// keeps.
constexpr const char *kLibrary = "libarchive.so.13";

// Loads the library once; what failed, if anything, is kept for every later call.
struct Loaded {
    ArchiveLibrary calls{};
    std::string failure;

    Loaded()
    {
        SharedLibrary library(kLibrary, "archive library");
        library.resolve(calls.readNew, "archive_read_new");
        library.resolve(calls.readFree, "archive_read_free");
        library.resolve(calls.supportFilterAll, "archive_read_support_filter_all");
        library.resolve(calls.supportFormatRaw, "archive_read_support_format_raw");
        library.resolve(calls.supportFormatEmpty, "archive_read_support_format_empty");
        library.resolve(calls.supportFormatTar, "archive_read_support_format_tar");
        library.resolve(calls.supportFormatZip, "archive_read_support_format_zip");
        library.resolve(calls.supportFormat7zip, "archive_read_support_format_7zip");
        library.resolve(calls.supportFormatCpio, "archive_read_support_format_cpio");
        library.resolve(calls.supportFormatAr, "archive_read_support_format_ar");
        library.resolve(calls.openMemory, "archive_read_open_memory");
        library.resolve(calls.openFilename, "archive_read_open_filename");
        library.resolve(calls.open, "archive_read_open");
        library.resolve(calls.nextHeader, "archive_read_next_header");
        library.resolve(calls.readData, "archive_read_data");
        library.resolve(calls.format, "archive_format");
        library.resolve(calls.errorString, "archive_error_string");
        library.resolve(calls.setError, "archive_set_error");
        library.resolve(calls.entryFiletype, "archive_entry_filetype");
        library.resolve(calls.entryPathname, "archive_entry_pathname");
        library.resolve(calls.entryPathnameUtf8, "archive_entry_pathname_utf8");
        library.resolve(calls.entryIsEncrypted, "archive_entry_is_encrypted");
        failure = library.failure();
    }
};

} // namespace

const ArchiveLibrary &ArchiveLibrary::get()
{
    static const Loaded loaded;
    if (!loaded.failure.empty())
        throw Failure(loaded.failure);
    return loaded.calls;
}

} // namespace engine
