#include "ResultsSink.h"

#include "engine/Steps.h"
#include "run/SearchMarks.h"

#include <new>

namespace shell {

namespace {

// Repainting the window costs milliseconds, so queued rows reach the screen at most this
// often, however often the run yields.
constexpr qint64 kScreenIntervalMs = 50;
// The most rows queued before they are shown, whatever the time: rows taken over a piece at
// a time can come faster than the screen interval shows them.
constexpr int kMostQueuedRows = 800000;
// What is held back for the error report and a save once the rows have taken the rest. The
// lists keep nothing of their own per row.
constexpr size_t kSpareMemoryBytes = size_t(40) << 20;

} // namespace

ResultsSink::ResultsSink(platform::ListModel &results,
                         std::function<void(int, const QString &)> showProgress)
    : m_results(results), m_showProgress(std::move(showProgress))
{
    m_sinceShown.start();
}

ResultsSink::~ResultsSink() = default;

void ResultsSink::progress(int value, const QString &caption)
{
    m_showProgress(value, caption);
}

void ResultsSink::beginRun(const run::RunRequest &request)
{
    m_paths = request.paths;
    m_results.startSection(run::SearchMarks::of(request));
    m_outOfMemory = false;
    m_outOfMemoryReported = false;
    showAll();
}

void ResultsSink::showAll()
{
    if (showQueued())
        return;
    m_results.dropDeferred();
    if (!std::exchange(m_outOfMemoryReported, true))
        throw engine::Failure("Out of memory");
}

void ResultsSink::showWhenDue()
{
    if (m_sinceShown.elapsed() < kScreenIntervalMs)
        return;
    showQueued();
    m_sinceShown.restart();
}

bool ResultsSink::showQueued()
{
    if (m_results.deferredCount() == 0)
        return true;
    try {
        m_results.flush();
        return true;
    } catch (const std::bad_alloc &) {
    }
    if (m_spareBytes == 0)
        return false;
    // Once more with the spare memory given back.
    outOfMemory();
    try {
        m_results.flush();
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void ResultsSink::outOfMemory()
{
    m_outOfMemory = true;
    m_spareMemory.reset();
    m_spareBytes = 0;
}

bool ResultsSink::holdSpareMemory(size_t more)
{
    // Showing rows first tries the room a stock view would take for them (8 bytes a row, see
    // ListModel); holding it back before it is needed means the rows already collected can
    // always be shown once memory runs out. The spare grows before rows are added, and the
    // old one stays until a bigger one is had: when memory runs out, what is held still
    // covers every row added.
    const size_t rows = size_t(m_results.count()) + more;
    const size_t needed = rows * 8 + kSpareMemoryBytes;
    if (needed <= m_spareBytes)
        return true;
    for (const size_t size : {rows * 16 + kSpareMemoryBytes, needed}) {
        if (char *bigger = new (std::nothrow) char[size]) {
            m_spareMemory.reset(bigger);
            m_spareBytes = size;
            return true;
        }
    }
    return false;
}

// Runs on every added row: a template, so no callable object is made for each.
template <typename Append> void ResultsSink::appendGuarded(size_t rows, const Append &append)
{
    if (!m_outOfMemory) {
        try {
            if (holdSpareMemory(rows)) {
                append();
                // Rows taken over a piece at a time come faster than the views take them
                // in: a long queue is shown at once, in a stretch the next pump soon follows.
                if (m_results.deferredCount() >= kMostQueuedRows) {
                    showQueued();
                    m_sinceShown.restart();
                }
                return;
            }
        } catch (const std::bad_alloc &) {
        }
        // The rows so far are shown while the spare is still held; then it goes to the
        // error report.
        showQueued();
        outOfMemory();
    }
    // The rows so far stay; the run reports the failure and stops.
    m_outOfMemoryReported = true;
    throw std::bad_alloc();
}

const QString &ResultsSink::pathOf(qsizetype file) const
{
    static const QString none;
    return file >= 0 && file < m_paths.size() ? m_paths.at(file) : none;
}

void ResultsSink::addRow(const QString &prefix, QStringView text, run::RowSource source)
{
    appendGuarded(1, [&] {
        m_results.appendDeferred(prefix, text, pathOf(source.file), source.line,
                                 run::memberOrNone(source.member));
    });
}

void ResultsSink::addRowWindows1252(const QString &prefix, std::string_view bytes,
                                    run::RowSource source)
{
    appendGuarded(1, [&] {
        m_results.appendDeferredWindows1252(prefix, bytes, pathOf(source.file), source.line,
                                            run::memberOrNone(source.member));
    });
}

void ResultsSink::adoptRowsWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                                       std::span<const std::string_view> rows, qsizetype file,
                                       std::span<const uint64_t> lines,
                                       const platform::PackedMember *member)
{
    appendGuarded(rows.size(), [&] {
        m_results.adoptDeferredWindows1252(prefix, std::move(bytes), rows, pathOf(file), lines,
                                           run::memberOrNone(member));
    });
}

} // namespace shell
