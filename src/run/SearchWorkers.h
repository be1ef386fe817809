#pragma once

#include "run/SearchPlan.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace run {

// Reads and searches the files of one run on worker threads, a few files ahead of the window
// thread, which takes the outcomes one by one in list order. Nothing here touches the window.
class SearchWorkers {
public:
    // One failure the reader met, to be shown on the window thread in its place.
    using Report = engine::RecordedFailure;
    using Recorder = engine::FailureRecorder;
    // One member of an archive, or the one text of a compressed file, in parts of whole lines.
    struct Member {
        std::string name; // its path inside the archive; empty for a compressed file's text
        std::vector<Report> reports;
        std::vector<FileBlocks> parts;
    };
    // Everything the window thread needs of one file.
    struct Outcome {
        std::vector<Report> reports;
        FileBlocks blocks;
        // A compressed file's text or an archive's members, in order; blocks is then empty.
        std::vector<Member> members;
        bool packed = false;
        // The path named a folder; its one report says so.
        bool folder = false;

        // Returns how much memory the file's blocks and rows take.
        size_t heldBytes() const;
    };

    // Starts threads workers (at least one) on the files with the plan; with rowText set,
    // they write the rows as it says, with the files' prefixes. With more set, further files
    // may follow with add() until close().
    SearchWorkers(const QStringList &paths, std::shared_ptr<const SearchPlan> plan,
                  std::shared_ptr<const RowText> rowText, engine::ReadRule rule, int threads,
                  bool more = false);
    // Stops the workers and waits for them.
    ~SearchWorkers();
    SearchWorkers(const SearchWorkers &) = delete;
    SearchWorkers &operator=(const SearchWorkers &) = delete;

    // Adds files after those so far, from any thread; listed tells that a folder's listing
    // named each of them a regular file just before.
    void add(const QStringList &paths, bool listed = false);
    // Tells that no file follows: workers that have nothing left to do end.
    void close();
    // Takes the outcome of file i, the next in list order, waiting at most wait for it;
    // returns null when it is not ready yet.
    std::unique_ptr<Outcome> take(size_t i, std::chrono::microseconds wait);
    // Hands an outcome the window thread is done with back, for a worker to free: memory goes
    // back most cheaply on the thread that took it.
    void giveBack(std::unique_ptr<Outcome> outcome);
    // Asks the workers to end at their next check; returns at once.
    void stop();
    // Returns true when every worker has ended.
    bool finished() const { return m_running.load() == 0; }

    // Returns the one report of a run for the files on some lines of which the plan's pattern
    // gave up: how many there were, and the first of them.
    static Report gaveUpReport(const SearchPlan &plan, size_t files, const std::string &firstPath);

    // Reads and searches one file on the calling thread, keeping only the lines of the blocks
    // (or, with rowText, the rows as text with the prefix of its file, named name), not the
    // file's text. listed is passed to engine::readPieces().
    static std::unique_ptr<Outcome> process(const std::string &path, const SearchPlan &plan,
                                            engine::ReadRule rule, const std::atomic<bool> *stop,
                                            const RowText *rowText = nullptr,
                                            const QString &name = QString(), bool listed = false);

private:
    void work();
    // Places the outcome of file i; returns whether the window thread is to be woken.
    bool place(size_t i, std::unique_ptr<Outcome> outcome);
    bool roomFor(size_t files) const;
    // Passes the outcomes handed back on to the workers; m_mutex is held.
    void passReturned();

    QStringList m_paths;
    std::vector<bool> m_listed; // of each path, as add() was told
    std::shared_ptr<const SearchPlan> m_plan;
    std::shared_ptr<const RowText> m_rowText;
    // The most memory finished outcomes waiting to be taken may hold while the one taken
    // next is among them.
    const size_t m_pendingBudget;
    engine::ReadRule m_rule;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_room;
    std::vector<std::unique_ptr<Outcome>> m_slots;
    std::vector<std::unique_ptr<Outcome>> m_spent;
    size_t m_next = 0;
    bool m_closed = true;
    size_t m_consumed = 0;
    size_t m_pendingBytes = 0;
    size_t m_awaited = size_t(-1); // the file the window thread waits for, if it does
    int m_waitingWorkers = 0;
    // Only the thread that takes the outcomes touches these: outcomes taken at once with an
    // earlier one, from file m_aheadFrom on, and those it handed back, not yet passed on.
    std::deque<std::unique_ptr<Outcome>> m_ahead;
    size_t m_aheadFrom = 0;
    std::vector<std::unique_ptr<Outcome>> m_returned;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_running{0};
    std::vector<std::thread> m_threads;
};

} // namespace run
