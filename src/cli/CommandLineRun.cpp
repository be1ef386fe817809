#include "CommandLineRun.h"

#include "cli/CommandLine.h"
#include "cli/ConsoleReporter.h"
#include "cli/InputPaths.h"
#include "cli/Interruption.h"
#include "cli/ListSink.h"
#include "cli/OutputSink.h"
#include "cli/SavedRows.h"
#include "cli/StoredOptions.h"
#include "platform/HeapTuning.h"
#include "platform/ListModel.h"
#include "platform/SettingsStore.h"
#include "results/ResultsView.h"
#include "run/ExtractionRun.h"
#include "run/ModeTable.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace cli {

namespace {

void writeText(int fd, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written <= 0)
            return;
        data += written;
        left -= written;
    }
}

// The defaults of a command line without --use-settings: the window's, but for the mode,
// where a command line more often wants the matching line alone.
run::RunRequest requestFor(const Options &options)
{
    run::RunRequest request;
    request.mode =
        run::modeAt(options.mode.value_or(run::positionOf(engine::Mode::ExtractSearchWordLine)));
    request.linesAbove = options.linesAbove.value_or(1);
    request.linesBelow = options.linesBelow.value_or(1);
    request.searchText = options.searchText.value_or(QString());
    request.matchCase = options.matchCase.value_or(false);
    request.regex = options.regex.value_or(false);
    request.readRule = options.readRule.value_or(engine::ReadRule::Automatic);
    request.display = options.display.value_or(run::DisplayOption::FileAndLine);
    request.oneLine = options.oneLine.value_or(false);
    return request;
}

// Runs the request into the files the command line names; returns the rows found, or -1
// when the run or a save failed.
qint64 runIntoFiles(run::ExtractionRun &extraction, const run::RunRequest &request,
                    const Options &options, Interruption &interruption, ConsoleReporter &reporter,
                    const std::function<void(const QString &)> &nextFile)
{
    platform::ListModel rows;
    rows.setHeader(results::resultsHeader);
    ListSink sink(rows, nextFile);
    const run::RunEnd end = extraction.run(request, sink);
    reporter.setSubject(QString());
    if (Interruption::interrupted())
        Interruption::endAsSignalled(SIGINT);
    // A run stopped by rows that did not fit has said so: its rows are not all there.
    if (end != run::RunEnd::Finished)
        return -1;
    try {
        rows.flush();
    } catch (const std::bad_alloc &) {
        reporter.fail(ConsoleReporter::reasonFor("Out of memory"));
        return -1;
    }
    SavedRows saved(rows, interruption, reporter);
    bool whole = true;
    if (!options.saveText.isEmpty())
        whole = saved.saveText(options.saveText) && whole;
    if (!options.saveXlsx.isEmpty())
        whole = saved.saveWorkbook(options.saveXlsx) && whole;
    return whole ? rows.count() : -1;
}

// Runs the request onto the console's output; returns the rows found, or -1 when the output
// failed.
qint64 runOntoOutput(run::ExtractionRun &extraction, const run::RunRequest &request,
                     const Options &options, const Console &console, ConsoleReporter &reporter,
                     const std::function<void(const QString &)> &nextFile)
{
    OutputSink sink(console.output, options.rowEnd, nextFile, [&] { extraction.stop(); });
    sink.setLineNumbers(options.lineNumbers.value_or(false));
    run::RunRequest numbered = request;
    numbered.lineNumbers = options.lineNumbers.value_or(false);
    extraction.run(numbered, sink);
    reporter.setSubject(QString());
    // Ctrl+C ends the program at once, as it ends grep: rows still in hand are dropped
    // rather than waited for a reader who may never take them.
    if (Interruption::interrupted())
        Interruption::endAsSignalled(SIGINT);
    const bool written = sink.finish();
    if (sink.readerGone())
        Interruption::endAsSignalled(SIGPIPE);
    if (!written) {
        reporter.failAbout(QStringLiteral("standard output"),
                           QString::fromLocal8Bit(std::strerror(sink.writeError())));
        return -1;
    }
    return qint64(sink.rows());
}

} // namespace

int runExtraction(Options options, const Console &console, ConsoleReporter &reporter)
{
    if (options.useSettings) {
        // Read only: the store writes nothing unless told to.
        platform::IniSettingsStore store(console.settingsFolder);
        takeStoredOptions(store, options, reporter);
    }
    run::RunRequest request = requestFor(options);
    if (const std::optional<QString> problem = run::patternProblem(request)) {
        reporter.fail(*problem);
        return 2;
    }

    Interruption interruption;
    InputPaths inputs(reporter, console.input);
    interruption.setStop([&] { inputs.stop(); });
    const std::optional<QStringList> paths =
        inputs.gather(options.paths, options.filesFrom, options.scanPattern.value_or("*"));
    if (Interruption::interrupted())
        Interruption::endAsSignalled(SIGINT);
    if (!paths)
        return 2;
    request.paths = *paths;

    platform::tuneHeapForRuns();
    run::ExtractionRun extraction(interruption, reporter);
    extraction.setWorkerCount(options.threads);
    extraction.setFolderFiles(
        [&](const QString &folder, const run::ExtractionRun::FoundFiles &found,
            const std::atomic<bool> &stop) { return inputs.filesOf(folder, found, stop); });
    interruption.setStop([&] {
        inputs.stop();
        extraction.stop();
    });
    // Each read failure is said of its file, once.
    const std::string readerTag = engine::errorTag("ExtractState", "ReadFileToStringFSO");
    const std::function<void(const QString &)> nextFile = [&](const QString &path) {
        reporter.setSubject(path, readerTag);
    };
    const bool saving = !options.saveText.isEmpty() || !options.saveXlsx.isEmpty();
    const qint64 rows =
        saving ? runIntoFiles(extraction, request, options, interruption, reporter, nextFile)
               : runOntoOutput(extraction, request, options, console, reporter, nextFile);
    if (rows < 0 || reporter.failed())
        return 2;
    return rows > 0 ? 0 : 1;
}

int runCommandLine(const QStringList &arguments, const Console &console)
{
    ConsoleReporter reporter(console.errors);
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    if (!parsed.error.isEmpty()) {
        reporter.fail(parsed.error);
        writeText(console.errors, usageHint() + u'\n');
        return 2;
    }
    switch (parsed.options.command) {
    case Command::Help:
        writeText(console.output, helpText());
        return 0;
    case Command::Version:
        writeText(console.output, versionText() + u'\n');
        return 0;
    case Command::Extract:
        return runExtraction(parsed.options, console, reporter);
    case Command::Window:
        break;
    }
    writeText(console.errors, usageHint() + u'\n');
    return 2;
}

} // namespace cli
