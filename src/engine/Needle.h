#pragma once

#include <string>
#include <string_view>

namespace engine {

// Which two bytes of a needle the vectorised filter compares, and the bytes that lower to
// each: a rare one and the last.
struct ByteFilter {
    size_t rare = 0;
    unsigned char rareA = 0, rareB = 0, lastA = 0, lastB = 0;
};

// Returns the filter for needle bytes compared through lower (null: exactly).
ByteFilter byteFilterFor(std::string_view bytes, const unsigned char *lower);

// The search text prepared for a byte text: its bytes (lowered when case is ignored), the
// lower-case table its bytes are compared through, and whether it can match at all.
class Needle {
public:
    // Builds a needle that matches nothing.
    Needle() = default;

    // Returns the needle for a search text given as Windows-1252 bytes; without matchCase
    // every byte is compared through the code page's lower-case table.
    static Needle fromBytes(std::string_view bytes, bool matchCase);

    // Returns the needle for a search text given as UTF-8 bytes, searched in UTF-8 text;
    // without matchCase only ASCII letters fold, so the (lowered) text must be ASCII whose
    // letters have no upper case outside ASCII.
    static Needle fromUtf8(std::string_view bytes, bool matchCase);

    // Returns a needle that matches no line, for a search text that cannot occur in any file.
    static Needle never() { return Needle(); }

    // Returns the bytes to look for (lowered when case is ignored).
    std::string_view bytes() const { return m_bytes; }
    // Returns true when case is compared exactly.
    bool matchCase() const { return m_lower == nullptr; }
    // Returns the table each byte of the text is lowered through, or null with match case.
    const unsigned char *lowerTable() const { return m_lower; }
    // Returns true when no line can ever match.
    bool matchesNothing() const { return m_never; }
    // Returns the bytes the vectorised search filters on.
    const ByteFilter &filter() const { return m_filter; }

private:
    // Returns the needle whose bytes are compared through lower (null: exactly).
    static Needle through(std::string_view bytes, const unsigned char *lower);

    std::string m_bytes;
    const unsigned char *m_lower = nullptr;
    ByteFilter m_filter;
    bool m_never = true;
};

// The search text prepared for a UTF-16 text: its units, lowered one by one with the simple
// lower-case mapping when case is ignored.
class WideNeedle {
public:
    // Builds a needle that matches nothing.
    WideNeedle() = default;

    // Returns the needle for a search text; without matchCase its units are lowered.
    static WideNeedle fromText(std::u16string_view text, bool matchCase);

    // Returns the units to look for (lowered when case is ignored).
    std::u16string_view units() const { return m_units; }
    // Returns true when case is compared exactly.
    bool matchCase() const { return m_matchCase; }
    // Returns true when no line can ever match.
    bool matchesNothing() const { return m_never; }

private:
    std::u16string m_units;
    bool m_matchCase = true;
    bool m_never = true;
};

} // namespace engine
