#pragma once

#include "run/RunView.h"

#include <QString>
#include <string_view>

namespace engine {
class ErrorReporter;
class Steps;
} // namespace engine

namespace platform {
class Prompts;
class SettingsStore;
class Yield;
} // namespace platform

namespace run {

inline const QString startCaption = QStringLiteral("Start Extracting");
inline const QString stopCaption = QStringLiteral("Stop Extracting");
inline const QString idleProgressText = QStringLiteral("Progress Bar");

// The Start/Stop button: walks the input file list, runs the chosen mode over every piece of
// every file and appends the result rows, yielding to the window as it goes.
class ExtractionRun {
public:
    ExtractionRun(RunView &view, platform::Prompts &prompts, platform::SettingsStore &settings,
                  platform::Yield &yield, engine::ErrorReporter &reporter,
                  const QString &applicationTitle);

    // Handles a click on the Start/Stop button: starts a run when idle, else asks it to stop.
    void PushButton3_Click();
    // Stops every run at its next check without any message (the window is closing).
    void abort();
    // Stops the run at its next check, as Stop does, after a failure that makes going on
    // pointless (no memory left for result rows); "Done." is then not shown.
    void stopAfterFailure() { m_stopRequested = true; }
    // Returns whether a stop has been requested.
    bool stopRequested() const { return m_stopRequested; }
    // Returns whether a run loop is on the stack (also while a stopped one unwinds).
    bool running() const { return m_depth > 0; }

private:
    struct RunState;
    void start(engine::Steps &steps);
    void stop(engine::Steps &steps);
    void finish(engine::Steps &steps, unsigned generation);
    void runFiles(engine::Steps &steps, RunState &state);
    void searchPiece(engine::Steps &steps, RunState &state, std::string_view piece, bool matchCase);
    bool halted(unsigned generation) const;
    int readLineCount(engine::Steps &steps, RunState &state, const QString &key);
    void emitRows(RunState &state, const QString &path);
    void appendRow(const QString &path, std::string_view line);
    void appendRow(const QString &path, const QString &joined);

    RunView &m_view;
    platform::Prompts &m_prompts;
    platform::SettingsStore &m_settings;
    platform::Yield &m_yield;
    engine::ErrorReporter &m_reporter;
    QString m_applicationTitle;

    bool m_stopRequested = false;
    bool m_aborted = false;
    // Each start takes a new generation; a stopped loop that is still unwinding under a
    // newer run sees the difference and does not carry on.
    unsigned m_generation = 0;
    int m_depth = 0;
};

} // namespace run
