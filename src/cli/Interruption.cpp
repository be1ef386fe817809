#include "Interruption.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace cli {

namespace {

// Set by the handler: a lock-free atomic is one of the few things a handler may touch.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct sigaction g_previousInterrupt {};
struct sigaction g_previousPipe {};

void caught(int)
{
    g_interrupted.store(true, std::memory_order_relaxed);
}

} // namespace

Interruption::Interruption()
{
    g_interrupted = false;
    struct sigaction action {};
    action.sa_handler = &caught;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a write blocked on a full pipe returns, so the interruption is seen.
    action.sa_flags = 0;
    ::sigaction(SIGINT, &action, &g_previousInterrupt);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &g_previousPipe);
}

Interruption::~Interruption()
{
    ::sigaction(SIGINT, &g_previousInterrupt, nullptr);
    ::sigaction(SIGPIPE, &g_previousPipe, nullptr);
}

void Interruption::yield()
{
    if (!g_interrupted.load(std::memory_order_relaxed) || m_stopped)
        return;
    m_stopped = true;
    if (m_stop)
        m_stop();
}

bool Interruption::interrupted()
{
    return g_interrupted.load(std::memory_order_relaxed);
}

void Interruption::endAsSignalled(int signal)
{
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

} // namespace cli
