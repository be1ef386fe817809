#include "ExtractionRun.h"

#include "SearchPlan.h"
#include "SearchWorkers.h"

#include "engine/CodePage.h"
#include "engine/Steps.h"
#include "engine/TextFormat.h"
#include "platform/ModuleNames.h"
#include "platform/Paths.h"
#include "platform/Yield.h"

#include <QFile>
#include <QThread>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <type_traits>
#include <utility>

namespace run {

// What one run keeps while it walks the files: the request, the workers and the current
// file's outcome.
struct ExtractionRun::RunState {
    RunState(const RunRequest &request_, RunSink &sink_) : request(request_), sink(sink_) {}

    const RunRequest &request;
    RunSink &sink;
    unsigned generation = 0;
    std::shared_ptr<const SearchPlan> plan;
    // How the workers write rows as text, when they do.
    std::optional<TextRows> textRows;
    std::shared_ptr<SearchWorkers> workers;
    std::unique_ptr<SearchWorkers::Outcome> outcome;
    // The current file's position in the run's files, and the position the next folder's first
    // file takes: past the request's paths, and the files of the folders before it.
    qsizetype file = 0;
    qsizetype nextFolderFile = 0;
    // The text whose rows are being handed on: the file's, or a member's of an archive.
    FileBlocks *blocks = nullptr;
    // The current text's name (the file's path, or the archive's with the member's), and the
    // name with the space the rows put after it.
    QString path;
    QString prefix;
    // The member of a compressed file or an archive the text is; not set for a file's own
    // bytes.
    platform::PackedMember member;
    const platform::PackedMember *packedMember() const { return member.set() ? &member : nullptr; }
    QString scratch;
    bool gaveUpInFile = false; // the current file is counted among gaveUpFiles
    // The files on some lines of which the pattern gave up, reported once at the run's end.
    size_t gaveUpFiles = 0;
    std::string firstGaveUpPath;
};

// The paths a run walks in order: given whole, or growing as a folder's files are found.
struct ExtractionRun::PathFeed {
    std::mutex mutex;
    std::condition_variable grown;
    QStringList paths;
    bool complete = true;

