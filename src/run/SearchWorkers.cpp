#include "SearchWorkers.h"

#include "PackedSearch.h"

#include "engine/PackedReader.h"
#include "engine/Steps.h"

#include <QFile>

namespace run {

namespace {

// Finished outcomes waiting for the window thread hold at most this much memory, so files of
// many rows do not fill it ahead of the list.
constexpr size_t kPendingBudget = size_t(64) << 20;
// Rows written as text go to a sink that writes them out as fast as they come: while it has
// rows to write, a few files' rows waiting keep it busy. The memory they free is then taken
// again while still in the processors' caches; more waiting would only have the workers write
// into fresh pages, which costs more than writing the rows (a tenth of a run's processor time
// on files of many rows).
constexpr size_t kTextPendingBudget = size_t(2) << 20;
// Many small files ahead keep the workers from waiting on the window thread file by file.
constexpr size_t kFilesAhead = 1024;
// Threads wake one another for this many files at a time: each wake-up costs two switches
// between threads, more than a small file's search. The window thread looks again within its
// wait of a few milliseconds anyway, so a larger batch delays no row by more.
constexpr size_t kBatch = 128;
// A worker whose files took less than this each asks for this many at once: each ask meets
// the other threads at one lock, which then costs about as much as reading a file.
constexpr std::chrono::microseconds kQuickFile{50};
constexpr size_t kSmallClaim = 8;
// The window thread hands files it is done with back this many at a time.
constexpr size_t kReturnedAtOnce = 8;

} // namespace

size_t SearchWorkers::Outcome::heldBytes() const
{
    size_t held = blocks.heldBytes();
    for (const Member &member : members) {
        for (const FileBlocks &part : member.parts)
            held += part.heldBytes();
    }
    return held;
}

SearchWorkers::SearchWorkers(const QStringList &paths, std::shared_ptr<const SearchPlan> plan,
                             std::shared_ptr<const RowText> rowText, engine::ReadRule rule,
                             int threads, bool more)
    : m_paths(paths), m_listed(size_t(paths.size())), m_plan(std::move(plan)),
      m_rowText(std::move(rowText)),
      m_pendingBudget(m_rowText ? kTextPendingBudget : kPendingBudget), m_rule(rule),
      m_slots(size_t(paths.size())), m_closed(!more)
{
    const int count = std::max(1, threads);
    m_running = count;
    for (int t = 0; t < count; ++t)
        m_threads.emplace_back([this] { work(); });
}

SearchWorkers::~SearchWorkers()
{
    stop();
    for (std::thread &thread : m_threads)
        thread.join();
}

void SearchWorkers::add(const QStringList &paths, bool listed)
{
    {
        std::lock_guard lock(m_mutex);
        m_paths += paths;
        m_slots.resize(size_t(m_paths.size()));
        m_listed.resize(size_t(m_paths.size()), listed);
    }
    m_room.notify_all();
}

void SearchWorkers::close()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_room.notify_all();
}

void SearchWorkers::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_room.notify_all();
    m_ready.notify_all();
}

std::unique_ptr<SearchWorkers::Outcome>
SearchWorkers::process(const std::string &path, const SearchPlan &plan, engine::ReadRule rule,
                       const std::atomic<bool> *stop, const RowText *rowText, const QString &name,
                       bool listed)
{
    for (;;) {
        auto outcome = std::make_unique<Outcome>();
        Recorder reporter(outcome->reports);
        FileBlocks &blocks = outcome->blocks;
        // The bytes are looked at before they are taken as text: a compressed file or an
        // archive is searched as what it holds, unless every file is to be read as bytes.
        blocks.text = engine::readPieces(path, reporter, engine::ReadRule::Windows1252CrLf, stop,
                                         true, false, &outcome->folder, listed);
        if (outcome->folder)
            return outcome;
        if (rule == engine::ReadRule::Automatic &&
            engine::packingOf(blocks.text.bytes()) != engine::Packing::Plain) {
            searchPacked(blocks.text.bytes(), plan, *outcome, stop);
            if (!blocks.text.intact())
                continue;
            blocks.text = engine::FileText();
            blocks.textKept = false;
            return outcome;
        }
        if (rule == engine::ReadRule::Automatic)
            blocks.text.recognise(true);
        blocks.noteText();
        searchFile(plan, blocks, stop);
        try {
            // A file cut shorter while it was mapped is read again, as it now is.
            if (!blocks.keepOnlyRows(rowText, name))
                continue;
        } catch (const std::bad_alloc &) {
            // Memory ran out for the rows, as it would have in the list: the running thread
            // stops the run there.
            blocks.text = engine::FileText();
            blocks.bytePieces.clear();
            blocks.widePieces.clear();
            blocks.textKept = false;
            blocks.rowsLost = true;
        }
        return outcome;
    }
}

