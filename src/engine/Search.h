#pragma once

#include "Needle.h"

#include <cstddef>
#include <string_view>

// Substring search in pieces. Candidates come from a vectorised filter on two bytes of the
// needle — a rare one and the last — compared with every byte that lowers to the same letter;
// each candidate is then confirmed through the lower-case table, or form by form for a
// case-blind UTF-8 needle whose letters fold beyond ASCII.
namespace engine {

// Finds a byte needle in byte text.
class ByteSearch {
public:
    // Prepares the search for a non-empty needle; the needle must outlive the search.
    explicit ByteSearch(const Needle &needle);
    // Returns the first position at or after from where the needle occurs, or npos; sets end
    // to where that occurrence ends (a case-blind UTF-8 needle's forms differ in length).
    size_t find(std::string_view hay, size_t from, size_t &end) const;

private:
    friend struct ByteSearchKernels;
    const unsigned char *m_needle = nullptr;
    const unsigned char *m_lower = nullptr; // null: exact comparison
    const CaseBlindUtf8 *m_forms = nullptr; // compared instead of the bytes where set
    size_t m_length = 0;
    ByteFilter m_filter;
};

// Finds UTF-16 units exactly in UTF-16 text.
class WideSearch {
public:
    // Prepares the search for non-empty units, which must outlive the search.
    explicit WideSearch(std::u16string_view needle) : m_needle(needle) {}
    // Returns the first position at or after from where the units occur, or npos.
    size_t find(std::u16string_view hay, size_t from) const;

private:
    std::u16string_view m_needle;
};

// Returns the position of the first unit c in [from, n) of d, or n.
size_t findUnit(const char16_t *d, size_t from, size_t n, char16_t c);
// Returns the position of the last unit c in [floor, high) of d, or npos.
size_t findUnitBackwards(const char16_t *d, size_t floor, size_t high, char16_t c);

} // namespace engine
