#pragma once

#include <QString>
#include <string>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;

namespace platform {
class ListModel;
class Yield;
} // namespace platform

namespace results {

struct SheetLibrary;

// Writes a list into a new .xlsx workbook: the header in sheet row 1, list row r in sheet
// row r + 1, every value a text cell, so a text such as "=1+1" stays text. Every failure
// throws engine::Failure.
class SpreadsheetWriter {
public:
    // The rows one sheet holds, the header row included.
    static constexpr int kSheetRows = 1048576;
    // The most characters a cell holds.
    static constexpr int kCellCharacters = 32767;

    explicit SpreadsheetWriter(platform::Yield &yield);
    // Frees a workbook that was never closed.
    ~SpreadsheetWriter();
    SpreadsheetWriter(const SpreadsheetWriter &) = delete;
    SpreadsheetWriter &operator=(const SpreadsheetWriter &) = delete;

    // Starts the workbook file at path (replacing it) with one sheet.
    void create(const QString &path);
    // Writes the column's header into sheet row 1.
    void writeHeaders(const platform::ListModel &list);
    // Writes the rows below the headers until the sheet is full. step receives the number of
    // the step under way, for the error report.
    void writeRows(const platform::ListModel &list, int &step);
    // Fits every column to its widest text.
    void fitColumns();
    // Finishes the workbook file; throws when any part of it could not be written.
    void close();

    // Returns how many rows found no room on the sheet.
    int rowsLeftOut() const { return m_rowsLeftOut; }
    // Returns how many cells were cut to the most a cell holds.
    int cellsCut() const { return m_cellsCut; }
    // Returns how many cells held characters the file cannot store, replaced by U+FFFD.
    int cellsReplaced() const { return m_cellsReplaced; }

    // What a finished workbook may lack of the list.
    enum class Shortfall {
        RowsLeftOut,   // rows beyond the sheet's last
        CellsCut,      // texts longer than a cell holds
        CellsReplaced, // characters a cell cannot store
    };
    // Returns the count of one shortfall of this workbook.
    int count(Shortfall shortfall) const;
    // Returns the sentence that tells a user of count results of one shortfall.
    static QString describe(Shortfall shortfall, int count);

private:
    void writeCell(int row, int column, const QString &text);
    void check(int error) const;

    platform::Yield &m_yield;
    const SheetLibrary *m_calls = nullptr;
    lxw_workbook *m_workbook = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    QString m_path;
    std::vector<int> m_widths;
    std::string m_utf8;
    int m_rowsLeftOut = 0;
    int m_cellsCut = 0;
    int m_cellsReplaced = 0;
};

} // namespace results
