#pragma once

#include <xlsxwriter.h>

namespace results {

// The calls of the spreadsheet library, loaded the first time a workbook is written. Linked
// in, the library and the cryptography library it needs would cost every start of the
// program, its command line's too, several milliseconds.
struct SheetLibrary {
    decltype(&::workbook_new_opt) workbookNew;
    decltype(&::workbook_add_worksheet) addWorksheet;
    decltype(&::worksheet_write_string) writeString;
    decltype(&::worksheet_set_column) setColumn;
    decltype(&::lxw_worksheet_write_single_row) writeSingleRow;
    decltype(&::workbook_close) workbookClose;
    decltype(&::lxw_workbook_free) workbookFree;
    decltype(&::lxw_strerror) errorText;

    // Returns the library's calls, loading it the first time; throws engine::Failure when it
    // cannot be loaded.
    static const SheetLibrary &get();
};

} // namespace results
