#include "SpreadsheetWriter.h"

#include "engine/Steps.h"
#include "platform/ListModel.h"
#include "platform/Yield.h"
#include "results/ListCells.h"

#include <QFile>
#include <xlsxwriter.h>

#include <algorithm>

namespace results {

namespace {

// Converts UTF-16 to UTF-8 into a reused buffer; a lone surrogate becomes U+FFFD, so the
// workbook always receives valid UTF-8.
void toUtf8(QStringView text, std::string &out)
{
    out.clear();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text[i].unicode();
        if (c < 0x80) {
            out.push_back(char(c));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), text[i + 1].unicode());
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        }
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

} // namespace

SpreadsheetWriter::SpreadsheetWriter(platform::Yield &yield) : m_yield(yield)
{
}

SpreadsheetWriter::~SpreadsheetWriter()
{
    if (m_workbook)
        lxw_workbook_free(m_workbook);
}

void SpreadsheetWriter::check(int error) const
{
    if (error != LXW_NO_ERROR)
        throw engine::Failure(lxw_strerror(lxw_error(error)));
}

void SpreadsheetWriter::create(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // Rows go to disk as they are written, so a million rows need no more memory than one.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    m_workbook = workbook_new_opt(name.constData(), &options);
    if (!m_workbook)
        throw engine::Failure("Cannot create the workbook " + path.toStdString());
    m_sheet = workbook_add_worksheet(m_workbook, nullptr);
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
    toUtf8(value, m_utf8);
    // Always a string cell: the workbook never sees a formula, whatever the text starts with.
    check(worksheet_write_string(m_sheet, lxw_row_t(row), lxw_col_t(column), m_utf8.c_str(),
                                 nullptr));
}

void SpreadsheetWriter::writeHeaders(const platform::ListModel &list)
{
    const auto &headers = list.headers();
    const int columns = std::min(int(headers.size()), int(LXW_COL_MAX));
    for (int k = 0; k < columns; ++k) {
        m_yield.yield();
        writeCell(0, k, headers[size_t(k)].text);
    }
}

void SpreadsheetWriter::writeRows(const platform::ListModel &list, int &step)
{
    const int columns = std::min(int(list.headers().size()), int(LXW_COL_MAX));
    step = 138;
    const int rows = list.count();
    for (int r = 0; r < rows; ++r) {
        step = 140;
        m_yield.yield();
        step = 142;
        if (!list.checked(r))
            continue;
        if (r + 1 >= kSheetRows) {
            ++m_rowsLeftOut;
            continue;
        }
        for (int k = 1; k <= columns; ++k) {
            step = k == 1 ? 152 : 156;
            writeCell(r + 1, k - 1, ListCells::cell(list, r, k));
        }
    }
}

void SpreadsheetWriter::fitColumns()
{
    for (size_t k = 0; k < m_widths.size(); ++k) {
        // One width unit holds about one character; the extra one leaves room for the margins.
        const double width = std::min(255.0, m_widths[k] + 1.0);
        check(worksheet_set_column(m_sheet, lxw_col_t(k), lxw_col_t(k), width, nullptr));
    }
}

void SpreadsheetWriter::close()
{
    lxw_workbook *workbook = m_workbook;
    m_workbook = nullptr;
    m_sheet = nullptr;
    // Assembling a large workbook takes seconds inside the library and touches nothing but
    // the workbook, so it runs beside the window, which goes on handling its events.
    check(platform::runAside(m_yield, [workbook] { return workbook_close(workbook); }));
}

} // namespace results
