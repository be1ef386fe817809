#pragma once

#include "engine/Steps.h"

#include <QString>

namespace platform {
class Prompts;
}

namespace shell {

// The address the error report and the Help message name.
inline const QString supportAddress = QStringLiteral("support@tarnwick.example");

// Returns the text of the error report for a failure.
QString errorReportText(const QString &description, const QString &tag, int step);

// Shows every failure as the "Application Error" message box.
class ErrorReport : public engine::ErrorReporter {
public:
    explicit ErrorReport(platform::Prompts &prompts) : m_prompts(prompts) {}
    void reportError(const std::string &tag, int step, const std::string &description) override;

private:
    platform::Prompts &m_prompts;
};

} // namespace shell
