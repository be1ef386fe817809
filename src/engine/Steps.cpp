#include "Steps.h"

namespace engine {

std::string errorTag(std::string_view module, std::string_view procedure)
{
    std::string tag = "Quillon2021/08/31.";
    tag += module;
    tag += '.';
    tag += procedure;
    return tag;
}

Steps::Steps(ErrorReporter &reporter, std::string_view module, std::string_view procedure)
    : m_reporter(reporter), m_tag(errorTag(module, procedure))
{
}

void Steps::report(const std::string &description)
{
    m_reporter.reportError(m_tag, m_current, description);
}

} // namespace engine
