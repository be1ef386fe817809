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
    : m_reporter(reporter), m_module(module), m_procedure(procedure)
{
}

const std::string &Steps::tag() const
{
    if (m_tag.empty())
        m_tag = errorTag(m_module, m_procedure);
    return m_tag;
}

void Steps::report(const std::string &description)
{
    m_reporter.reportError(tag(), m_current, description);
}

} // namespace engine
