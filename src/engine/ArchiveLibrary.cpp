#include "ArchiveLibrary.h"

#include "Steps.h"

#include <dlfcn.h>
#include <string>
#include <type_traits>

namespace engine {

namespace {

// The library's name with the major version of its interface, which every libarchive 3
// keeps.
constexpr const char *kLibrary = "libarchive.so.13";

// Loads the library once; what failed, if anything, is kept for every later call. The
// library stays loaded until the program ends: the calls point into it.
struct Loaded {
    ArchiveLibrary calls{};
    std::string failure;

    Loaded()
    {
        void *const library = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char *why = ::dlerror();
            failure =
                std::string("The archive library cannot be loaded: ") + (why ? why : kLibrary);
            return;
        }
        const auto resolve = [&](auto &call, const char *name) {
            call =
                reinterpret_cast<std::remove_reference_t<decltype(call)>>(::dlsym(library, name));
            if (!call && failure.empty())
                failure = std::string("The archive library lacks ") + name;
        };
        resolve(calls.readNew, "archive_read_new");
        resolve(calls.readFree, "archive_read_free");
        resolve(calls.supportFilterAll, "archive_read_support_filter_all");
        resolve(calls.supportFormatRaw, "archive_read_support_format_raw");
        resolve(calls.supportFormatEmpty, "archive_read_support_format_empty");
        resolve(calls.supportFormatTar, "archive_read_support_format_tar");
        resolve(calls.supportFormatZip, "archive_read_support_format_zip");
        resolve(calls.supportFormat7zip, "archive_read_support_format_7zip");
        resolve(calls.supportFormatCpio, "archive_read_support_format_cpio");
        resolve(calls.supportFormatAr, "archive_read_support_format_ar");
        resolve(calls.openMemory, "archive_read_open_memory");
        resolve(calls.openFilename, "archive_read_open_filename");
        resolve(calls.open, "archive_read_open");
        resolve(calls.nextHeader, "archive_read_next_header");
        resolve(calls.readData, "archive_read_data");
        resolve(calls.format, "archive_format");
        resolve(calls.errorString, "archive_error_string");
        resolve(calls.setError, "archive_set_error");
        resolve(calls.entryFiletype, "archive_entry_filetype");
        resolve(calls.entryPathname, "archive_entry_pathname");
        resolve(calls.entryPathnameUtf8, "archive_entry_pathname_utf8");
        resolve(calls.entryIsEncrypted, "archive_entry_is_encrypted");
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
