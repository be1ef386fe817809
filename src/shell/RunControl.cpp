#include "RunControl.h"

#include "engine/Steps.h"
#include "platform/ModuleNames.h"
#include "platform/Prompts.h"
#include "platform/SettingsStore.h"
#include "run/ModeTable.h"
#include "shell/MainWindow.h"
#include "shell/ResultsSink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

namespace shell {

RunControl::RunControl(MainWindow &window)
    : m_window(window), m_run(*window.services().yield, window.reporter())
{
}

void RunControl::startOrStop()
{
    engine::Steps steps(m_window.reporter(), platform::mainWindowModule, "PushButton3_Click");
    if (steps.test(100, [&] { return m_window.activity() != run::Activity::Running; }))
        start(steps);
    else
        stop(steps);
}

void RunControl::stop(engine::Steps &steps)
{
    steps.step(140, [&] { m_run.stop(); });
    steps.step(142, [&] { m_window.setActivity(run::Activity::Idle); });
    steps.step(144, [&] { m_window.setProgress(0, idleProgressText); });
    steps.step(146, [&] { m_window.resultsSink().showAll(); });
}

void RunControl::showMessage(const QString &text, bool warning)
{
    m_window.services().prompts->message(text, m_window.applicationTitle(),
                                         warning ? platform::Icon::Warning : platform::Icon::None);
}

bool RunControl::patternRefused()
{
    run::RunRequest pattern;
    pattern.searchText = m_window.searchBox->text();
    pattern.matchCase = m_window.matchCaseBox->isChecked();
    pattern.regex = m_window.regexBox->isChecked();
    const std::optional<QString> problem = run::patternProblem(pattern);
    if (problem)
        showMessage(*problem, true);
    return problem.has_value();
}

void RunControl::start(engine::Steps &steps)
{
    if (steps.test(102, [&] { return m_window.files().count() == 0; })) {
        steps.step(104, [&] { showMessage(QStringLiteral("No files added.")); });
        return;
    }
    if (steps.test(105, [&] { return patternRefused(); }))
        return;
    const bool linesMode = run::modeAt(m_window.modeList->currentIndex()) ==
                           engine::Mode::ExtractSearchWordLineUpXDownY;
    if (steps.test(106, [&] { return linesMode && !m_window.m_linesDialogClosedWithClose; }))
        steps.step(108, [&] { m_window.showLinesDialog(); });
    if (m_run.aborted())
        return;

    // Everything the run needs is taken here, once: a control changed during the run counts
    // from the next start on.
    const run::RunRequest request = this->request(steps);
    steps.step(110, [&] {
        m_window.setActivity(run::Activity::Running);
        m_window.resultsSink().beginRun(request);
    });
    const run::RunEnd end = m_run.run(request, m_window.resultsSink());
    finish(steps, end);
}

run::RunRequest RunControl::request(engine::Steps &steps) const
{
    const MainWindow &w = m_window;
    run::RunRequest request;
    request.mode = run::modeAt(w.modeList->currentIndex());
    if (request.mode == engine::Mode::ExtractSearchWordLineUpXDownY) {
        readLineCount(steps, linesAboveKey, request.linesAbove);
        readLineCount(steps, linesBelowKey, request.linesBelow);
    }
    request.searchText = w.searchBox->text();
    request.matchCase = w.matchCaseBox->isChecked();
    request.regex = w.regexBox->isChecked();
    request.readRule = w.readAsWindows1252Box->isChecked() ? engine::ReadRule::Windows1252CrLf
                                                           : engine::ReadRule::Automatic;
    request.display = w.lineOnlyOption->isChecked()      ? run::DisplayOption::LineOnly
                      : w.fileAndLineOption->isChecked() ? run::DisplayOption::FileAndLine
                      : w.fileOnlyOption->isChecked()    ? run::DisplayOption::FileOnly
                                                         : run::DisplayOption::None;
    request.oneLine = w.oneLineBox->isChecked();
    request.paths = m_window.files().texts();
    return request;
}

void RunControl::readLineCount(engine::Steps &steps, const QString &key, int &count) const
{
    // The lines dialog's own rule; a count it would refuse is reported, and one line taken.
    steps.step(132, [&] {
        const QString stored = m_window.services().settings->readSetting(
            platform::settingsApplication, platform::settingsSection, key, QStringLiteral("1"));
        try {
            count = run::storedLineCount(stored);
        } catch (const engine::Failure &failure) {
            throw engine::Failure(std::string(failure.what()) + ": the stored value of \"" +
                                  key.toStdString() + "\" (\"" + stored.toStdString() +
                                  "\") is no line count from -1 to 12; 1 is used");
        }
    });
}

void RunControl::finish(engine::Steps &steps, run::RunEnd end)
{
    // A run that a newer one replaced, or that the closing window ended, leaves the
    // controls to their new owner.
    if (end == run::RunEnd::Superseded)
        return;
    steps.step(148, [&] { m_window.setActivity(run::Activity::Idle); });
    steps.step(150, [&] { m_window.setProgress(0, idleProgressText); });
    steps.step(152, [&] { m_window.resultsSink().showAll(); });
    if (steps.test(154, [&] { return end == run::RunEnd::Finished; }))
        steps.step(156, [&] { showMessage(QStringLiteral("Done.")); });
}

} // namespace shell
