#pragma once

#include <QString>

namespace platform {

// What the desktop offers the program: its file manager and its default applications.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Opens a folder in the desktop's file manager; returns false when that failed.
    virtual bool openFolder(const QString &folder) = 0;
    // Returns whether an application is registered for .xlsx workbooks.
    virtual bool hasSpreadsheetApplication() = 0;
    // Opens a workbook file in the default spreadsheet application.
    virtual bool openSpreadsheet(const QString &file) = 0;
};

} // namespace platform
