#pragma once

#include <QElapsedTimer>
#include <chrono>
#include <functional>
#include <future>
#include <vector>

namespace platform {

// The event-loop yield of long operations: lets the window repaint and take clicks.
class Yield {
public:
    virtual ~Yield() = default;
    // Handles pending window events when it is time to, then returns.
    virtual void yield() = 0;
};

// Runs work that touches nothing of the window on another thread, yielding while it runs so
// the window goes on handling its events, and calling afterYield after each yield (to pass a
// stop on to the work, say); returns the work's result.
template <typename Work, typename AfterYield>
auto runAside(Yield &yield, Work &&work, AfterYield &&afterYield)
{
    auto done = std::async(std::launch::async, std::forward<Work>(work));
    while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        yield.yield();
        afterYield();
    }
    return done.get();
}

template <typename Work> auto runAside(Yield &yield, Work &&work)
{
    return runAside(yield, std::forward<Work>(work), [] {});
}

// Pumps Qt's events only when a few milliseconds have passed since the last pump, so hot
// loops pay almost nothing. Hooks run right before each pump (rows waiting for the list
// are flushed there).
class QtYield : public Yield {
public:
    explicit QtYield(int intervalMs = 4);
    void yield() override;
    // Pumps now, whatever the time since the last pump.
    void pump();
    // Adds a callable that runs before every pump.
    void addBeforePump(std::function<void()> hook);

private:
    QElapsedTimer m_sinceLastPump;
    qint64 m_intervalNs;
    unsigned m_calls = 0;
    std::vector<std::function<void()>> m_hooks;
};

} // namespace platform
