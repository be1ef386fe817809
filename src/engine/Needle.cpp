#include "Needle.h"

#include "CodePage.h"

namespace engine {

Needle Needle::fromBytes(std::string_view bytes, bool matchCase)
{
    Needle needle;
    needle.m_bytes.assign(bytes);
    needle.m_matchCase = matchCase;
    if (!matchCase)
        lowerInto(bytes, needle.m_bytes.data());
    // Lines are cut at every CR LF, so no line can hold the pair.
    needle.m_never = needle.m_bytes.find("\r\n") != std::string::npos;
    return needle;
}

} // namespace engine
