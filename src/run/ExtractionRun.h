#pragma once

#include "run/RunRequest.h"
#include "run/RunSink.h"
#include "run/SearchWorkers.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <vector>

namespace engine {
class ErrorReporter;
class Steps;
} // namespace engine

namespace platform {
class Yield;
} // namespace platform

namespace run {

// One extraction run: walks the request's files, runs its mode over every piece of every file
// and hands the rows to a sink in list order, yielding as it goes. Worker threads read and
// search the files ahead of the calling thread, which takes their rows file by file, so the
// sink sees what one thread would have given. Failures are reported under the Start/Stop
// button's tag, as the window has always shown them.
class ExtractionRun {
public:
    ExtractionRun(platform::Yield &yield, engine::ErrorReporter &reporter);
    ~ExtractionRun();
    ExtractionRun(const ExtractionRun &) = delete;
    ExtractionRun &operator=(const ExtractionRun &) = delete;

    // Sets how many worker threads read and search files; 0 means one per processor core.
    void setWorkerCount(int count) { m_workerCount = count; }
    // Takes files found, in order, on the thread that finds them: each one its folder's
    // listing has just named a regular file.
    using FoundFiles = std::function<void(const QStringList &files)>;
    // Finds the files of a folder among the request's paths on a thread of its own, handing
    // them to found as it goes, and ends early once stop is set. Returns what is to be said
    // of the folder (or nothing), which the run says on its own thread once the folder's
    // files are run.
    using FolderFiles = std::function<std::function<void()>(
        const QString &folder, const FoundFiles &found, const std::atomic<bool> &stop)>;
    // Has a folder among the paths run as the files filesOf finds for it, in its place; without,
    // a folder is reported as no file. Each file's rows name it by its position past the paths.
    void setFolderFiles(FolderFiles filesOf) { m_folderFiles = std::move(filesOf); }

    // Runs the request to its end, or until stopped, handing everything found to sink;
    // returns how it ended, which the sink is told last. A run may start while a stopped one
    // is still unwinding further down the stack: that one then ends superseded.
    RunEnd run(const RunRequest &request, RunSink &sink);
    // Asks the run to stop at its next check.
    void stop() { m_stopRequested = true; }
    // Stops every run at its next check for good (the program is ending).
    void abort();
    // Returns whether abort() was called.
    bool aborted() const { return m_aborted; }
    // Returns whether a stop has been requested since the last start.
    bool stopRequested() const { return m_stopRequested; }
    // Returns whether a run is on the stack (also while a stopped one unwinds).
    bool running() const { return m_depth > 0; }

private:
    struct RunState;
    struct PathFeed;
    void runFiles(engine::Steps &steps, RunState &state);
    bool runPaths(engine::Steps &steps, RunState &state, std::shared_ptr<SearchWorkers> workers,
                  PathFeed &paths, qsizetype first, int progress);
    bool nextPath(RunState &state, PathFeed &paths, qsizetype i, QString &path, qsizetype &known);
    bool runFolder(engine::Steps &steps, RunState &state, const QString &folder, int progress);
    void makePlan(RunState &state);
    std::shared_ptr<SearchWorkers> startWorkers(RunState &state, const QStringList &paths,
                                                bool more = false);
    void takeOutcome(RunState &state, size_t file, bool foldersRun);
    bool emitFile(engine::Steps &steps, RunState &state, const QString &path);
    bool emitText(engine::Steps &steps, RunState &state, const QString &name, FileBlocks &blocks);
    void retire(std::shared_ptr<SearchWorkers> workers);
    void discard(RunState &state);
    bool halted(unsigned generation) const;
    void noteGaveUp(RunState &state);
    void emitRows(RunState &state, size_t piece);
    template <typename Blocks> void emitJoined(RunState &state, const Blocks &blocks);
    template <typename Blocks> void emitEach(RunState &state, const Blocks &blocks);
    bool adoptRows(RunState &state, size_t piece);
    void addRow(RunState &state, QStringView line, uint64_t number);
    void addBytes(RunState &state, std::string_view line, uint64_t number);

    platform::Yield &m_yield;
    engine::ErrorReporter &m_reporter;

    bool m_stopRequested = false;
    bool m_aborted = false;
    // Each start takes a new generation; a stopped loop that is still unwinding under a
    // newer run sees the difference and does not carry on.
    unsigned m_generation = 0;
    int m_depth = 0;
    int m_workerCount = 0;
    FolderFiles m_folderFiles;
    // Workers of ended runs that may still be finishing a read; joined once they have.
    std::vector<std::shared_ptr<SearchWorkers>> m_retired;
    // Huge files whose memory goes back to the system aside from the running thread.
    std::vector<std::future<void>> m_disposals;
};

} // namespace run
