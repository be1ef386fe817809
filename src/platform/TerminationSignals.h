#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace platform {

// Turns the signals that ask a program to end (SIGTERM, SIGINT, SIGHUP) into a call on the
// thread that made this object, at its next event pump, so that the program can end as when
// its window is closed, with nothing it still has to write lost. One at a time.
class TerminationSignals : public QObject {
public:
    explicit TerminationSignals(std::function<void()> onSignal);
    // Gives the signals back their default action.
    ~TerminationSignals() override;

private:
    static void caught(int signal);

    std::function<void()> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
    int m_pipe[2] = {-1, -1};
};

} // namespace platform
