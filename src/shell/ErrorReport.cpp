#include "ErrorReport.h"

#include "platform/Prompts.h"

namespace shell {

QString errorReportText(const QString &description, const QString &tag, int step)
{
    return description + QStringLiteral("\r\nin ") + tag + QStringLiteral(" at line ") +
           QString::number(step) +
           QStringLiteral("\r\rPlease email screenshot of this message to ") + supportAddress;
}

void ErrorReport::reportError(const std::string &tag, int step, const std::string &description)
{
    m_prompts.message(
        errorReportText(QString::fromStdString(description), QString::fromStdString(tag), step),
        QStringLiteral("Application Error"), platform::Icon::Warning, platform::Buttons::Ok);
}

} // namespace shell
