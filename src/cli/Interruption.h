#pragma once

#include "platform/Yield.h"

#include <functional>

namespace cli {

// For as long as it lives: Ctrl+C (SIGINT) sets a flag that the next yield turns into a stop
// of the work under way, and a write to a closed pipe fails with EPIPE instead of ending the
// program, so the run can end at once and quietly. The yield pumps no events: there is no
// window to keep answering.
class Interruption : public platform::Yield {
public:
    Interruption();
    // Gives both signals back the actions they had.
    ~Interruption() override;
    Interruption(const Interruption &) = delete;
    Interruption &operator=(const Interruption &) = delete;

    // Calls onInterrupt at the yield after an interruption; stop() of the work under way.
    void yield() override;
    // Sets what an interruption stops; nothing for none.
    void setStop(std::function<void()> stop) { m_stop = std::move(stop); }
    // Returns whether Ctrl+C was pressed.
    static bool interrupted();
    // Ends the program as the signal would have ended it (so a shell sees how it ended).
    [[noreturn]] static void endAsSignalled(int signal);

private:
    std::function<void()> m_stop;
    bool m_stopped = false;
};

} // namespace cli
