#pragma once

#include "Needle.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace engine {

// A case-blind search text made ready for UTF-8 bytes where the case forms of its characters
// reach beyond ASCII: for each character, the UTF-8 forms of every character that lowers as it
// does, which may differ in length (k, K and the Kelvin sign). Distances between bytes are
// fixed only up to a character whose forms differ in length, so the filter looks at bytes
// around one place between two characters, the anchor; a candidate is then confirmed form by
// form outwards from it. The bytes searched must be well-formed UTF-8, so that a form found is
// a whole character.
class CaseBlindUtf8 {
public:
    // Prepares a non-empty search text whose units are lowered already and which holds no
    // lone surrogate.
    explicit CaseBlindUtf8(std::u16string_view lowered);

    // Returns the filter, its offsets counted from the anchor.
    const ByteFilter &filter() const { return m_filter; }
    // Returns the fewest bytes a match takes before the anchor.
    size_t shortestBefore() const { return m_shortestBefore; }
    // Returns the fewest bytes a match takes from the anchor on.
    size_t shortestAfter() const { return m_shortestAfter; }
    // Returns true when the characters before the anchor match the bytes that end at d[at],
    // none of them below d[floor]; sets start to where the first of them begins.
    bool matchBefore(const unsigned char *d, size_t floor, size_t at, size_t &start) const;
    // Returns true when the characters from the anchor on match the bytes from d[at] on, none
    // of them at or past d[n]; sets end to where the last of them ends.
    bool matchAfter(const unsigned char *d, size_t at, size_t n, size_t &end) const;

private:
    // The forms of one character: one to three, each of one to four bytes, held as a number
    // with the first byte lowest.
    struct Forms {
        std::array<uint32_t, 3> bytes{};
        std::array<size_t, 3> lengths{};
        size_t count = 0;
        size_t shortest = 4;
        size_t longest = 0;

        // Returns byte k of form f, or counting from its end when fromEnd is set.
        unsigned char byteOf(size_t f, size_t k, bool fromEnd) const;
        // Returns the length of the form that the avail bytes from p start with, or 0.
        size_t startingAt(const unsigned char *p, size_t avail) const;
        // Returns the length of the form that the avail bytes before p end with, or 0.
        size_t endingAt(const unsigned char *p, size_t avail) const;
    };
    // A byte at a fixed distance from an anchor, with the values it may take.
    struct Place {
        ptrdiff_t offset = 0;
        std::array<unsigned char, 3> values{};
        size_t count = 0;
        int cost = 0;
    };

    Place placeOf(ptrdiff_t offset, const Forms &forms, size_t k, bool fromEnd) const;
    std::vector<Place> placesAround(size_t anchor) const;
    void chooseFilter();

    std::vector<Forms> m_chars;
    size_t m_anchor = 0; // the anchor lies before this character
    size_t m_shortestBefore = 0;
    size_t m_shortestAfter = 0;
    ByteFilter m_filter;
};

} // namespace engine
