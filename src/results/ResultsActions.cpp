#include "ResultsActions.h"

#include "engine/Steps.h"
#include "platform/ListModel.h"
#include "platform/ModuleNames.h"
#include "platform/Prompts.h"
#include "results/ResultsView.h"
#include "results/RowFilter.h"

namespace results {

namespace {
const QString kContainingPrompt = QStringLiteral("Remove results containing this text: ");
const QString kNotContainingPrompt = QStringLiteral("Remove results not containing this text: ");
} // namespace

ResultsActions::ResultsActions(ResultsView &view, const platform::Services &services,
                               engine::ErrorReporter &reporter, platform::ListModel &results,
                               platform::ListModel &files, QObject *parent)
    : QObject(parent), m_view(view), m_services(services), m_reporter(reporter), m_results(results),
      m_files(files)
{
}

void ResultsActions::removeResultsContaining()
{
    filter(m_results, "PushButton19_Click", kContainingPrompt, true);
}

void ResultsActions::removeResultsNotContaining()
{
    filter(m_results, "PushButton20_Click", kNotContainingPrompt, false);
}

void ResultsActions::removeFilesContaining()
{
    filter(m_files, "PushButton10_Click", kContainingPrompt, true);
}

void ResultsActions::removeFilesNotContaining()
{
    filter(m_files, "PushButton11_Click", kNotContainingPrompt, false);
}

void ResultsActions::clearResults()
{
    engine::Steps steps(m_reporter, platform::mainWindowModule, "PushButton9_Click");
    steps.step(100, [&] { m_results.clear(); });
}

void ResultsActions::filter(platform::ListModel &list, const char *procedure, const QString &prompt,
                            bool containing)
{
    engine::Steps steps(m_reporter, platform::mainWindowModule, procedure);
    QString answer;
    // Kept exactly as typed: leading and trailing blanks are part of the filter text.
    steps.step(100, [&] { answer = m_services.prompts->input(prompt, m_view.applicationTitle()); });
    if (steps.test(102, [&] { return answer.isEmpty(); }))
        return;
    steps.step(104, [&] { m_view.setActivity(run::Activity::Busy); });
    if (steps.test(106, [&] { return list.count() > 0; })) {
        steps.step(112, [&] {
            if (containing)
                RowFilter::removeRowsContaining(list, answer, *m_services.yield);
            else
                RowFilter::removeRowsNotContaining(list, answer, *m_services.yield);
        });
    } else {
        steps.step(118, [&] {
            m_services.prompts->message(QStringLiteral("There are no results to remove."),
                                        m_view.applicationTitle(), platform::Icon::None,
                                        platform::Buttons::Ok);
        });
    }
    steps.step(120, [&] { m_view.setActivity(run::Activity::Idle); });
}

} // namespace results
