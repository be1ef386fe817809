#include "Yield.h"

#include <QCoreApplication>

namespace platform {

QtYield::QtYield(int intervalMs) : m_intervalNs(qint64(intervalMs) * 1000000)
{
    m_sinceLastPump.start();
}

void QtYield::yield()
{
    // Reading the clock costs more than a row; a handful of calls between looks is
    // microseconds at most.
    if (++m_calls % 16 != 0)
        return;
    if (m_sinceLastPump.nsecsElapsed() >= m_intervalNs)
        pump();
}

void QtYield::pump()
{
    for (const auto &hook : m_hooks)
        hook();
    QCoreApplication::processEvents();
    m_sinceLastPump.restart();
}

void QtYield::addBeforePump(std::function<void()> hook)
{
    m_hooks.push_back(std::move(hook));
}

} // namespace platform
