#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

class CaseBlindUtf8;

// The two bytes the vectorised filter compares at fixed distances from each place it tries,
// each with every value it may take there (unused slots repeat the first value).
struct ByteFilter {
    struct Probe {
        ptrdiff_t offset = 0;
        std::array<unsigned char, 3> values{};
    };
    std::array<Probe, 2> probes{};
    // How many values of each probe count: 2, or 3 where some probe has three.
    int width = 2;
};

// Returns how often a byte turns up in ordinary text, higher for more common; only the order
// matters.
int commonness(unsigned char b);

// Returns the filter for needle bytes compared through lower (null: exactly): a rare byte and
// the last, with the bytes that lower to each.
ByteFilter byteFilterFor(std::string_view bytes, const unsigned char *lower);

// The search text prepared for a byte text: its bytes (lowered when case is ignored), how each
// byte of the text is compared, and whether it can match at all.
class Needle {
public:
    // Builds a needle that matches nothing.
    Needle() = default;

    // Returns the needle for a search text given as Windows-1252 bytes; without matchCase
    // every byte is compared through the code page's lower-case table.
    static Needle fromBytes(std::string_view bytes, bool matchCase);

    // Returns the needle for a search text searched in UTF-8 text, or nothing when the text
    // holds a lone surrogate. Without matchCase a character matches every character that
    // lowers as it does: through ASCII's lower-case table where the text needs no more, else
    // through the UTF-8 forms of each of its characters (see forms()).
    static std::optional<Needle> forUtf8(std::u16string_view text, bool matchCase);

    // Returns a needle that matches no line, for a search text that cannot occur in any file.
    static Needle never() { return Needle(); }

    // Returns the bytes to look for (lowered when case is ignored).
    std::string_view bytes() const { return m_bytes; }
    // Returns true when case is compared exactly.
    bool matchCase() const { return m_lower == nullptr; }
    // Returns the table each byte of the text is lowered through, or null with match case.
    const unsigned char *lowerTable() const { return m_lower; }
    // Returns the case forms of each character of a UTF-8 needle whose letters fold beyond
    // ASCII, which the search compares instead of the bytes; null for every other needle.
    const CaseBlindUtf8 *forms() const { return m_forms.get(); }
    // Returns true when no line can ever match.
    bool matchesNothing() const { return m_never; }
    // Returns the bytes the vectorised search filters on.
    const ByteFilter &filter() const { return m_filter; }

private:
    // Returns the needle whose bytes are compared through lower (null: exactly).
    static Needle through(std::string_view bytes, const unsigned char *lower);

    std::string m_bytes;
    const unsigned char *m_lower = nullptr;
    std::shared_ptr<const CaseBlindUtf8> m_forms;
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
