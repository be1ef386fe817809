#pragma once

#include "run/ExtractionRun.h"
#include "run/OptionKeys.h"

#include <QString>

namespace engine {
class Steps;
}

namespace shell {

class MainWindow;

inline const QString startCaption = QStringLiteral("Start Extracting");
inline const QString stopCaption = QStringLiteral("Stop Extracting");
inline const QString idleProgressText = QStringLiteral("Progress Bar");
// The keys the lines above and below are stored under; they are also the names of the lines
// dialog's two lists.
using run::linesAboveKey;
using run::linesBelowKey;

// The Start/Stop button: at a start, turns the window's controls into one run request and
// runs it with the results list as its sink; a click while it runs stops it.
class RunControl {
public:
    explicit RunControl(MainWindow &window);

    // Handles a click on the Start/Stop button.
    void startOrStop();
    // Stops every run for good: the window is closing.
    void abort() { m_run.abort(); }
    // Returns whether a run is on the stack (also while a stopped one unwinds).
    bool running() const { return m_run.running(); }
    // Returns the run behind the button.
    run::ExtractionRun &extraction() { return m_run; }

private:
    void start(engine::Steps &steps);
    void stop(engine::Steps &steps);
    bool patternRefused();
    run::RunRequest request(engine::Steps &steps) const;
    void readLineCount(engine::Steps &steps, const QString &key, int &count) const;
    void finish(engine::Steps &steps, run::RunEnd end);
    void showMessage(const QString &text, bool warning = false);

    MainWindow &m_window;
    run::ExtractionRun m_run;
};

} // namespace shell
