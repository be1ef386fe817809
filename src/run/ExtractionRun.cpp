#include "ExtractionRun.h"

#include "SearchPlan.h"
#include "SearchWorkers.h"

#include "engine/CodePage.h"
#include "engine/Steps.h"
#include "engine/TextFormat.h"
#include "platform/ModuleNames.h"
#include "platform/Paths.h"
#include "platform/Prompts.h"
#include "platform/SettingsStore.h"
#include "platform/Yield.h"

#include <QFile>
#include <QThread>
#include <optional>

namespace run {

namespace {

const QString &application = platform::settingsApplication;
const QString &section = platform::settingsSection;
// The most lines the lines dialog offers above or below.
constexpr int kMaxLineCount = 12;
const QString xyCaption = QStringLiteral(
    "Extract line which contains search word and x line(s) above and y line(s) below");

} // namespace

// What one run keeps while it walks the files: its generation, the plan the pieces are
// searched with, and the current file's outcome and the blocks of its current piece.
struct ExtractionRun::RunState {
    unsigned generation = 0;
    std::vector<QString> paths;
    // How files are read: taken from the option once, at the start.
    engine::ReadRule rule = engine::ReadRule::Automatic;
    std::shared_ptr<const SearchPlan> plan;
    // The plan the workers search with.
    std::shared_ptr<const SearchPlan> workersPlan;
    std::unique_ptr<SearchWorkers::Outcome> outcome;
    std::shared_ptr<SearchWorkers> workers;
    // The plan the current file's blocks were found with; they serve only while the controls
    // match it.
    std::shared_ptr<const SearchPlan> outcomePlan;
    engine::BlockList ownBlocks;
    engine::WideBlockList ownWideBlocks;
    // The blocks emitRows shows: the workers' or the run's own.
    const engine::BlockList *blocks = nullptr;
    const engine::WideBlockList *wideBlocks = nullptr;
    engine::Encoding encoding = engine::Encoding::Windows1252;
    bool modeKnown = false;
    QString modeText;
    std::optional<engine::Mode> mode;
    bool reportedX = false;
    bool reportedY = false;
    bool reportedPattern = false; // a pattern made invalid during the run
    bool gaveUpInFile = false;    // the current file is counted among gaveUpFiles
    // The files on some lines of which the pattern gave up, reported once at the run's end.
    size_t gaveUpFiles = 0;
    std::string firstGaveUpPath;
    QString prefix;
    QString path;
    QString scratch;
    // The stored line counts as last read, kept while nothing was written to the store.
    struct StoredCount {
        bool known = false;
        unsigned long long writeCount = 0;
        QString text;
    };
    StoredCount storedX;
    StoredCount storedY;
};

ExtractionRun::ExtractionRun(RunView &view, platform::Prompts &prompts,
                             platform::SettingsStore &settings, platform::Yield &yield,
                             engine::ErrorReporter &reporter, const QString &applicationTitle)
    : m_view(view), m_prompts(prompts), m_settings(settings), m_yield(yield), m_reporter(reporter),
      m_applicationTitle(applicationTitle)
{
}

ExtractionRun::~ExtractionRun() = default;

void ExtractionRun::startOrStop()
{
    engine::Steps steps(m_reporter, platform::mainWindowModule, "PushButton3_Click");
    if (steps.test(100, [&] { return m_view.startButtonCaption() == startCaption; }))
        start(steps);
    else
        stop(steps);
}

void ExtractionRun::abort()
{
    m_aborted = true;
    m_stopRequested = true;
}

bool ExtractionRun::halted(unsigned generation) const
{
    return m_stopRequested || m_aborted || generation != m_generation;
}

void ExtractionRun::stop(engine::Steps &steps)
{
    steps.step(140, [&] { m_stopRequested = true; });
    steps.step(142, [&] { m_view.setMousePointer(0); });
    steps.step(144, [&] { m_view.setProgress(0, idleProgressText); });
    steps.step(146, [&] { m_view.setStartButtonCaption(startCaption); });
}

void ExtractionRun::start(engine::Steps &steps)
{
    if (steps.test(102, [&] { return m_view.fileCount() == 0; })) {
        steps.step(104, [&] {
            m_prompts.message(QStringLiteral("No files added."), m_applicationTitle,
                              platform::Icon::None);
        });
        return;
    }
    if (steps.test(105, [&] { return !patternAccepted(); }))
        return;
    if (steps.test(106, [&] {
            return m_view.modeText() == xyCaption && !m_view.linesDialogClosedWithClose();
        }))
        steps.step(108, [&] { m_view.showLinesDialog(); });
    if (m_aborted)
        return;

    RunState state;
    steps.step(110, [&] { m_view.setStartButtonCaption(stopCaption); });
    steps.step(112, [&] {
        m_stopRequested = false;
        state.generation = ++m_generation;
    });
    ++m_depth;
    steps.step(114, [&] { m_yield.yield(); });
    if (steps.test(116, [&] { return !halted(state.generation); }))
        runFiles(steps, state);
    --m_depth;
    finish(steps, state.generation);
}

namespace {

QString patternErrorText(const engine::Pattern::Error &error)
{
    return QStringLiteral("The search text is not a valid regular expression: %1 at offset %2.")
        .arg(QString::fromStdString(error.message))
        .arg(error.offset);
}

} // namespace

bool ExtractionRun::patternAccepted()
{
    if (m_view.regexValue() != 1)
        return true;
    const QString text = m_view.searchText();
    engine::Pattern::Error error;
    const auto pattern = engine::Pattern::compile(
        std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size())),
        m_view.matchCaseValue() != 0, error);
    if (pattern)
        return true;
    m_prompts.message(patternErrorText(error), m_applicationTitle, platform::Icon::Warning);
    return false;
}

