#include "SavedRows.h"

#include "cli/ConsoleReporter.h"
#include "engine/Steps.h"
#include "platform/ListModel.h"
#include "results/AlignedTextWriter.h"
#include "results/OutputFile.h"
#include "results/SpreadsheetWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <new>

namespace cli {

SavedRows::SavedRows(platform::ListModel &rows, platform::Yield &yield, ConsoleReporter &reporter)
    : m_rows(rows), m_yield(yield), m_reporter(reporter)
{
}

bool SavedRows::saveText(const QString &path)
{
    m_reporter.setSubject(path);
    results::AlignedTextWriter writer(m_yield, m_reporter);
    const bool saved = writer.saveAligned(m_rows, path, nullptr);
    m_reporter.setSubject(QString());
    return saved;
}

bool SavedRows::copyInto(const QString &from, const QString &path)
{
    // The target takes the finished workbook the way the text file is saved: replaced only
    // once every byte is written, a device written in place.
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        throw engine::Failure(source.errorString().toStdString());
    results::OutputFile target;
    target.open(path);
    for (;;) {
        const QByteArray block = source.read(qint64(1) << 20);
        if (block.isEmpty())
            break;
        target.write(std::string_view(block.constData(), size_t(block.size())));
    }
    if (source.error() != QFileDevice::NoError)
        throw engine::Failure(source.errorString().toStdString());
    target.commit(m_yield);
    return true;
}

bool SavedRows::saveWorkbook(const QString &path)
{
    // The workbook is made in the temporary folder, as the window makes it, so no part of a
    // workbook that fails ever stands at the target.
    QTemporaryFile made(QDir(QDir::tempPath()).filePath(QStringLiteral("lumbrex-XXXXXX.xlsx")));
    using Shortfall = results::SpreadsheetWriter::Shortfall;
    int rowsLeftOut = 0;
    try {
        if (!made.open())
            throw engine::Failure("the temporary folder " + QDir::tempPath().toStdString() + ": " +
                                  made.errorString().toStdString());
        made.close();
        results::SpreadsheetWriter writer(m_yield);
        writer.create(made.fileName());
        writer.writeHeaders(m_rows);
        int step = 0;
        writer.writeRows(m_rows, step);
        writer.fitColumns();
        writer.close();
        // Rows a sheet cannot hold are rows not saved; a cut or replaced text is said only.
        for (const Shortfall shortfall :
             {Shortfall::RowsLeftOut, Shortfall::CellsCut, Shortfall::CellsReplaced}) {
            const int count = writer.count(shortfall);
            const QString told = path + QStringLiteral(": ") +
                                 results::SpreadsheetWriter::describe(shortfall, count);
            if (count > 0 && shortfall == Shortfall::RowsLeftOut)
                m_reporter.fail(told);
            else if (count > 0)
                m_reporter.note(told);
        }
        rowsLeftOut = writer.count(Shortfall::RowsLeftOut);
        copyInto(made.fileName(), path);
    } catch (const engine::Failure &failure) {
        m_reporter.failAbout(path, ConsoleReporter::reasonFor(failure.what()));
        return false;
    } catch (const std::bad_alloc &) {
        m_reporter.failAbout(path, ConsoleReporter::reasonFor("Out of memory"));
        return false;
    }
    return rowsLeftOut == 0;
}

} // namespace cli
