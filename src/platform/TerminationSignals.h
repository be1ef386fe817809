#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace platform {

// Lets the program finish what it must before a signal that asks it to end (SIGTERM, SIGINT,
// SIGHUP) ends it: at the next event pump on the thread that made this object, a call runs,
// and then the program ends as the signal would have ended it.
class TerminationSignals : public QObject {
public:
    explicit TerminationSignals(std::function<void()> beforeEnding);
    // Gives the signals back their default action.
    ~TerminationSignals() override;

private:
    static void caught(int signal);

    std::function<void()> m_beforeEnding;
    QSocketNotifier *m_notifier = nullptr;
    int m_pipe[2] = {-1, -1};
};

} // namespace platform
