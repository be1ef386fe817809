#pragma once

#include "run/RunView.h"
#include "run/SearchWorkers.h"

#include <QString>
#include <future>
#include <memory>
#include <string_view>
#include <vector>

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

struct SearchPlan;

inline const QString startCaption = QStringLiteral("Start Extracting");
inline const QString stopCaption = QStringLiteral("Stop Extracting");
inline const QString idleProgressText = QStringLiteral("Progress Bar");
// The keys the lines above and below are stored under; they are also the names of the lines
// dialog's two lists.
inline const QString linesAboveKey = QStringLiteral("Combo2");
inline const QString linesBelowKey = QStringLiteral("Combo3");

// The Start/Stop button: walks the input file list, runs the chosen mode over every piece of
// every file and appends the result rows, yielding to the window as it goes. Worker threads
// read and search the files a few ahead; the window thread takes their blocks in list order
// and turns them into rows, so what the window shows is what one thread would have shown.
class ExtractionRun {
public:
    ExtractionRun(RunView &view, platform::Prompts &prompts, platform::SettingsStore &settings,
                  platform::Yield &yield, engine::ErrorReporter &reporter,
                  const QString &applicationTitle);
    ~ExtractionRun();
    ExtractionRun(const ExtractionRun &) = delete;
    ExtractionRun &operator=(const ExtractionRun &) = delete;

    // Sets how many worker threads read and search files; 0 means one per processor core.
    void setWorkerCount(int count) { m_workerCount = count; }

    // Handles a click on the Start/Stop button: starts a run when idle, else asks it to stop.
    void startOrStop();
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
    bool patternAccepted();
    void stop(engine::Steps &steps);
    void finish(engine::Steps &steps, unsigned generation);
    void runFiles(engine::Steps &steps, RunState &state);
    std::shared_ptr<SearchWorkers> startWorkers(engine::Steps &steps, RunState &state);
    void retire(std::shared_ptr<SearchWorkers> workers);
    void discard(RunState &state);
    void searchPiece(engine::Steps &steps, RunState &state, size_t piece, bool matchCase);
    void readAgain(RunState &state);
    void noteGaveUp(RunState &state);
    bool halted(unsigned generation) const;
    int readLineCount(engine::Steps &steps, RunState &state, const QString &key,
                      bool report = true);
    void emitRows(RunState &state, const QString &path, size_t piece);
    void appendRow(RunState &state, const QString &path, QStringView line);
    bool adoptRows(RunState &state, size_t piece);
    bool appendBytes(RunState &state, const QString &path, std::string_view line);
    void appendJoinedRow(const QString &path, const QString &joined);

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
    int m_workerCount = 0;
    // Workers of ended runs that may still be finishing a read; joined once they have.
    std::vector<std::shared_ptr<SearchWorkers>> m_retired;
    // Huge files whose memory goes back to the system aside from the window thread.
    std::vector<std::future<void>> m_disposals;
};

} // namespace run
