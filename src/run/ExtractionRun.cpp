#include "ExtractionRun.h"

#include "engine/BlockList.h"
#include "engine/CodePage.h"
#include "engine/FileReader.h"
#include "engine/Modes.h"
#include "engine/Needle.h"
#include "engine/Steps.h"
#include "platform/Paths.h"
#include "platform/Prompts.h"
#include "platform/SettingsStore.h"
#include "platform/Yield.h"

#include <QFile>
#include <optional>

namespace run {

namespace {

const QString &application = platform::settingsApplication;
const QString &section = platform::settingsSection;
const QString xyCaption = QStringLiteral(
    "Extract line which contains search word and x line(s) above and y line(s) below");

// Lowers character by character, so the text keeps its length (no full case folding).
QString lowerEachCharacter(QString text)
{
    for (QChar &c : text)
        c = c.toLower();
    return text;
}

} // namespace

// What one run keeps while it walks the files: its generation, the needle built from the
// current search text, and the blocks of the current piece.
struct ExtractionRun::RunState {
    unsigned generation = 0;
    engine::BlockList blocks;
    std::optional<engine::Needle> needle;
    QString needleText;
    bool needleMatchCase = false;
    bool modeKnown = false;
    QString modeText;
    std::optional<engine::Mode> mode;
    bool reportedX = false;
    bool reportedY = false;
};

ExtractionRun::ExtractionRun(RunView &view, platform::Prompts &prompts,
                             platform::SettingsStore &settings, platform::Yield &yield,
                             engine::ErrorReporter &reporter, const QString &applicationTitle)
    : m_view(view), m_prompts(prompts), m_settings(settings), m_yield(yield), m_reporter(reporter),
      m_applicationTitle(applicationTitle)
{
}

void ExtractionRun::PushButton3_Click()
{
    engine::Steps steps(m_reporter, "Form1", "PushButton3_Click");
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
    if (steps.test(106, [&] { return m_view.modeText() == xyCaption && !m_view.form2Shown(); }))
        steps.step(108, [&] { m_view.showForm2(); });
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

void ExtractionRun::runFiles(engine::Steps &steps, RunState &state)
{
    int n = 0;
    steps.step(118, [&] { n = m_view.fileCount(); });
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
                               QStringLiteral("Processing: ") + platform::FileNameFromPath(path));
        });
        steps.step(124, [&] { m_yield.yield(); });
        steps.step(126, [&] { m_view.setMousePointer(11); });
        bool matchCase = false;
        steps.step(128, [&] { matchCase = m_view.matchCaseValue() != 0; });
        engine::Pieces pieces;
        steps.step(130, [&] {
            pieces = engine::ReadFileToStringFSO(QFile::encodeName(path).toStdString(), m_reporter);
        });
        for (size_t p = 0; p < pieces.count(); ++p) {
            state.blocks.clear();
            steps.step(132, [&] { searchPiece(steps, state, pieces.piece(p), matchCase); });
            steps.step(134, [&] { emitRows(state, path); });
            if (steps.test(136, [&] { return halted(state.generation); }))
                break;
            // Pieces without a match emit nothing, so the run yields between pieces too.
            m_yield.yield();
        }
        if (steps.test(138, [&] { return halted(state.generation); }))
            break;
    }
}

int ExtractionRun::readLineCount(engine::Steps &steps, RunState &state, const QString &key)
{
    bool &reported = key == QLatin1String("Combo2") ? state.reportedX : state.reportedY;
    QString stored;
    try {
        stored = m_settings.ReadSetting(application, section, key, QStringLiteral("1"));
    } catch (const engine::Failure &failure) {
        if (!reported)
            steps.report(failure.what());
        reported = true;
        return 1;
    }
    bool ok = false;
    const int value = stored.trimmed().toInt(&ok);
    if (ok)
        return value;
    // Reported once per run; the run goes on with one line.
    if (!reported)
        steps.report("Type mismatch: the stored value of \"" + key.toStdString() + "\" (\"" +
                     stored.toStdString() + "\") is not a number; 1 is used");
    reported = true;
    return 1;
}

void ExtractionRun::searchPiece(engine::Steps &steps, RunState &state, std::string_view piece,
                                bool matchCase)
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
    if (!state.needle || text != state.needleText || matchCase != state.needleMatchCase) {
        const QString sought = matchCase ? text : lowerEachCharacter(text);
        const std::optional<std::string> bytes = engine::encode(std::u16string_view(
            reinterpret_cast<const char16_t *>(sought.utf16()), size_t(sought.size())));
        state.needle =
            bytes ? engine::Needle::fromBytes(*bytes, matchCase) : engine::Needle::never();
        state.needleText = text;
        state.needleMatchCase = matchCase;
    }

    int x = 1;
    int y = 1;
    if (*state.mode == engine::Mode::ExtractSearchWordLineUpXDownY) {
        x = readLineCount(steps, state, QStringLiteral("Combo2"));
        y = readLineCount(steps, state, QStringLiteral("Combo3"));
    }
    engine::Steps routine(m_reporter, "ExtractState", engine::modeRoutineName(*state.mode));
    routine.step(100,
                 [&] { engine::extract(*state.mode, piece, *state.needle, x, y, state.blocks); });
}

void ExtractionRun::emitRows(RunState &state, const QString &path)
{
    const engine::BlockList &blocks = state.blocks;
    if (m_view.oneLineValue() == 1) {
        QString joined;
        for (size_t b = 0; b < blocks.size(); ++b) {
            m_yield.yield();
            // The block's line breaks, and any lone CR or LF inside its lines, are dropped.
            for (const std::string_view line : blocks.block(b)) {
                const qsizetype at = joined.size();
                joined.resize(at + qsizetype(line.size()));
                char16_t *out = reinterpret_cast<char16_t *>(joined.data()) + at;
                qsizetype kept = 0;
                for (const char byte : line) {
                    if (byte != '\r' && byte != '\n')
                        out[kept++] = engine::toUnicode(static_cast<unsigned char>(byte));
                }
                joined.resize(at + kept);
            }
            joined.append(QLatin1Char(' '));
            if (halted(state.generation))
                break;
        }
        if (!joined.isEmpty())
            appendRow(path, joined);
        m_yield.yield();
        return;
    }
    for (size_t b = 0; b < blocks.size(); ++b) {
        m_yield.yield();
        for (const std::string_view line : blocks.block(b)) {
            m_yield.yield();
            appendRow(path, line);
            if (halted(state.generation))
                return;
        }
    }
}

void ExtractionRun::appendRow(const QString &path, std::string_view line)
{
    const DisplayOption option = m_view.displayOption();
    if (option == DisplayOption::None)
        return;
    if (option == DisplayOption::FileOnly) {
        m_view.appendResult(path);
        return;
    }
    const qsizetype prefix = option == DisplayOption::FileAndLine ? path.size() + 1 : 0;
    QString row(prefix + qsizetype(line.size()), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(row.data());
    if (prefix > 0) {
        std::copy_n(reinterpret_cast<const char16_t *>(path.utf16()), path.size(), out);
        out[path.size()] = u' ';
    }
    engine::decodeInto(line, out + prefix);
    m_view.appendResult(std::move(row));
}

void ExtractionRun::appendRow(const QString &path, const QString &joined)
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