void ExtractionRun::finish(engine::Steps &steps, unsigned generation)
{
    // A run that a newer one replaced, or that the closing window ended, leaves the
    // controls to their new owner.
    if (m_aborted || generation != m_generation)
        return;
    steps.step(148, [&] { m_view.setMousePointer(0); });
    steps.step(150, [&] { m_view.setProgress(0, idleProgressText); });
    steps.step(152, [&] { m_view.setStartButtonCaption(startCaption); });
    if (steps.test(154, [&] { return !m_stopRequested; }))
        steps.step(156, [&] {
            m_prompts.message(QStringLiteral("Done."), m_applicationTitle, platform::Icon::None);
        });
}

std::shared_ptr<SearchWorkers> ExtractionRun::startWorkers(engine::Steps &steps, RunState &state)
{
    const QStringList paths = m_view.filePaths();
    std::vector<std::string> native;
    for (const QString &path : paths) {
        state.paths.push_back(path);
        native.push_back(QFile::encodeName(path).toStdString());
    }
    const QString modeText = m_view.modeText();
    const auto mode = engine::modeForCaption(modeText.toStdString());
    int x = 1;
    int y = 1;
    if (mode == engine::Mode::ExtractSearchWordLineUpXDownY) {
        // Read quietly here: a bad stored count is reported with the first piece.
        x = readLineCount(steps, state, linesAboveKey, false);
        y = readLineCount(steps, state, linesBelowKey, false);
    }
    const QString text = m_view.searchText();
    state.plan = std::make_shared<SearchPlan>(
        mode, std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), text.size()),
        m_view.matchCaseValue() != 0, x, y, m_view.regexValue() == 1);
    state.rule = m_view.readAsWindows1252Value() == 1 ? engine::ReadRule::Windows1252CrLf
                                                      : engine::ReadRule::Automatic;
    const int threads = m_workerCount > 0 ? m_workerCount : QThread::idealThreadCount();
    state.workersPlan = state.plan;
    return std::make_shared<SearchWorkers>(std::move(native), state.plan, state.rule, threads);
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
    // for the window thread. Anything else goes back to the workers, whose memory it is.
    if (outcome->blocks.heldBytes() < (size_t(32) << 20)) {
        if (state.workers)
            state.workers->giveBack(std::move(outcome));
        return;
    }
    m_disposals.push_back(
        std::async(std::launch::async,
                   [gone = std::shared_ptr<SearchWorkers::Outcome>(std::move(outcome))] {}));
}

