#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int endingSignals[] = {SIGTERM, SIGINT, SIGHUP};
int signalPipe = -1; // written by the handler, the only thing it may safely do

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> beforeEnding)
    : m_beforeEnding(std::move(beforeEnding))
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    signalPipe = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char signal = 0;
        if (::read(m_pipe[0], &signal, 1) != 1)
            return;
        m_notifier->setEnabled(false);
        if (m_beforeEnding)
            m_beforeEnding();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    });
    struct sigaction action {};
    action.sa_handler = &TerminationSignals::caught;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : endingSignals)
        ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    for (const int signal : endingSignals)
        std::signal(signal, SIG_DFL);
    signalPipe = -1;
    for (const int fd : m_pipe)
        if (fd >= 0)
            ::close(fd);
}

void TerminationSignals::caught(int signal)
{
    const auto byte = static_cast<unsigned char>(signal);
    if (signalPipe >= 0) [[maybe_unused]]
        const auto written = ::write(signalPipe, &byte, 1);
}

} // namespace platform
