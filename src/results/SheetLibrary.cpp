#include "SheetLibrary.h"

#include "engine/Steps.h"

#include <QLibrary>
#include <string>
#include <type_traits>

namespace results {

namespace {

// Loads the library once; what failed, if anything, is kept for every later call.
struct Loaded {
    SheetLibrary calls{};
    std::string failure;

    Loaded()
    {
        QLibrary library(QStringLiteral("xlsxwriter"), QStringLiteral(LXW_SOVERSION));
        // Kept loaded until the program ends: the calls point into it.
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (!library.load()) {
            failure =
                "The spreadsheet library cannot be loaded: " + library.errorString().toStdString();
            return;
        }
        const auto resolve = [&](auto &call, const char *name) {
            call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(library.resolve(name));
            if (!call && failure.empty())
                failure = std::string("The spreadsheet library lacks ") + name;
        };
        resolve(calls.workbookNew, "workbook_new_opt");
        resolve(calls.addWorksheet, "workbook_add_worksheet");
        resolve(calls.writeString, "worksheet_write_string");
        resolve(calls.setColumn, "worksheet_set_column");
        resolve(calls.writeSingleRow, "lxw_worksheet_write_single_row");
        resolve(calls.workbookClose, "workbook_close");
        resolve(calls.workbookFree, "lxw_workbook_free");
        resolve(calls.errorText, "lxw_strerror");
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