void ExtractionRun::runFiles(engine::Steps &steps, RunState &state)
{
    int n = 0;
    steps.step(118, [&] { n = m_view.fileCount(); });
    std::shared_ptr<SearchWorkers> workers;
    steps.step(118, [&] { workers = startWorkers(steps, state); });
    if (!workers)
        return;
    state.workers = workers;
    for (int i = 0; i < n; ++i) {
        QString path;
        bool gone = false;
        // Entries removed while the run yielded are simply not there any more.
        steps.step(120, [&] {
            gone = i >= m_view.fileCount();
            if (!gone)
                path = m_view.fileAt(i);
        });
        if (gone)
            break;
        steps.step(122, [&] {
            const int c = m_view.fileCount();
            const int value = c > 0 ? qRound(double(i + 1) / double(c) * 100.0) : 100;
            m_view.setProgress(value,
                               QStringLiteral("Processing: ") + platform::fileNameFromPath(path));
        });
        steps.step(124, [&] { m_yield.yield(); });
        steps.step(126, [&] { m_view.setMousePointer(11); });
        bool matchCase = false;
        steps.step(128, [&] { matchCase = m_view.matchCaseValue() != 0; });
        discard(state);
        steps.step(130, [&] {
            std::unique_ptr<SearchWorkers::Outcome> outcome;
            while (size_t(i) < state.paths.size()) {
                outcome = workers->take(size_t(i), std::chrono::milliseconds(2));
                if (outcome || halted(state.generation))
                    break;
                m_yield.yield();
            }
            if (halted(state.generation))
                return;
            state.outcomePlan = state.workersPlan;
            // An entry changed while the run yielded is read here, as it now stands.
            if (size_t(i) >= state.paths.size() || state.paths[size_t(i)] != path) {
                outcome = SearchWorkers::process(QFile::encodeName(path).toStdString(), *state.plan,
                                                 state.rule, nullptr, true);
                state.outcomePlan = state.plan;
            }
            for (const SearchWorkers::Report &report : outcome->reports)
                m_reporter.reportError(report.tag, report.step, report.description);
            state.outcome = std::move(outcome);
        });
        if (!state.outcome)
            break;
        state.encoding = state.outcome->blocks.encoding;
        state.prefix = path + QLatin1Char(' ');
        state.path = path;
        state.gaveUpInFile = false;
        if (state.outcome->blocks.patternGaveUp)
            noteGaveUp(state);
        const size_t pieces = state.outcome->blocks.pieceCount;
        for (size_t p = 0; p < pieces; ++p) {
            state.blocks = nullptr;
            state.wideBlocks = nullptr;
            steps.step(132, [&] { searchPiece(steps, state, p, matchCase); });
            steps.step(134, [&] { emitRows(state, path, p); });
            if (steps.test(136, [&] { return halted(state.generation); }))
                break;
            // Pieces without a match emit nothing, so the run yields between pieces too.
            m_yield.yield();
        }
        discard(state);
        if (steps.test(138, [&] { return halted(state.generation); }))
            break;
    }
    retire(std::move(workers));
    if (state.gaveUpFiles > 0) {
        const SearchWorkers::Report report =
            SearchWorkers::gaveUpReport(*state.plan, state.gaveUpFiles, state.firstGaveUpPath);
        m_reporter.reportError(report.tag, report.step, report.description);
    }
}

void ExtractionRun::noteGaveUp(RunState &state)
{
    if (std::exchange(state.gaveUpInFile, true))
        return;
    if (state.gaveUpFiles++ == 0)
        state.firstGaveUpPath = QFile::encodeName(state.path).toStdString();
}

int ExtractionRun::readLineCount(engine::Steps &steps, RunState &state, const QString &key,
                                 bool report)
{
    bool &reported = key == linesAboveKey ? state.reportedX : state.reportedY;
    // Read for every piece, so a count changed during the run counts from the next piece on;
    // the store says when there can be anything new to read.
    RunState::StoredCount &cached = key == linesAboveKey ? state.storedX : state.storedY;
    QString stored;
    try {
        if (cached.known && cached.writeCount == m_settings.writeCount()) {
            stored = cached.text;
        } else {
            stored = m_settings.readSetting(application, section, key, QStringLiteral("1"));
            cached = {true, m_settings.writeCount(), stored};
        }
    } catch (const engine::Failure &failure) {
        if (report && !reported) {
            steps.report(failure.what());
            reported = true;
        }
        return 1;
    }
    // The lines dialog's own rule: a whole number from -1 (nothing picked) to 12; anything
    // else the dialog refuses, and the run then takes one line, as for a count never stored.
    try {
        const int value = platform::settingToInt(stored);
        if (value < -1 || value > kMaxLineCount)
            throw engine::Failure("Invalid property value");
        return value;
    } catch (const engine::Failure &failure) {
        // Reported once per run; the run goes on with one line.
        if (report && !reported) {
            steps.report(std::string(failure.what()) + ": the stored value of \"" +
                         key.toStdString() + "\" (\"" + stored.toStdString() +
                         "\") is no line count from -1 to 12; 1 is used");
            reported = true;
        }
    }
    return 1;
}

