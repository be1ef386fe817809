#include "shell/CaptionProgressBar.h"
#include "shell/MainWindow.h"
#include "shell/ResultRowActions.h"
#include "shell/ResultsReading.h"

#include "results/ExportActions.h"
#include "results/ResultsActions.h"
#include "results/ResultsView.h"

#include <QPushButton>
#include <algorithm>

namespace shell {

namespace {

// The main window as the results handlers see it.
class WindowResultsView : public QObject,
                          public results::ResultsView,
                          public results::ProgressIndicator {
public:
    explicit WindowResultsView(MainWindow &window) : QObject(&window), m_window(window) {}

    void setActivity(run::Activity activity) override { m_window.setActivity(activity); }
    QString applicationTitle() const override { return m_window.applicationTitle(); }
    results::ProgressIndicator &progress() override { return *this; }

    // The bar's scale stops at 100; the text save may go a little beyond it.
    void setValue(double value) override
    {
        m_window.progressBar->setValue(int(std::clamp(value, 0.0, 100.0)));
    }
    void setText(const QString &text) override { m_window.progressBar->setCaption(text); }

private:
    MainWindow &m_window;
};

} // namespace

void MainWindow::connectResults()
{
    auto *view = new WindowResultsView(*this);
    auto *lists =
        new results::ResultsActions(*view, m_services, m_report, m_results, m_files, this);
    auto *exports = new results::ExportActions(*view, m_services, m_report, m_results, this);
    // A save, copy, export or filter reads the results across many event pumps. Meanwhile
    // every button that would change the list is refused, and none starts while a run is
    // still appending rows, so each works on the rows as they were when it started.
    auto readingResults = [this](auto action) {
        return [this, action] {
            if (m_resultsInUse > 0 || m_runControl->running())
                return;
            const ResultsReading reading(m_resultsInUse);
            action();
        };
    };
    connect(clearResultsButton, &QPushButton::clicked, lists, [this, lists] {
        if (m_resultsInUse == 0)
            lists->clearResults();
    });
    connect(removeFilesContainingButton, &QPushButton::clicked, lists,
            &results::ResultsActions::removeFilesContaining);
    connect(removeFilesNotContainingButton, &QPushButton::clicked, lists,
            &results::ResultsActions::removeFilesNotContaining);
    connect(removeResultsContainingButton, &QPushButton::clicked, lists,
            readingResults([lists] { lists->removeResultsContaining(); }));
    connect(removeResultsNotContainingButton, &QPushButton::clicked, lists,
            readingResults([lists] { lists->removeResultsNotContaining(); }));
    connect(saveTextButton, &QPushButton::clicked, exports,
            readingResults([exports] { exports->saveAsText(); }));
    connect(saveSpreadsheetButton, &QPushButton::clicked, exports,
            readingResults([exports] { exports->saveAsSpreadsheet(); }));
    connect(copyResultsButton, &QPushButton::clicked, exports,
            readingResults([exports] { exports->copyResults(); }));
    // Enter, the context menu, copying and removing single rows.
    new ResultRowActions(*this, *view, m_resultsInUse);
}

} // namespace shell
