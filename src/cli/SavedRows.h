#pragma once

#include <QString>

namespace platform {
class ListModel;
class Yield;
} // namespace platform

namespace cli {

class ConsoleReporter;

// Writes a run's rows to the files the command line names, through the window's own
// exports; a failure is reported of the file, which is then left as it was (nothing written
// half).
class SavedRows {
public:
    SavedRows(platform::ListModel &rows, platform::Yield &yield, ConsoleReporter &reporter);

    // Writes the aligned text file the window's Save Results As Text File writes; returns
    // whether it was written.
    bool saveText(const QString &path);
    // Writes the workbook the window's Save Results As Excel File makes; returns whether it
    // was written whole (rows a sheet cannot hold are reported, and count as not written).
    bool saveWorkbook(const QString &path);

private:
    bool copyInto(const QString &from, const QString &path);

    platform::ListModel &m_rows;
    platform::Yield &m_yield;
    ConsoleReporter &m_reporter;
};

} // namespace cli