void ExtractionRun::searchPiece(engine::Steps &steps, RunState &state, size_t piece, bool matchCase)
{
    const QString modeText = m_view.modeText();
    if (!state.modeKnown || modeText != state.modeText) {
        state.modeKnown = true;
        state.modeText = modeText;
        state.mode = engine::modeForCaption(modeText.toStdString());
    }
    if (!state.mode)
        return;

    const QString text = m_view.searchText();
    const std::u16string_view sought(reinterpret_cast<const char16_t *>(text.utf16()),
                                     size_t(text.size()));
    int x = 1;
    int y = 1;
    if (*state.mode == engine::Mode::ExtractSearchWordLineUpXDownY) {
        x = readLineCount(steps, state, linesAboveKey);
        y = readLineCount(steps, state, linesBelowKey);
    }
    const bool regex = m_view.regexValue() == 1;
    const auto foundWithThese = [&] {
        return state.outcomePlan &&
               state.outcomePlan->sameAs(state.mode, sought, matchCase, x, y, regex);
    };
    if (!foundWithThese()) {
        if (!state.plan->sameAs(state.mode, sought, matchCase, x, y, regex)) {
            // The controls changed during the run: search on with what they say now. A
            // pattern made invalid meanwhile finds nothing and is shown once.
            state.plan = std::make_shared<SearchPlan>(state.mode, sought, matchCase, x, y, regex);
            if (state.plan->patternError && !state.reportedPattern) {
                state.reportedPattern = true;
                m_prompts.message(patternErrorText(*state.plan->patternError), m_applicationTitle,
                                  platform::Icon::Warning);
            }
        }
        // The workers kept only the rows they found: the file is read again for the new
        // search.
        if (!state.outcome->blocks.textKept)
            readAgain(state);
    }
    const FileBlocks &found = state.outcome->blocks;
    if (foundWithThese()) {
        // What was found with these very controls.
        if (found.wide && piece < found.widePieces.size()) {
            state.wideBlocks = &found.widePieces[piece];
            return;
        }
        if (!found.wide && piece < found.bytePieces.size()) {
            state.blocks = &found.bytePieces[piece];
            return;
        }
    }
    const engine::FileText &fileText = found.text;
    engine::Steps routine(m_reporter, "ExtractState", engine::modeRoutineName(*state.mode));
    bool gaveUp = false;
    routine.step(100, [&] {
        gaveUp =
            run::searchPiece(*state.plan, fileText, piece, state.ownBlocks, state.ownWideBlocks);
    });
    if (gaveUp)
        noteGaveUp(state);
    state.blocks = &state.ownBlocks;
    state.wideBlocks = &state.ownWideBlocks;
}