    void add(const QStringList &more)
    {
        {
            std::lock_guard lock(mutex);
            paths += more;
        }
        grown.notify_all();
    }
    void end()
    {
        {
            std::lock_guard lock(mutex);
            complete = true;
        }
        grown.notify_all();
    }
};

ExtractionRun::ExtractionRun(platform::Yield &yield, engine::ErrorReporter &reporter)
    : m_yield(yield), m_reporter(reporter)
{
}

ExtractionRun::~ExtractionRun() = default;

void ExtractionRun::abort()
{
    m_aborted = true;
    m_stopRequested = true;
}

bool ExtractionRun::halted(unsigned generation) const
{
    return m_stopRequested || m_aborted || generation != m_generation;
}

RunEnd ExtractionRun::run(const RunRequest &request, RunSink &sink)
{
    engine::Steps steps(m_reporter, platform::mainWindowModule, "PushButton3_Click");
    RunState state(request, sink);
    steps.step(112, [&] {
        m_stopRequested = false;
        state.generation = ++m_generation;
    });
    ++m_depth;
    steps.step(114, [&] { m_yield.yield(); });
    if (steps.test(116, [&] { return !halted(state.generation); }))
        runFiles(steps, state);
    --m_depth;
    const RunEnd end = m_aborted || state.generation != m_generation ? RunEnd::Superseded
                       : m_stopRequested                             ? RunEnd::Stopped
                                                                     : RunEnd::Finished;
    sink.ended(end);
    return end;
}

void ExtractionRun::makePlan(RunState &state)
{
    const RunRequest &request = state.request;
    auto plan = std::make_shared<SearchPlan>(
        request.mode,
        std::u16string_view(reinterpret_cast<const char16_t *>(request.searchText.utf16()),
                            size_t(request.searchText.size())),
        request.matchCase, request.linesAbove, request.linesBelow, request.regex);
    plan->numberLines = request.lineNumbers;
    // A sink that takes rows as text has the workers write them, one prefix a file.
    const DisplayOption display = request.display;
    if (!request.oneLine &&
        (display == DisplayOption::FileAndLine || display == DisplayOption::LineOnly))
        state.textRows = state.sink.textRows();
    state.plan = std::move(plan);
}

std::shared_ptr<SearchWorkers> ExtractionRun::startWorkers(RunState &state,
                                                           const QStringList &paths, bool more)
{
    std::shared_ptr<RowText> text;
    if (state.textRows) {
        text = std::make_shared<RowText>();
        text->rows = *state.textRows;
        text->withPaths = state.request.display == DisplayOption::FileAndLine;
    }
    const int threads = m_workerCount > 0 ? m_workerCount : QThread::idealThreadCount();
    return std::make_shared<SearchWorkers>(paths, state.plan, std::move(text),
                                           state.request.readRule, threads, more);
}

void ExtractionRun::retire(std::shared_ptr<SearchWorkers> workers)
{
    workers->stop();
    std::erase_if(m_retired, [](const auto &old) { return old->finished(); });
    m_retired.push_back(std::move(workers));
}

void ExtractionRun::discard(RunState &state)
{
    std::unique_ptr<SearchWorkers::Outcome> outcome = std::move(state.outcome);
    if (!outcome)
        return;
    std::erase_if(m_disposals, [](const std::future<void> &f) {
        return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    // Handing a file of gigabytes back to the system takes a tenth of a second: too long
    // for a thread that must keep answering. Anything else goes back to the workers, whose
    // memory it is.
    if (outcome->heldBytes() < (size_t(32) << 20)) {
        state.workers->giveBack(std::move(outcome));
        return;
    }
    m_disposals.push_back(
        std::async(std::launch::async,
                   [gone = std::shared_ptr<SearchWorkers::Outcome>(std::move(outcome))] {}));
}

void ExtractionRun::runFiles(engine::Steps &steps, RunState &state)
{
    std::shared_ptr<SearchWorkers> workers;
    steps.step(118, [&] {
        makePlan(state);
        workers = startWorkers(state, state.request.paths);
    });
    if (!workers)
        return;
    state.nextFolderFile = state.request.paths.size();
    PathFeed paths;
    paths.paths = state.request.paths;
    runPaths(steps, state, std::move(workers), paths, 0, -1);
    if (state.gaveUpFiles > 0) {
        const SearchWorkers::Report report =
            SearchWorkers::gaveUpReport(*state.plan, state.gaveUpFiles, state.firstGaveUpPath);
        m_reporter.reportError(report.tag, report.step, report.description);
    }
}

// Runs paths, whose outcomes workers give, as the run's files from position first on. The
// request's own paths show their place as progress; a folder's files show the folder's
// (progress). Returns true when the run ends there.
bool ExtractionRun::runPaths(engine::Steps &steps, RunState &state,
                             std::shared_ptr<SearchWorkers> workers, PathFeed &paths,
                             qsizetype first, int progress)
{
    const std::shared_ptr<SearchWorkers> outer = std::exchange(state.workers, workers);
    // A folder's files are files: only a folder among the request's paths is run as its files.
    const bool foldersRun = m_folderFiles && progress < 0;
    bool ended = false;
    QString path;
    qsizetype known = 0;
    for (qsizetype i = 0; !ended; ++i) {
        if (!nextPath(state, paths, i, path, known)) {
            ended = halted(state.generation);
            break;
        }
        // How far the run is: a path's place among those known so far.
        const int place = qRound(double(i + 1) / double(known) * 100.0);
        steps.step(122, [&] {
            const int value = progress >= 0 ? progress : place;
            state.sink.fileBegun(first + i, path);
            state.sink.progress(value,
                                QStringLiteral("Processing: ") + platform::fileNameFromPath(path));
        });
        steps.step(124, [&] { m_yield.yield(); });
        discard(state);
        steps.step(130, [&] { takeOutcome(state, size_t(i), foldersRun); });
        if (!state.outcome)
            ended = true;
        else if (state.outcome->folder && foldersRun)
            ended = runFolder(steps, state, path, place);
        else {
            state.file = first + i;
            state.gaveUpInFile = false;
            ended = emitFile(steps, state, path);
        }
        discard(state);
        if (!ended)
            ended = steps.test(138, [&] { return halted(state.generation); });
    }
    retire(std::move(workers));
    state.workers = outer;
    return ended;
}

// Gives path i of paths, waiting for it while they grow; returns false when there is none: the
// paths are complete, or the run halted. known is how many paths there are so far.
bool ExtractionRun::nextPath(RunState &state, PathFeed &paths, qsizetype i, QString &path,
                             qsizetype &known)
{
    for (;;) {
        {
            std::unique_lock lock(paths.mutex);
            const auto there = [&] { return i < paths.paths.size() || paths.complete; };
            if (!there())
                paths.grown.wait_for(lock, std::chrono::milliseconds(2), there);
            known = paths.paths.size();
            if (i < known) {
                path = paths.paths[i];
                return true;
            }
            if (paths.complete)
                return false;
        }
        if (halted(state.generation))
            return false;
        m_yield.yield();
    }
}

bool ExtractionRun::runFolder(engine::Steps &steps, RunState &state, const QString &folder,
                              int progress)
{
    discard(state);
    std::shared_ptr<SearchWorkers> workers;
    steps.step(118, [&] { workers = startWorkers(state, {}, true); });
    if (!workers)
        return true;
    PathFeed files;
    files.complete = false;
    std::atomic<bool> stop{false};
    // The folder's files are found on a thread of their own, the workers reading the first of
    // them while the rest are looked for.
    auto finding = std::async(std::launch::async, [&, workers] {
        struct Ending {
            PathFeed &files;
            SearchWorkers &workers;
            ~Ending()
            {
                workers.close();
                files.end();
            }
        } ending{files, *workers};
        return m_folderFiles(
            folder,
            [&](const QStringList &found) {
                workers->add(found, true);
                files.add(found);
            },
            stop);
    });
    const qsizetype first = state.nextFolderFile;
    const bool ended = runPaths(steps, state, std::move(workers), files, first, progress);
    stop = true;
    const std::function<void()> said = finding.get();
    state.nextFolderFile = first + files.paths.size();
    if (said)
        said();
    return ended || halted(state.generation);
}

bool ExtractionRun::emitFile(engine::Steps &steps, RunState &state, const QString &path)
{
    SearchWorkers::Outcome &outcome = *state.outcome;
    state.member = {};
    if (!outcome.packed)
        return emitText(steps, state, path, outcome.blocks);
    for (size_t m = 0; m < outcome.members.size(); ++m) {
        SearchWorkers::Member &member = outcome.members[m];
        // Rows lead back to their line through the member's place in the archive as well as
        // its name: an archive may hold two members of one name.
        state.member = {QString::fromUtf8(member.name), int(std::min<size_t>(m, INT_MAX))};
        // A member's rows name the archive, then the member's path inside it in braces.
        const QString name = member.name.empty()
                                 ? path
                                 : path + QLatin1Char('{') + state.member.name + QLatin1Char('}');
        for (FileBlocks &part : member.parts) {
            if (emitText(steps, state, name, part))
                return true;
        }
        // Its failures come after the rows read before them.
        for (const SearchWorkers::Report &report : member.reports)
            m_reporter.reportError(report.tag, report.step, report.description);
        if (halted(state.generation))
            return true;
    }
    return false;
}

bool ExtractionRun::emitText(engine::Steps &steps, RunState &state, const QString &name,
                             FileBlocks &blocks)
{
    state.blocks = &blocks;
    state.path = name;
    state.prefix = name + QLatin1Char(' ');
    if (blocks.patternGaveUp)
        noteGaveUp(state);
    for (size_t p = 0; p < blocks.pieceCount; ++p) {
        steps.step(134, [&] { emitRows(state, p); });
        if (steps.test(136, [&] { return halted(state.generation); }))
            return true;
        // Pieces without a match emit nothing, so the run yields between pieces too.
        m_yield.yield();
    }
    return false;
}

void ExtractionRun::takeOutcome(RunState &state, size_t file, bool foldersRun)
{
    std::unique_ptr<SearchWorkers::Outcome> outcome;
    for (;;) {
        outcome = state.workers->take(file, std::chrono::milliseconds(2));
        if (outcome || halted(state.generation))
            break;
        m_yield.yield();
    }
    if (halted(state.generation))
        return;
    // A folder whose files are run in its place is no failure.
    if (!(outcome->folder && foldersRun)) {
        for (const SearchWorkers::Report &report : outcome->reports)
            m_reporter.reportError(report.tag, report.step, report.description);
    }
    state.outcome = std::move(outcome);
}

void ExtractionRun::noteGaveUp(RunState &state)
{
    if (std::exchange(state.gaveUpInFile, true))
        return;
    if (state.gaveUpFiles++ == 0)
        state.firstGaveUpPath = QFile::encodeName(state.path).toStdString();
}

namespace {

// Returns the characters of one line of a piece; scratch holds them when they need decoding.
QStringView decodeLine(std::string_view line, engine::Encoding encoding, QString &scratch)
{
    if (scratch.size() < qsizetype(line.size()))
        scratch.resize(qsizetype(line.size()));
    char16_t *out = reinterpret_cast<char16_t *>(scratch.data());
    if (encoding == engine::Encoding::Utf8)
        return QStringView(out, qsizetype(engine::decodeUtf8Into(line, out)));
    engine::decodeInto(line, out);
    return QStringView(out, qsizetype(line.size()));
}

QStringView decodeLine(std::u16string_view line, engine::Encoding, QString &)
{
    return QStringView(line.data(), qsizetype(line.size()));
}

} // namespace

void ExtractionRun::emitRows(RunState &state, size_t piece)
{
    FileBlocks &found = *state.blocks;
    const auto emitFrom = [&](const auto &blocks) {
        if (state.request.oneLine)
            emitJoined(state, blocks);
        else
            emitEach(state, blocks);
    };
    try {
        if (found.rowsLost)
            throw std::bad_alloc();
        if (found.wide) {
            if (piece < found.widePieces.size() && !found.widePieces[piece].empty())
                emitFrom(found.widePieces[piece]);
        } else if (piece < found.bytePieces.size() && !adoptRows(state, piece)) {
            emitFrom(found.bytePieces[piece]);
        }
    } catch (const std::bad_alloc &) {
        // Rows that cannot be held end the run; those added so far stay.
        m_stopRequested = true;
        throw engine::Failure("Out of memory");
    }
}

namespace {

// Returns the line a joined row starts with: the first line of its blocks (the matching line of
// the first block when none has a line), or with the file's path alone the first block's
// matching line.
template <typename Blocks> uint64_t joinedRowLine(const Blocks &blocks, DisplayOption display)
{
    if (display != DisplayOption::FileOnly) {
        for (size_t b = 0; b < blocks.size(); ++b) {
            if (!blocks.blockNumbers(b).empty())
                return blocks.blockNumbers(b).front();
        }
    }
    return blocks.matchNumber(0);
}

} // namespace

template <typename Blocks> void ExtractionRun::emitJoined(RunState &state, const Blocks &blocks)
{
    QString joined;
    for (size_t b = 0; b < blocks.size(); ++b) {
        m_yield.yield();
        // The block's line breaks, and any lone CR or LF inside its lines, are dropped.
        for (const auto line : blocks.block(b)) {
            const QStringView text = decodeLine(line, state.blocks->encoding, state.scratch);
            for (const QChar c : text) {
                if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
                    joined.append(c);
            }
        }
        joined.append(QLatin1Char(' '));
        if (halted(state.generation))
            break;
    }
    if (!joined.isEmpty()) {
        const RowSource source{state.file, joinedRowLine(blocks, state.request.display),
                               state.packedMember()};
        switch (state.request.display) {
        case DisplayOption::None:
            break;
        case DisplayOption::LineOnly:
            state.sink.addRow(QString(), joined, source);
            break;
        case DisplayOption::FileAndLine:
            state.sink.addRow(state.prefix, joined, source);
            break;
        case DisplayOption::FileOnly:
            state.sink.addRow(QString(), state.path, source);
            break;
        }
    }
    m_yield.yield();
}

template <typename Blocks> void ExtractionRun::emitEach(RunState &state, const Blocks &blocks)
{
    // A row of the path alone stands for the line that matched.
    const bool byMatch = state.request.display == DisplayOption::FileOnly;
    for (size_t b = 0; b < blocks.size(); ++b) {
        m_yield.yield();
        const auto numbers = blocks.blockNumbers(b);
        const auto lines = blocks.block(b);
        for (size_t k = 0; k < lines.size(); ++k) {
            m_yield.yield();
            const uint64_t number = byMatch              ? blocks.matchNumber(b)
                                    : k < numbers.size() ? numbers[k]
                                                         : 0;
            if constexpr (std::is_same_v<std::remove_cvref_t<decltype(lines[k])>, std::string_view>)
                addBytes(state, lines[k], number);
            else
                addRow(state, decodeLine(lines[k], state.blocks->encoding, state.scratch), number);
            if (halted(state.generation))
                return;
        }
    }
}

bool ExtractionRun::adoptRows(RunState &state, size_t piece)
{
    // A piece whose rows are the workers' copies of its lines, one byte a character, goes to
    // the sink whole: it may keep the copies instead of copying each row again.
    FileBlocks &found = *state.blocks;
    if (found.rowsAsText(piece)) {
        m_yield.yield();
        const size_t size = found.textSize(piece);
        const size_t rows = found.textRowCount(piece);
        state.sink.adoptText(found.takeRows(piece), size, rows);
        return true;
    }
    const DisplayOption display = state.request.display;
    if (found.bytePieces[piece].empty() || state.request.oneLine ||
        !(found.rowsOneByteEach(piece) || found.rowsNarrowable(piece)) ||
        (display != DisplayOption::FileAndLine && display != DisplayOption::LineOnly))
        return false;
    // As with single rows, the rows whose yield handles a stop are still added.
    m_yield.yield();
    const engine::BlockList &blocks = found.bytePieces[piece];
    // UTF-8 rows of accented Latin letters go as the Windows-1252 bytes they narrow to.
    std::vector<std::string_view> narrowed;
    std::span<const std::string_view> rows = blocks.lines();
    if (!found.rowsOneByteEach(piece)) {
        narrowed = found.narrowRows(piece);
        rows = narrowed;
    }
    state.sink.adoptRowsWindows1252(
        display == DisplayOption::FileAndLine ? state.prefix : QString(), found.takeRows(piece),
        rows, state.file, blocks.lineNumbers(), state.packedMember());
    return true;
}

void ExtractionRun::addBytes(RunState &state, std::string_view line, uint64_t number)
{
    // Windows-1252 bytes, and UTF-8 lines of ASCII only, are their characters one for one:
    // they go to the sink as they are.
    const engine::Encoding encoding = state.blocks->encoding;
    if (encoding != engine::Encoding::Windows1252 &&
        (encoding != engine::Encoding::Utf8 ||
         engine::firstHighByte(line) != std::string_view::npos)) {
        addRow(state, decodeLine(line, encoding, state.scratch), number);
        return;
    }
    const RowSource source{state.file, number, state.packedMember()};
    switch (state.request.display) {
    case DisplayOption::None:
        return;
    case DisplayOption::FileOnly:
        state.sink.addRow(QString(), state.path, source);
        return;
    case DisplayOption::FileAndLine:
        state.sink.addRowWindows1252(state.prefix, line, source);
        return;
    case DisplayOption::LineOnly:
        state.sink.addRowWindows1252(QString(), line, source);
        return;
    }
}

void ExtractionRun::addRow(RunState &state, QStringView line, uint64_t number)
{
    const RowSource source{state.file, number, state.packedMember()};
    switch (state.request.display) {
    case DisplayOption::None:
        return;
    case DisplayOption::FileOnly:
        state.sink.addRow(QString(), state.path, source);
        return;
    case DisplayOption::FileAndLine:
        state.sink.addRow(state.prefix, line, source);
        return;
    case DisplayOption::LineOnly:
        state.sink.addRow(QString(), line, source);
        return;
    }
}

} // namespace run
