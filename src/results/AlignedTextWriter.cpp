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
    int at = 100;
    OutputFile file;
    try {
        const QString caption = QStringLiteral("Writing file: ") + platform::fileNameFromPath(path);
        auto showProgress = [&](int first, double value) {
            if (!progress)
                return;
            at = first + 2;
            m_yield.yield();
            at = first + 4;
            progress->setValue(value);
            at = first + 6;
            progress->setText(caption);
            at = first + 8;
            m_yield.yield();
        };
        showProgress(100, 1);

        // A row that vanished while the widths were taken fails at the row-text test.
        at = 126;
        // Windows-1252 keeps the file as it has always been; a character it has no byte for
        // makes the whole file UTF-8 with a byte-order mark, so nothing turns into "?".
        bool utf8 = false;
        // Padding every row to one very long row would make the file many times the size of
        // its text; a longer row is written unpadded, followed by its tab.
        const int width = std::min(ListCells::characterWidth(list, m_yield, utf8), maxColumnWidth);

        showProgress(142, 10);

        at = 156;
        file.open(path);
        std::string line = utf8 ? "\xEF\xBB\xBF" : "";
        at = 158;
        m_yield.yield();
        appendCell(line, list.header(), width, utf8);
        at = 170;
        line.append("\r\n");
        file.write(line);

        showProgress(172, 20);

        at = 182;
        const int rows = list.count();
        for (int r = 0; r < rows; ++r) {
            at = 184;
            m_yield.yield();
            line.clear();
            at = 190;
            appendCell(line, list.text(r), width, utf8);
            if (progress) {
                at = 214;
                const int now = list.count();
                progress->setValue((double(now / 2000) + (r + 1)) / now * 100.0);
                if ((r + 1) % 1000 == 0) {
                    at = 218;
                    progress->setText(caption + QStringLiteral(" (") + QString::number(r + 1) +
                                      QLatin1Char(')'));
                }
                at = 220;
                m_yield.yield();
            }
            at = 222;
            line.append("\r\n");
            file.write(line);
        }

        at = 232;
        file.commit(m_yield);
        if (progress) {
            // No yield between "Done." and the idle caption: the indicator is idle again by
            // the time the caller shows its own message.
            at = 228;
            progress->setValue(100);
            progress->setText(QStringLiteral("Done."));
            at = 240;
            progress->setValue(0);
            progress->setText(kIdleCaption);
        }
        return true;
    } catch (const engine::Failure &failure) {
        file.cancel();
        m_reporter.reportError(engine::errorTag("Main", "SaveListviewProperlySpaced"), at,
                               failure.what());
    } catch (const std::bad_alloc &) {
        file.cancel();
        m_reporter.reportError(engine::errorTag("Main", "SaveListviewProperlySpaced"), at,
                               "Out of memory");
    }
    if (progress) {
        progress->setValue(0);
        progress->setText(kIdleCaption);
    }
    return false;
}

} // namespace results
