#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace engine {

// The one failure type of the program: carries the description the error report shows
// ("File not found", "Type mismatch", "Permission denied", ...).
class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string &description) : std::runtime_error(description) {}
};

// Receives every failure of a tagged operation; the shell shows it as the error report.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    // Shows one report and returns when it has been dismissed.
    virtual void reportError(const std::string &tag, int step, const std::string &description) = 0;
};

// One failure kept to be shown later: on another thread, or after what comes before it.
struct RecordedFailure {
    std::string tag;
    int step = 0;
    std::string description;
};

// Keeps the failures of a tagged operation, to be shown later.
class FailureRecorder : public ErrorReporter {
public:
    explicit FailureRecorder(std::vector<RecordedFailure> &failures) : m_failures(failures) {}
    void reportError(const std::string &tag, int step, const std::string &description) override
    {
        m_failures.push_back({tag, step, description});
    }

private:
    std::vector<RecordedFailure> &m_failures;
};

// Returns the location tag of an operation: "Quillon2021/08/31.<module>.<procedure>".
std::string errorTag(std::string_view module, std::string_view procedure);

// Runs one tagged operation as numbered steps. A failing step is reported with the
// operation's tag and the step's number, and the operation goes on with its next step.
class Steps {
public:
    // The names are kept as views: they must outlive the object (they are literals). The
    // tag is only put together when it is wanted.
    Steps(ErrorReporter &reporter, std::string_view module, std::string_view procedure);

    // Runs one step; a failure is reported and swallowed.
    template <typename F> void step(int number, F &&body)
    {
        m_current = number;
        try {
            std::forward<F>(body)();
        } catch (const Failure &failure) {
            report(failure.what());
        } catch (const std::bad_alloc &) {
            report("Out of memory");
        }
    }

    // Evaluates the condition of a conditional block; a failing condition counts as true,
    // so the block runs after the report.
    template <typename F> bool test(int number, F &&condition)
    {
        m_current = number;
        try {
            return static_cast<bool>(std::forward<F>(condition)());
        } catch (const Failure &failure) {
            report(failure.what());
        } catch (const std::bad_alloc &) {
            report("Out of memory");
        }
        return true;
    }

    // Returns the operation's tag.
    const std::string &tag() const;
    // Reports a failure at the current step without throwing.
    void report(const std::string &description);

private:
    ErrorReporter &m_reporter;
    std::string_view m_module;
    std::string_view m_procedure;
    mutable std::string m_tag;
    int m_current = 100;
};

} // namespace engine
