#include "shell/CaptionProgressBar.h"
#include "shell/MainWindow.h"

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

    int mousePointer() const override { return m_window.mousePointer(); }
    void setMousePointer(int value) override { m_window.setMousePointer(value); }
    QString applicationTitle() const override { return m_window.applicationTitle(); }
    results::ProgressIndicator &progress() override { return *this; }

    // The bar's scale stops at 100; the text save may go a little beyond it.
    void setValue(double value) override
    {
        m_window.ProgressBar1->setValue(int(std::clamp(value, 0.0, 100.0)));
    }
    void setText(const QString &text) override { m_window.ProgressBar1->setCaption(text); }

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
    connect(PushButton9, &QPushButton::clicked, lists, &results::ResultsActions::PushButton9_Click);
    connect(PushButton10, &QPushButton::clicked, lists,
            &results::ResultsActions::PushButton10_Click);
    connect(PushButton11, &QPushButton::clicked, lists,
            &results::ResultsActions::PushButton11_Click);
    connect(PushButton19, &QPushButton::clicked, lists,
            &results::ResultsActions::PushButton19_Click);
    connect(PushButton20, &QPushButton::clicked, lists,
            &results::ResultsActions::PushButton20_Click);
    connect(PushButton2, &QPushButton::clicked, exports,
            &results::ExportActions::PushButton2_Click);
    connect(PushButton12, &QPushButton::clicked, exports,
            &results::ExportActions::PushButton12_Click);
    connect(PushButton18, &QPushButton::clicked, exports,
            &results::ExportActions::PushButton18_Click);
}

} // namespace shell
