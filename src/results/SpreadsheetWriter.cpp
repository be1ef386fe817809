#include "SpreadsheetWriter.h"

#include "engine/Steps.h"
#include "platform/ListModel.h"
#include "platform/Yield.h"
#include "results/SheetCellText.h"
#include "results/SheetLibrary.h"
#include "results/Utf8Text.h"
#include "results/ZipMember.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace results {

SpreadsheetWriter::SpreadsheetWriter(platform::Yield &yield) : m_yield(yield)
{
}

SpreadsheetWriter::~SpreadsheetWriter()
{
    if (m_workbook)
        m_calls->workbookFree(m_workbook);
}

void SpreadsheetWriter::check(int error) const
{
    if (error != LXW_NO_ERROR)
        throw engine::Failure(m_calls->errorText(lxw_error(error)));
}

void SpreadsheetWriter::create(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // Rows go to disk as they are written, so a million rows need no more memory than one.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    m_calls = &SheetLibrary::get();
    m_path = path;
    m_workbook = m_calls->workbookNew(name.constData(), &options);
    if (!m_workbook)
        throw engine::Failure("Cannot create the workbook " + path.toStdString());
    m_sheet = m_calls->addWorksheet(m_workbook, nullptr);
    if (!m_sheet)
        throw engine::Failure("Cannot add a sheet to the workbook");
}

void SpreadsheetWriter::writeCell(int row, int column, const QString &text)
{
    QStringView value(text);
    if (value.size() > kCellCharacters) {
        qsizetype keep = kCellCharacters;
        if (value[keep - 1].isHighSurrogate())
            --keep;
        value = value.first(keep);
        ++m_cellsCut;
    }
    if (size_t(column) >= m_widths.size())
        m_widths.resize(size_t(column) + 1, 0);
    m_widths[size_t(column)] = std::max(m_widths[size_t(column)], int(value.size()));
    bool replaced = false;
    m_utf8.clear();
    appendUtf8(sheetCellText(value, &replaced), m_utf8);
    if (replaced)
        ++m_cellsReplaced;
    // Always a string cell: the workbook never sees a formula, whatever the text starts with.
    check(
        m_calls->writeString(m_sheet, lxw_row_t(row), lxw_col_t(column), m_utf8.c_str(), nullptr));
}

void SpreadsheetWriter::writeHeaders(const platform::ListModel &list)
{
    m_yield.yield();
    writeCell(0, 0, list.header());
}

void SpreadsheetWriter::writeRows(const platform::ListModel &list, int &step)
{
    step = 138;
    const int rows = list.count();
    for (int r = 0; r < rows; ++r) {
        step = 140;
        m_yield.yield();
        step = 142;
        if (r + 1 >= kSheetRows) {
            ++m_rowsLeftOut;
            continue;
        }
        step = 152;
        writeCell(r + 1, 0, list.text(r));
    }
}

int SpreadsheetWriter::count(Shortfall shortfall) const
{
    switch (shortfall) {
    case Shortfall::RowsLeftOut:
        return m_rowsLeftOut;
    case Shortfall::CellsCut:
        return m_cellsCut;
    case Shortfall::CellsReplaced:
        return m_cellsReplaced;
    }
    return 0;
}

QString SpreadsheetWriter::describe(Shortfall shortfall, int count)
{
    const QString wasOrWere = count == 1 ? QStringLiteral("was") : QStringLiteral("were");
    const QString results =
        count == 1 ? QStringLiteral("1 result") : QStringLiteral("%1 results").arg(count);
    switch (shortfall) {
    case Shortfall::RowsLeftOut:
        return QStringLiteral("A sheet holds %1 rows, so the last %2 did not fit and %3 left out "
                              "of the spreadsheet.")
            .arg(kSheetRows)
            .arg(results, wasOrWere);
    case Shortfall::CellsCut:
        return QStringLiteral("%1 %2 longer than the %3 characters a cell holds and %4 cut short "
                              "in the spreadsheet.")
            .arg(results, wasOrWere)
            .arg(kCellCharacters)
            .arg(wasOrWere);
    case Shortfall::CellsReplaced:
        return QStringLiteral("%1 held characters a spreadsheet cannot store (NUL or other "
                              "control characters); %2 shown as \uFFFD there.")
            .arg(count == 1 ? QStringLiteral("1 cell") : QStringLiteral("%1 cells").arg(count),
                 count == 1 ? QStringLiteral("it is") : QStringLiteral("they are"));
    }
    return {};
}

void SpreadsheetWriter::fitColumns()
{
    for (size_t k = 0; k < m_widths.size(); ++k) {
        // One width unit holds about one character; the extra one leaves room for the margins.
        const double width = std::min(255.0, m_widths[k] + 1.0);
        check(m_calls->setColumn(m_sheet, lxw_col_t(k), lxw_col_t(k), width, nullptr));
    }
}

void SpreadsheetWriter::close()
{
    // The library keeps the rows in a temporary file and never checks its writes, so a full
    // disk would give a truncated sheet in a workbook that closes without complaint.
    if (m_sheet && m_sheet->optimize_tmpfile) {
        m_calls->writeSingleRow(m_sheet);
        std::FILE *rows = m_sheet->optimize_tmpfile;
        errno = 0;
        if (std::fflush(rows) != 0 || std::ferror(rows)) {
            const int error = errno;
            throw engine::Failure(std::string("Cannot write the rows: ") +
                                  (error != 0 ? std::strerror(error) : "Device I/O error"));
        }
    }
    lxw_workbook *workbook = m_workbook;
    m_workbook = nullptr;
    m_sheet = nullptr;
    const QString path = m_path;
    // Assembling a large workbook takes seconds inside the library and touches nothing but
    // the workbook, so it runs beside the window, which goes on handling its events.
    check(platform::runAside(
        m_yield, [workbook, close = m_calls->workbookClose] { return close(workbook); }));
    const bool complete = platform::runAside(m_yield, [path] {
        return zipMemberComplete(path, "xl/worksheets/sheet1.xml", "</worksheet>");
    });
    if (!complete)
        throw engine::Failure("The workbook " + path.toStdString() +
                              " is incomplete: the disk may be full");
}

} // namespace results