void ExtractionRun::readAgain(RunState &state)
{
    // Read aside from the window thread, which keeps answering; a stop ends the reading early.
    std::atomic<bool> stop{false};
    std::unique_ptr<SearchWorkers::Outcome> outcome = platform::runAside(
        m_yield,
        [&] {
            return SearchWorkers::read(QFile::encodeName(state.path).toStdString(), state.rule,
                                       &stop);
        },
        [&] {
            if (halted(state.generation))
                stop = true;
        });
    // A file the workers read without failure may have gone since.
    if (state.outcome->reports.empty()) {
        for (const SearchWorkers::Report &report : outcome->reports)
            m_reporter.reportError(report.tag, report.step, report.description);
    }
    discard(state);
    state.outcome = std::move(outcome);
    state.outcomePlan = nullptr;
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

void ExtractionRun::emitRows(RunState &state, const QString &path, size_t piece)
{
    const auto emitFrom = [&](const auto &blocks) {
        if (m_view.oneLineValue() == 1) {
            QString joined;
            for (size_t b = 0; b < blocks.size(); ++b) {
                m_yield.yield();
                // The block's line breaks, and any lone CR or LF inside its lines, are dropped.
                for (const auto line : blocks.block(b)) {
                    const QStringView text = decodeLine(line, state.encoding, state.scratch);
                    for (const QChar c : text) {
                        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
                            joined.append(c);
                    }
                }
                joined.append(QLatin1Char(' '));
                if (halted(state.generation))
                    break;
            }
            if (!joined.isEmpty())
                appendJoinedRow(path, joined);
            m_yield.yield();
            return;
        }
        for (size_t b = 0; b < blocks.size(); ++b) {
            m_yield.yield();
            for (const auto line : blocks.block(b)) {
                m_yield.yield();
                bool appended = false;
                if constexpr (std::is_same_v<decltype(line), const std::string_view>)
                    appended = appendBytes(state, path, line);
                if (!appended)
                    appendRow(state, path, decodeLine(line, state.encoding, state.scratch));
                if (halted(state.generation))
                    return;
            }
        }
    };
    try {
        if (state.outcome->blocks.rowsLost)
            throw std::bad_alloc();
        if (state.wideBlocks && !state.wideBlocks->empty())
            emitFrom(*state.wideBlocks);
        else if (state.blocks && !adoptRows(state, piece))
            emitFrom(*state.blocks);
    } catch (const std::bad_alloc &) {
        // Rows that cannot be held end the run; those added so far stay.
        m_stopRequested = true;
        throw engine::Failure("Out of memory");
    }
}

bool ExtractionRun::adoptRows(RunState &state, size_t piece)
{
    // A piece whose rows are the workers' copies of its lines, one byte a character, goes to
    // the list whole: the list keeps the copies instead of copying each row again. The run's
    // own blocks point into a text it read itself.
    if (state.blocks == &state.ownBlocks || state.blocks->empty() || m_view.oneLineValue() == 1 ||
        !state.outcome->blocks.rowsOneByteEach(piece))
        return false;
    const DisplayOption display = m_view.displayOption();
    if (display != DisplayOption::FileAndLine && display != DisplayOption::LineOnly)
        return false;
    // As with single rows, the rows whose yield handles a stop are still added.
    m_yield.yield();
    m_view.adoptResultsWindows1252(display == DisplayOption::FileAndLine ? state.prefix : QString(),
                                   state.outcome->blocks.takeRows(piece), state.blocks->lines());
    return true;
}

bool ExtractionRun::appendBytes(RunState &state, const QString &path, std::string_view line)
{
    // Windows-1252 bytes, and UTF-8 lines of ASCII only, are their characters one for one:
    // the list keeps them as they are.
    if (state.encoding != engine::Encoding::Windows1252 &&
        (state.encoding != engine::Encoding::Utf8 ||
         engine::firstHighByte(line) != std::string_view::npos))
        return false;
    switch (m_view.displayOption()) {
    case DisplayOption::None:
        return true;
    case DisplayOption::FileOnly:
        m_view.appendResult(path);
        return true;
    case DisplayOption::FileAndLine:
        m_view.appendResultWindows1252(state.prefix, line);
        return true;
    case DisplayOption::LineOnly:
        m_view.appendResultWindows1252(QString(), line);
        return true;
    }
    return true;
}

void ExtractionRun::appendRow(RunState &state, const QString &path, QStringView line)
{
    switch (m_view.displayOption()) {
    case DisplayOption::None:
        return;
    case DisplayOption::FileOnly:
        m_view.appendResult(path);
        return;
    case DisplayOption::FileAndLine:
        m_view.appendResult(state.prefix, line);
        return;
    case DisplayOption::LineOnly:
        m_view.appendResult(QString(), line);
        return;
    }
}

void ExtractionRun::appendJoinedRow(const QString &path, const QString &joined)
{
    switch (m_view.displayOption()) {
    case DisplayOption::None:
        return;
    case DisplayOption::LineOnly:
        m_view.appendResult(joined);
        return;
    case DisplayOption::FileAndLine:
        m_view.appendResult(path + QLatin1Char(' ') + joined);
        return;
    case DisplayOption::FileOnly:
        m_view.appendResult(path);
        return;
    }
}

} // namespace run
