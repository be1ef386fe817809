#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// Writes settings to their files on a thread of its own, so that whoever sets a value never
// waits for the disk. Changes that come in a burst (a word typed) become one write, which
// starts at most a burst's length after the first of them.
class SettingsWriter {
public:
    // How long the writer gathers changes before it writes them.
    static constexpr std::chrono::milliseconds burst{100};

    struct Change {
        QString path;
        QString section;
        QString key;
        QString value;
    };
    // What became of one write of one file: no failure text when it succeeded.
    struct Outcome {
        QString path;
        QString key; // the first key of the write
        std::string failure;
    };

    // Starts the thread; onOutcome runs on it after each write, once the outcome can be taken.
    explicit SettingsWriter(std::function<void()> onOutcome);
    // Writes what is pending, then ends the thread.
    ~SettingsWriter();
    SettingsWriter(const SettingsWriter &) = delete;
    SettingsWriter &operator=(const SettingsWriter &) = delete;

    // Queues a change; a later change of the same key replaces it.
    void add(Change change);
    // Returns once every change queued so far is written or has failed; a change that
    // failed before is tried once more.
    void flush();
    // Returns the outcomes of the writes since the last call, oldest first.
    std::vector<Outcome> takeOutcomes();

private:
    void run();
    // Merges a change into the pending ones; an older change never replaces a newer one.
    void merge(Change change, bool newer);
    std::vector<Outcome> write(const std::vector<Change> &batch) const;

    std::function<void()> m_onOutcome;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::vector<Change> m_pending;
    std::vector<Outcome> m_outcomes;
    // Requests are numbered; a write covers every request made before it started.
    unsigned long long m_requested = 0;
    unsigned long long m_completed = 0;
    std::chrono::steady_clock::time_point m_burstStart;
    bool m_hurry = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace platform
