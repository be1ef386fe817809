#include "SpreadsheetWriter.h"

#include "engine/Steps.h"
#include "platform/ListModel.h"
#include "platform/Yield.h"
#include "results/Utf8Text.h"

#include <QFile>
#include <xlsxwriter.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace results {

namespace {

// Returns whether XML 1.0 can hold the character at all: tab, line feed, carriage return and
// everything from the blank up, except U+FFFE and U+FFFF.
bool storable(char16_t c)
{
    if (c < 0x20)
        return c == u'\t' || c == u'\n' || c == u'\r';
    return c != 0xFFFE && c != 0xFFFF;
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Returns whether an escape of the form _xHHHH_ starts at position i.
bool escapeAt(QStringView text, qsizetype i)
{
    if (i + 7 > text.size() || text[i] != u'_' || text[i + 1] != u'x' || text[i + 6] != u'_')
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k)
        if (!isHexDigit(text[k]))
            return false;
    return true;
}

quint32 little(const QByteArray &bytes, qsizetype at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

// Returns whether the workbook's member holds the whole XML document: read back from the
// archive, it has the size the archive records and ends with the closing tag. The library
// writes each part into a temporary file without checking, so a full disk shows only here.
bool memberComplete(const QString &workbook, const QByteArray &member, const QByteArray &ending)
{
    QFile file(workbook);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 22)
        return false;
    const qint64 tailSize = std::min<qint64>(file.size(), 65557);
    file.seek(file.size() - tailSize);
    const QByteArray tail = file.read(tailSize);
    const qsizetype end = tail.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || end + 22 > tail.size())
        return false;
    const quint32 directorySize = little(tail, end + 12, 4);
    const quint32 directoryAt = little(tail, end + 16, 4);
    if (directoryAt == 0xFFFFFFFF)
        return true; // a 64-bit archive; not written by this program
    file.seek(directoryAt);
    const QByteArray directory = file.read(directorySize);
    for (qsizetype at = 0; at + 46 <= directory.size();) {
        const quint32 method = little(directory, at + 10, 2);
        const quint32 packed = little(directory, at + 20, 4);
        const quint32 size = little(directory, at + 24, 4);
        const quint32 nameLength = little(directory, at + 28, 2);
        const quint32 skip =
            nameLength + little(directory, at + 30, 2) + little(directory, at + 32, 2);
        const quint32 local = little(directory, at + 42, 4);
        if (directory.mid(at + 46, nameLength) != member) {
            at += 46 + skip;
            continue;
        }
        file.seek(local);
        const QByteArray header = file.read(30);
        if (header.size() < 30)
            return false;
        file.seek(local + 30 + little(header, 26, 2) + little(header, 28, 2));
        // Only the last bytes matter; the rest is counted.
        QByteArray last;
        quint64 total = 0;
        auto keep = [&](const char *data, size_t n) {
            total += n;
            last.append(data, qsizetype(n));
            if (last.size() > 4096)
                last.remove(0, last.size() - 64);
        };
        if (method == 0) {
            const QByteArray data = file.read(packed);
            keep(data.constData(), size_t(data.size()));
        } else if (method == 8) {
            z_stream stream{};
            if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
                return false;
            QByteArray out(1 << 16, Qt::Uninitialized);
            quint64 left = packed;
            int status = Z_OK;
            while (left > 0 && status == Z_OK) {
                QByteArray in = file.read(qint64(std::min<quint64>(left, 1 << 16)));
                if (in.isEmpty())
                    break;
                left -= quint64(in.size());
                stream.next_in = reinterpret_cast<Bytef *>(in.data());
                stream.avail_in = uInt(in.size());
                do {
                    stream.next_out = reinterpret_cast<Bytef *>(out.data());
                    stream.avail_out = uInt(out.size());
                    status = inflate(&stream, Z_NO_FLUSH);
                    keep(out.constData(), size_t(out.size()) - stream.avail_out);
                } while (status == Z_OK && stream.avail_out == 0);
            }
            inflateEnd(&stream);
            if (status != Z_STREAM_END)
                return false;
        } else {
            return false;
        }
        return total == size && last.trimmed().endsWith(ending);
    }
    return false;
}

} // namespace

QString SpreadsheetWriter::cellText(QStringView text, bool *replaced)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!storable(c.unicode())) {
            out += QChar(QChar::ReplacementCharacter);
            if (replaced)
                *replaced = true;
        } else if (escapeAt(text, i)) {
            // Readers decode _xHHHH_ as the character HHHH; an escaped underscore keeps
            // the text as it was.
            out += QLatin1String("_x005F_");
        } else {
            out += c;
        }
    }
    return out;
}

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
    m_path = path;
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
    bool replaced = false;
    m_utf8.clear();
    appendUtf8(cellText(value, &replaced), m_utf8);
    if (replaced)
        ++m_cellsReplaced;
    // Always a string cell: the workbook never sees a formula, whatever the text starts with.
    check(worksheet_write_string(m_sheet, lxw_row_t(row), lxw_col_t(column), m_utf8.c_str(),
                                 nullptr));
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
    // The library keeps the rows in a temporary file and never checks its writes, so a full
    // disk would give a truncated sheet in a workbook that closes without complaint.
    if (m_sheet && m_sheet->optimize_tmpfile) {
        lxw_worksheet_write_single_row(m_sheet);
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
    check(platform::runAside(m_yield, [workbook] { return workbook_close(workbook); }));
    const bool complete = platform::runAside(m_yield, [path] {
        return memberComplete(path, "xl/worksheets/sheet1.xml", "</worksheet>");
    });
    if (!complete)
        throw engine::Failure("The workbook " + path.toStdString() +
                              " is incomplete: the disk may be full");
}

} // namespace results