SearchWorkers::Report SearchWorkers::gaveUpReport(const SearchPlan &plan, size_t files,
                                                  const std::string &firstPath)
{
    const std::string routine(plan.mode ? engine::modeRoutineName(*plan.mode) : "");
    const std::string where =
        files == 1 ? firstPath : std::to_string(files) + " files (the first: " + firstPath + ")";
    return {engine::errorTag("ExtractState", routine), 100,
            "Regular expression too complex: it reached its match limit on some lines of " + where +
                "; those lines are taken as not matching"};
}

bool SearchWorkers::roomFor(size_t files) const
{
    // While the file the window thread takes next is still being searched, the others go on
    // as far as any run may: the window thread has nothing else to take meanwhile.
    const bool nextReady = m_consumed < m_slots.size() && m_slots[m_consumed];
    const size_t budget = nextReady ? m_pendingBudget : kPendingBudget;
    return m_next + files <= m_consumed + kFilesAhead && m_pendingBytes < budget;
}

void SearchWorkers::giveBack(std::unique_ptr<Outcome> outcome)
{
    // Handed on a few at a time, and at every take that meets the workers anyway: each
    // hand-over takes their lock.
    m_returned.push_back(std::move(outcome));
    if (m_returned.size() >= kReturnedAtOnce) {
        std::lock_guard lock(m_mutex);
        passReturned();
    }
}

void SearchWorkers::passReturned()
{
    if (m_running > 0) {
        for (std::unique_ptr<Outcome> &outcome : m_returned)
            m_spent.push_back(std::move(outcome));
    }
    m_returned.clear();
}

void SearchWorkers::work()
{
    std::vector<std::unique_ptr<Outcome>> spent;
    // The files this worker read last, from file first on, handed over when it asks for the
    // next: one lock for them all. Small files are asked for several at a time.
    std::vector<std::unique_ptr<Outcome>> outcomes;
    std::vector<QString> names;
    std::vector<bool> listed;
    size_t first = 0;
    size_t claim = 1;
    const auto handOver = [&](std::unique_lock<std::mutex> &lock) {
        bool wake = false;
        for (size_t k = 0; k < outcomes.size(); ++k)
            wake = place(first + k, std::move(outcomes[k])) || wake;
        first += outcomes.size();
        outcomes.clear();
        if (wake) {
            // The window thread is woken before this worker may wait for room it makes.
            lock.unlock();
            m_ready.notify_all();
            lock.lock();
        }
    };
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            handOver(lock);
            spent.swap(m_spent);
            // A worker waits for room ahead of the window thread, or for files still to come.
            const auto canGoOn = [&] {
                return m_stop || (m_next < size_t(m_paths.size()) ? roomFor(1) : m_closed);
            };
            if (!canGoOn()) {
                ++m_waitingWorkers;
                m_room.wait(lock, canGoOn);
                --m_waitingWorkers;
            }
            if (m_stop || m_next >= size_t(m_paths.size()))
                break;
            first = m_next;
            const size_t room = m_consumed + kFilesAhead - m_next;
            m_next += std::min({claim, size_t(m_paths.size()) - m_next, room});
            // Files may be added meanwhile, which moves the list.
            names.clear();
            listed.clear();
            for (size_t i = first; i < m_next; ++i) {
                names.push_back(m_paths[qsizetype(i)]);
                listed.push_back(m_listed[i]);
            }
        }
        for (const std::unique_ptr<Outcome> &done : spent)
            done->blocks.spareBlocks();
        spent.clear();
        const auto began = std::chrono::steady_clock::now();
        for (size_t k = 0; k < names.size(); ++k) {
            const QString &name = names[k];
            // Each worker makes the system's name of its own files.
            const std::string path = QFile::encodeName(name).toStdString();
            try {
                outcomes.push_back(
                    process(path, *m_plan, m_rule, &m_stop, m_rowText.get(), name, listed[k]));
            } catch (const std::bad_alloc &) {
                outcomes.push_back(std::make_unique<Outcome>());
                outcomes.back()->reports.push_back(
                    {engine::errorTag("ExtractState", "ReadFileToStringFSO"), 116,
                     "Out of memory"});
            }
            // Once the files asked for take long, each goes on as it is read: a slow one among
            // them holds back only the quick ones before it.
            if (&name != &names.back() &&
                std::chrono::steady_clock::now() - began > kQuickFile * kSmallClaim) {
                std::unique_lock lock(m_mutex);
                handOver(lock);
            }
        }
        const auto took = std::chrono::steady_clock::now() - began;
        claim = took < kQuickFile * names.size() ? kSmallClaim : 1;
    }
    m_ready.notify_all();
    --m_running;
}

