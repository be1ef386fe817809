#include "ExportActions.h"

#include "engine/Steps.h"
#include "platform/Desktop.h"
#include "platform/FileDialogs.h"
#include "platform/FileSystem.h"
#include "platform/ListModel.h"
#include "platform/ModuleNames.h"
#include "platform/Prompts.h"
#include "results/AlignedTextWriter.h"
#include "results/ClipboardCopier.h"
#include "results/ResultsView.h"
#include "results/SpreadsheetWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <new>

namespace results {

ExportActions::ExportActions(ResultsView &view, const platform::Services &services,
                             engine::ErrorReporter &reporter, platform::ListModel &results,
                             QObject *parent)
    : QObject(parent), m_view(view), m_services(services), m_reporter(reporter), m_results(results)
{
}

namespace {

// Returns the folder new workbooks go to: the given one, else $TMPDIR, else /tmp. A folder
// that does not exist is a failure, never the current folder.
QString workbookFolder(const QString &chosen)
{
    QString folder = chosen;
    if (folder.isEmpty())
        folder = qEnvironmentVariable("TMPDIR");
    if (folder.isEmpty())
        folder = QStringLiteral("/tmp");
    if (!QFileInfo(folder).isDir())
        throw engine::Failure("Path not found: the temporary folder " + folder.toStdString() +
                              " does not exist");
    return folder;
}

} // namespace

void ExportActions::showMessage(const QString &text)
{
    m_services.prompts->message(text, m_view.applicationTitle(), platform::Icon::None,
                                platform::Buttons::Ok);
}

void ExportActions::saveAsText()
{
    engine::Steps steps(m_reporter, platform::mainWindowModule, "PushButton2_Click");
    QString path;
    // The dialog asks nothing about overwriting; the question below does.
    steps.step(114, [&] {
        path = m_services.dialogs->saveFile(QStringLiteral("Save"),
                                            QStringLiteral("Text Files (*.txt);;All Files (*.*)"),
                                            QString());
    });
    if (steps.test(118, [&] { return path.isEmpty(); }))
        return;
    platform::Answer answer = platform::Answer::Yes;
    // A link to a name where nothing is yet would quietly make a file there, in a folder
    // the user may never have looked at: it is asked about as an existing file is.
    QString unmadeTarget;
    if (steps.test(120, [&] {
            if (m_services.fileSystem->fileExists(path))
                return true;
            unmadeTarget = m_services.fileSystem->linkTarget(path);
            return !unmadeTarget.isEmpty();
        })) {
        steps.step(122, [&] {
            QString question =
                QStringLiteral("Are you sure you wish to overwrite ") + path + QStringLiteral(" ?");
            if (!unmadeTarget.isEmpty())
                question += QStringLiteral("\r\rIt is a link to ") + unmadeTarget +
                            QStringLiteral(", where nothing is yet: the results will be saved "
                                           "there.");
            answer = m_services.prompts->message(question, m_view.applicationTitle(),
                                                 platform::Icon::None, platform::Buttons::YesNo);
        });
    }
    if (steps.test(126, [&] { return answer != platform::Answer::Yes; }))
        return;
    steps.step(128, [&] { m_view.setActivity(run::Activity::Busy); });
    bool saved = false;
    steps.step(130, [&] {
        AlignedTextWriter writer(*m_services.yield, m_reporter);
        saved = writer.saveAligned(m_results, path, &m_view.progress());
    });
    steps.step(132, [&] { m_view.setActivity(run::Activity::Idle); });
    // The writer has already reported a failed save; "Done." would claim the opposite.
    if (saved)
        steps.step(134, [&] { showMessage(QStringLiteral("Done.")); });
}

void ExportActions::copyResults()
{
    engine::Steps steps(m_reporter, platform::mainWindowModule, "PushButton18_Click");
    steps.step(106, [&] {
        m_view.progress().setText(QStringLiteral("Copying text to clipboard.. please wait.."));
    });
    steps.step(108, [&] { m_view.setActivity(run::Activity::Busy); });
    bool copied = false;
    steps.step(110, [&] {
        const auto outcome =
            ClipboardCopier::copyToClipboard(m_results, *m_services.clipboard, *m_services.yield);
        if (outcome == ClipboardCopier::Outcome::Refused)
            throw engine::Failure("The clipboard is in use by another program and did not take "
                                  "the results");
        copied = true;
    });
    if (copied)
        steps.step(112, [&] {
            showMessage(QStringLiteral("Results have been copied to the clipboard.\r\rClick a "
                                       "text area where you normally type and press Ctrl+V to "
                                       "paste the clipboard."));
        });
    steps.step(114, [&] { m_view.setActivity(run::Activity::Idle); });
    steps.step(116, [&] { m_view.progress().setText(QStringLiteral("Progress Bar")); });
}

bool ExportActions::spreadsheetAppInstalled()
{
    if (m_services.desktop->hasSpreadsheetApplication())
        return true;
    showMessage(QStringLiteral("Excel is not installed on this computer. You need to have it "
                               "installed to use this software without error."));
    return false;
}

void ExportActions::saveAsSpreadsheet()
{
    engine::Steps steps(m_reporter, platform::mainWindowModule, "PushButton12_Click");
    bool installed = false;
    steps.step(100, [&] { installed = spreadsheetAppInstalled(); });
    if (!installed) {
        steps.step(172, [&] {
            showMessage(QStringLiteral("Excel is not installed on this computer. You need to "
                                       "have it installed to use this feature."));
        });
        return;
    }
    if (steps.test(108, [&] { return m_results.count() == 0; }))
        return;
    steps.step(110, [&] { m_view.setActivity(run::Activity::Busy); });
    SpreadsheetWriter writer(*m_services.yield);
    bool created = false;
    steps.step(112, [&] {
        createWorkbook(writer);
        created = true;
    });
    // Without a workbook there is nothing to fill or show.
    const bool written = created && fillWorkbook(steps, writer);
    steps.step(170, [&] { m_view.setActivity(run::Activity::Idle); });
    // What the messages below describe is in a workbook only when one was written.
    if (written)
        tellWhatDidNotFit(steps, writer);
}

void ExportActions::createWorkbook(SpreadsheetWriter &writer)
{
    QTemporaryFile reserved(QDir(workbookFolder(m_spreadsheetFolder))
                                .filePath(QStringLiteral("Lumbrex Results XXXXXX.xlsx")));
    reserved.setAutoRemove(false);
    if (!reserved.open())
        throw engine::Failure(reserved.errorString().toStdString());
    m_lastWorkbook = reserved.fileName();
    reserved.close();
    writer.create(m_lastWorkbook);
}

bool ExportActions::fillWorkbook(engine::Steps &steps, SpreadsheetWriter &writer)
{
    bool header = false;
    steps.step(118, [&] {
        writer.writeHeaders(m_results);
        header = true;
    });
    bool rows = false;
    int at = 138;
    try {
        writer.writeRows(m_results, at);
        rows = true;
    } catch (const engine::Failure &failure) {
        // One report for the whole fill: a list emptied meanwhile would otherwise cost one
        // report per remaining cell.
        m_reporter.reportError(steps.tag(), at, failure.what());
    } catch (const std::bad_alloc &) {
        m_reporter.reportError(steps.tag(), at, "Out of memory");
    }
    bool fitted = false;
    steps.step(166, [&] {
        writer.fitColumns();
        fitted = true;
    });
    bool written = false;
    steps.step(168, [&] {
        writer.close();
        written = header && rows && fitted;
    });
    // A workbook that failed anywhere is incomplete, so it is removed rather than shown.
    if (!written) {
        QFile::remove(m_lastWorkbook);
        return false;
    }
    steps.step(168, [&] {
        if (!m_services.desktop->openSpreadsheet(m_lastWorkbook))
            throw engine::Failure("The spreadsheet application could not open " +
                                  m_lastWorkbook.toStdString());
    });
    return true;
}

void ExportActions::tellWhatDidNotFit(engine::Steps &steps, const SpreadsheetWriter &writer)
{
    using Shortfall = SpreadsheetWriter::Shortfall;
    const std::pair<Shortfall, int> told[] = {
        {Shortfall::RowsLeftOut, 174}, {Shortfall::CellsCut, 176}, {Shortfall::CellsReplaced, 178}};
    for (const auto &[shortfall, step] : told) {
        const int count = writer.count(shortfall);
        if (count > 0)
            steps.step(step, [&] { showMessage(SpreadsheetWriter::describe(shortfall, count)); });
    }
}

} // namespace results
