#include "SettingsWriter.h"

#include "engine/Steps.h"
#include "platform/SettingsFile.h"

#include <map>
#include <new>

namespace platform {

SettingsWriter::SettingsWriter(std::function<void()> onOutcome)
    : m_onOutcome(std::move(onOutcome)), m_thread([this] { run(); })
{
}

SettingsWriter::~SettingsWriter()
{
    flush();
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void SettingsWriter::merge(Change change, bool newer)
{
    for (Change &pending : m_pending) {
        if (pending.path == change.path && pending.section == change.section &&
            pending.key == change.key) {
            if (newer)
                pending.value = std::move(change.value);
            return;
        }
    }
    m_pending.push_back(std::move(change));
}

void SettingsWriter::add(Change change)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_completed == m_requested)
            m_burstStart = std::chrono::steady_clock::now();
        merge(std::move(change), true);
        ++m_requested;
    }
    m_wake.notify_all();
}

void SettingsWriter::flush()
{
    std::unique_lock lock(m_mutex);
    if (!m_pending.empty() && m_completed == m_requested)
        ++m_requested;
    const unsigned long long wanted = m_requested;
    if (m_completed >= wanted)
        return;
    m_hurry = true;
    m_wake.notify_all();
    m_done.wait(lock, [&] { return m_completed >= wanted; });
}

std::vector<SettingsWriter::Outcome> SettingsWriter::takeOutcomes()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_outcomes, {});
}

void SettingsWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stopping || m_completed < m_requested; });
        if (m_completed == m_requested)
            return;
        // The rest of a burst joins the first change, unless someone waits for the write.
        m_wake.wait_until(lock, m_burstStart + burst, [&] { return m_hurry || m_stopping; });
        const unsigned long long covered = m_requested;
        const std::vector<Change> batch = std::exchange(m_pending, {});
        lock.unlock();
        std::vector<Outcome> outcomes = write(batch);
        lock.lock();
        for (const Outcome &outcome : outcomes) {
            // A failed change waits for the next write; what came meanwhile is newer.
            if (outcome.failure.empty())
                continue;
            for (const Change &change : batch)
                if (change.path == outcome.path)
                    merge(change, false);
        }
        m_outcomes.insert(m_outcomes.end(), outcomes.begin(), outcomes.end());
        m_completed = covered;
        if (m_completed == m_requested)
            m_hurry = false;
        else
            m_burstStart = std::chrono::steady_clock::now();
        m_done.notify_all();
        lock.unlock();
        if (m_onOutcome)
            m_onOutcome();
        lock.lock();
    }
}

std::vector<SettingsWriter::Outcome> SettingsWriter::write(const std::vector<Change> &batch) const
{
    // One write per file, with every change to it.
    std::map<QString, std::pair<QString, SettingsFile::Changes>> files;
    std::vector<QString> order;
    for (const Change &change : batch) {
        auto [it, added] = files.try_emplace(change.path, change.key, SettingsFile::Changes{});
        if (added)
            order.push_back(change.path);
        it->second.second[change.section].emplace_back(change.key, change.value);
    }
    std::vector<Outcome> outcomes;
    for (const QString &path : order) {
        const auto &[key, changes] = files.at(path);
        Outcome outcome{path, key, {}};
        try {
            const std::string kind = SettingsFile::nonRegularKind(path);
            if (!kind.empty())
                throw engine::Failure(SettingsFile::notRegularText(path, kind));
            SettingsFile::write(path, changes);
        } catch (const engine::Failure &failure) {
            outcome.failure = failure.what();
        } catch (const std::bad_alloc &) {
            outcome.failure = "Out of memory: cannot write " + path.toStdString();
        }
        outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

} // namespace platform
