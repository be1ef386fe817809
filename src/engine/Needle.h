#pragma once

#include <string>
#include <string_view>

namespace engine {

// The search text prepared for matching: its bytes (lowered when case is ignored), the
// match-case flag, and whether it can match at all.
class Needle {
public:
    // Builds a needle that matches nothing.
    Needle() = default;

    // Returns the needle for a search text given as code-page bytes; without matchCase the
    // bytes are lowered byte by byte.
    static Needle fromBytes(std::string_view bytes, bool matchCase);

    // Returns a needle that matches no line, for a search text that cannot occur in any file.
    static Needle never() { return Needle(); }

    // Returns the bytes to look for (lowered when case is ignored).
    std::string_view bytes() const { return m_bytes; }
    // Returns true when case is compared exactly.
    bool matchCase() const { return m_matchCase; }
    // Returns true when no line can ever match.
    bool matchesNothing() const { return m_never; }

private:
    std::string m_bytes;
    bool m_matchCase = true;
    bool m_never = true;
};

} // namespace engine