bool SearchWorkers::place(size_t i, std::unique_ptr<Outcome> outcome)
{
    m_pendingBytes += outcome->heldBytes();
    m_slots[i] = std::move(outcome);
    // Waking the window thread costs more than a small file: it is woken for a batch of
    // files, or when no batch is coming.
    if (m_awaited >= m_slots.size() || !m_slots[m_awaited])
        return false;
    size_t ready = 1;
    while (ready < kBatch && m_awaited + ready < m_slots.size() && m_slots[m_awaited + ready])
        ++ready;
    return ready == kBatch || m_awaited + ready == m_slots.size() ||
           m_next >= size_t(m_paths.size()) || !roomFor(1);
}

std::unique_ptr<SearchWorkers::Outcome> SearchWorkers::take(size_t i,
                                                            std::chrono::microseconds wait)
{
    // A file taken ahead is given without the lock; files passed over go back with the rest.
    while (!m_ahead.empty() && m_aheadFrom <= i) {
        std::unique_ptr<Outcome> outcome = std::move(m_ahead.front());
        m_ahead.pop_front();
        if (m_aheadFrom++ == i)
            return outcome;
        m_returned.push_back(std::move(outcome));
    }
    std::unique_lock lock(m_mutex);
    passReturned();
    if (i >= m_slots.size())
        return nullptr;
    if (!m_slots[i] && !m_stop) {
        m_awaited = i;
        m_ready.wait_for(lock, wait, [&] { return m_slots[i] != nullptr || m_stop; });
        m_awaited = size_t(-1);
    }
    if (!m_slots[i])
        return nullptr;
    // The files ready after it are taken at once, so the workers meet the window thread once
    // for them all; those taken ahead hold at most a quarter of the memory allowed to wait,
    // which the workers may then fill again.
    size_t end = i + 1;
    size_t taken = m_slots[i]->heldBytes();
    size_t ahead = 0;
    while (end < m_slots.size() && end - i < kBatch && m_slots[end]) {
        const size_t held = m_slots[end]->heldBytes();
        if (ahead + held > m_pendingBudget / 4)
            break;
        ahead += held;
        ++end;
    }
    taken += ahead;
    std::unique_ptr<Outcome> outcome = std::move(m_slots[i]);
    m_ahead.clear();
    m_aheadFrom = i + 1;
    for (size_t next = i + 1; next < end; ++next)
        m_ahead.push_back(std::move(m_slots[next]));
    m_pendingBytes -= std::min(m_pendingBytes, taken);
    m_consumed = end;
    // Workers waiting for room are woken once there is room for a batch.
    const bool wake = m_waitingWorkers > 0 && roomFor(kBatch);
    lock.unlock();
    if (wake)
        m_room.notify_all();
    return outcome;
}

} // namespace run
