#include "SheetLibrary.h"

#include "engine/SharedLibrary.h"
#include "engine/Steps.h"

#include <string>

namespace results {

namespace {

// The library's name with the major version of its interface.
constexpr const char *kLibrary = "libxlsxwriter.so." LXW_SOVERSION;

// Loads the library once; what failed, if anything, is kept for every later call.
struct Loaded {
    SheetLibrary calls{};
    std::string failure;

    Loaded()
    {
        engine::SharedLibrary library(kLibrary, "spreadsheet library");
        library.resolve(calls.workbookNew, "workbook_new_opt");
        library.resolve(calls.addWorksheet, "workbook_add_worksheet");
        library.resolve(calls.writeString, "worksheet_write_string");
        library.resolve(calls.setColumn, "worksheet_set_column");
        library.resolve(calls.writeSingleRow, "lxw_worksheet_write_single_row");
        library.resolve(calls.workbookClose, "workbook_close");
        library.resolve(calls.workbookFree, "lxw_workbook_free");
        library.resolve(calls.errorText, "lxw_strerror");
        failure = library.failure();
    }
};

} // namespace

const SheetLibrary &SheetLibrary::get()
{
    static const Loaded loaded;
    if (!loaded.failure.empty())
        throw engine::Failure(loaded.failure);
    return loaded.calls;
}

} // namespace results
