#include "AlignedTextWriter.h"

#include "engine/CodePage.h"
#include "engine/Steps.h"
#include "platform/ListModel.h"
#include "platform/Paths.h"
#include "platform/Yield.h"
#include "results/ListCells.h"
#include "results/OutputFile.h"
#include "results/ProgressIndicator.h"
#include "results/Utf8Text.h"

#include <algorithm>
#include <new>

namespace results {

namespace {

const QString kIdleCaption = QStringLiteral("Progress Bar");

// Appends a cell padded to its column's width (in characters) and its tab, in Windows-1252,
// or in UTF-8 when some cell has a character Windows-1252 cannot hold.
void appendCell(std::string &line, const QString &cell, int width, bool utf8)
{
    if (utf8) {
        appendUtf8(cell, line);
    } else {
        for (const QChar c : cell)
            line.push_back(char(engine::fromUnicode(c.unicode())));
    }
    const int characters = ListCells::characterCount(cell);
    if (width > characters)
        line.append(size_t(width - characters), ' ');
    line.push_back('\t');
}

} // namespace

AlignedTextWriter::AlignedTextWriter(platform::Yield &yield, engine::ErrorReporter &reporter)
    : m_yield(yield), m_reporter(reporter)
{
}

bool AlignedTextWriter::saveAligned(const platform::ListModel &list, const QString &path,
                                    ProgressIndicator *progress)
{
    // The step numbers the error report quotes; the save ends at the first failure, so one
    // number in hand is enough.
    Save save{list, progress, QStringLiteral("Writing file: ") + platform::fileNameFromPath(path)};
    OutputFile file;
    try {
        showProgress(save, 100, 1);
        // A row that vanished while the width was taken fails at the row-text test.
        save.at = 126;
        // Windows-1252 keeps the file as it has always been; a character it has no byte for
        // makes the whole file UTF-8 with a byte-order mark, so nothing turns into "?".
        // Padding every row to one very long row would make the file many times the size of
        // its text; a longer row is written unpadded, followed by its tab.
        save.width = std::min(ListCells::characterWidth(list, m_yield, save.utf8), maxColumnWidth);
        showProgress(save, 142, 10);

        save.at = 156;
        file.open(path);
        std::string line = save.utf8 ? "\xEF\xBB\xBF" : "";
        save.at = 158;
        m_yield.yield();
        appendCell(line, list.header(), save.width, save.utf8);
        save.at = 170;
        line.append("\r\n");
        file.write(line);
        showProgress(save, 172, 20);

        writeRows(save, file);
        save.at = 232;
        file.commit(m_yield);
        if (progress) {
            // No yield between "Done." and the idle caption: the indicator is idle again by
            // the time the caller shows its own message.
            save.at = 228;
            progress->setValue(100);
            progress->setText(QStringLiteral("Done."));
            save.at = 240;
            progress->setValue(0);
            progress->setText(kIdleCaption);
        }
        return true;
    } catch (const engine::Failure &failure) {
        file.cancel();
        m_reporter.reportError(engine::errorTag("Main", "SaveListviewProperlySpaced"), save.at,
                               failure.what());
    } catch (const std::bad_alloc &) {
        file.cancel();
        m_reporter.reportError(engine::errorTag("Main", "SaveListviewProperlySpaced"), save.at,
                               "Out of memory");
    }
    if (progress) {
        progress->setValue(0);
        progress->setText(kIdleCaption);
    }
    return false;
}

void AlignedTextWriter::showProgress(Save &save, int firstStep, double value)
{
    if (!save.progress)
        return;
    save.at = firstStep + 2;
    m_yield.yield();
    save.at = firstStep + 4;
    save.progress->setValue(value);
    save.at = firstStep + 6;
    save.progress->setText(save.caption);
    save.at = firstStep + 8;
    m_yield.yield();
}

void AlignedTextWriter::writeRows(Save &save, OutputFile &file)
{
    save.at = 182;
    std::string line;
    const int rows = save.list.count();
    for (int r = 0; r < rows; ++r) {
        save.at = 184;
        m_yield.yield();
        line.clear();
        save.at = 190;
        appendCell(line, save.list.text(r), save.width, save.utf8);
        if (save.progress) {
            save.at = 214;
            const int now = save.list.count();
            save.progress->setValue((double(now / 2000) + (r + 1)) / now * 100.0);
            if ((r + 1) % 1000 == 0) {
                save.at = 218;
                save.progress->setText(save.caption + QStringLiteral(" (") +
                                       QString::number(r + 1) + QLatin1Char(')'));
            }
            save.at = 220;
            m_yield.yield();
        }
        save.at = 222;
        line.append("\r\n");
        file.write(line);
    }
}

} // namespace results
