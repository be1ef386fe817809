#include "Search.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMBREX_X86 1
#endif

namespace engine {

namespace {

// How often a byte turns up in ordinary text, higher for more common; only the order matters.
int commonness(unsigned char b)
{
    static constexpr std::string_view kLetters = "etaoinsrhldcumfpgwybvkxjqz";
    if (b >= 'A' && b <= 'Z')
        b = static_cast<unsigned char>(b + 32);
    const size_t letter = kLetters.find(static_cast<char>(b));
    if (letter != std::string_view::npos)
        return 100 - static_cast<int>(letter);
    if (b == ' ')
        return 200;
    if (b == '\r' || b == '\n' || b == '\t' || b == ',' || b == '.')
        return 90;
    if (b >= '0' && b <= '9')
        return 60;
    if (b < 0x80)
        return 40;
    return 10;
}

// The one or two bytes that lower to c (c itself, always).
void variantsOf(unsigned char c, const unsigned char *lower, unsigned char &a, unsigned char &b)
{
    a = b = c;
    if (!lower)
        return;
    for (int v = 0; v < 256; ++v) {
        if (lower[v] == c && v != c)
            b = static_cast<unsigned char>(v);
    }
}

} // namespace

struct ByteSearchKernels {
    static bool confirm(const ByteSearch &s, const unsigned char *p)
    {
        if (!s.m_lower)
            return std::memcmp(p, s.m_needle, s.m_length) == 0;
        for (size_t k = 0; k < s.m_length; ++k) {
            if (s.m_lower[p[k]] != s.m_needle[k])
                return false;
        }
        return true;
    }

    static bool candidate(const ByteSearch &s, const unsigned char *p)
    {
        const unsigned char r = p[s.m_rare];
        const unsigned char l = p[s.m_length - 1];
        return (r == s.m_rareA || r == s.m_rareB) && (l == s.m_lastA || l == s.m_lastB);
    }

    static size_t scalar(const ByteSearch &s, const unsigned char *d, size_t i, size_t last)
    {
        for (; i <= last; ++i) {
            if (candidate(s, d + i) && confirm(s, d + i))
                return i;
        }
        return std::string_view::npos;
    }

#if defined(LUMBREX_X86)
    static size_t sse2(const ByteSearch &s, const unsigned char *d, size_t i, size_t last)
    {
        const __m128i rareA = _mm_set1_epi8(static_cast<char>(s.m_rareA));
        const __m128i rareB = _mm_set1_epi8(static_cast<char>(s.m_rareB));
        const __m128i lastA = _mm_set1_epi8(static_cast<char>(s.m_lastA));
        const __m128i lastB = _mm_set1_epi8(static_cast<char>(s.m_lastB));
        const size_t lastOffset = s.m_length - 1;
        // Every start in [i, i + 16) is a valid start here, so both loads stay inside the hay.
        for (; i + 16 <= last + 1; i += 16) {
            const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i + s.m_rare));
            const __m128i l =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i + lastOffset));
            const __m128i hit =
                _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(r, rareA), _mm_cmpeq_epi8(r, rareB)),
                              _mm_or_si128(_mm_cmpeq_epi8(l, lastA), _mm_cmpeq_epi8(l, lastB)));
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
            while (mask) {
                const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
                if (confirm(s, d + at))
                    return at;
                mask &= mask - 1;
            }
        }
        return scalar(s, d, i, last);
    }

    __attribute__((target("avx2"))) static size_t avx2(const ByteSearch &s,
                                                        const unsigned char *d, size_t i,
                                                        size_t last)
    {
        const __m256i rareA = _mm256_set1_epi8(static_cast<char>(s.m_rareA));
        const __m256i rareB = _mm256_set1_epi8(static_cast<char>(s.m_rareB));
        const __m256i lastA = _mm256_set1_epi8(static_cast<char>(s.m_lastA));
        const __m256i lastB = _mm256_set1_epi8(static_cast<char>(s.m_lastB));
        const size_t lastOffset = s.m_length - 1;
        for (; i + 32 <= last + 1; i += 32) {
            const __m256i r =
                _mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + i + s.m_rare));
            const __m256i l =
                _mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + i + lastOffset));
            const __m256i hit = _mm256_and_si256(
                _mm256_or_si256(_mm256_cmpeq_epi8(r, rareA), _mm256_cmpeq_epi8(r, rareB)),
                _mm256_or_si256(_mm256_cmpeq_epi8(l, lastA), _mm256_cmpeq_epi8(l, lastB)));
            unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
            while (mask) {
                const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
                if (confirm(s, d + at))
                    return at;
                mask &= mask - 1;
            }
        }
        return sse2(s, d, i, last);
    }
#endif
};

namespace {

using Kernel = size_t (*)(const ByteSearch &, const unsigned char *, size_t, size_t);

Kernel chooseKernel()
{
#if defined(LUMBREX_X86)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return &ByteSearchKernels::avx2;
    return &ByteSearchKernels::sse2;
#else
    return &ByteSearchKernels::scalar;
#endif
}

const Kernel kKernel = chooseKernel();

} // namespace

ByteSearch::ByteSearch(const Needle &needle)
    : m_needle(reinterpret_cast<const unsigned char *>(needle.bytes().data())),
      m_lower(needle.lowerTable()), m_length(needle.bytes().size())
{
    if (m_length == 0)
        return;
    m_rare = 0;
    for (size_t k = 1; k + 1 < m_length; ++k) {
        if (commonness(m_needle[k]) < commonness(m_needle[m_rare]))
            m_rare = k;
    }
    variantsOf(m_needle[m_rare], m_lower, m_rareA, m_rareB);
    variantsOf(m_needle[m_length - 1], m_lower, m_lastA, m_lastB);
}

size_t ByteSearch::find(std::string_view hay, size_t from) const
{
    const size_t n = hay.size();
    if (m_length == 0 || from > n || n - from < m_length)
        return std::string_view::npos;
    return kKernel(*this, reinterpret_cast<const unsigned char *>(hay.data()), from,
                   n - m_length);
}

size_t WideSearch::find(std::u16string_view hay, size_t from) const
{
    const size_t m = m_needle.size();
    const size_t n = hay.size();
    if (m == 0 || from > n || n - from < m)
        return std::u16string_view::npos;
    const char16_t *d = hay.data();
    const size_t last = n - m;
    const char16_t first = m_needle.front();
    const char16_t final = m_needle.back();
    size_t i = from;
#if defined(LUMBREX_X86)
    const __m128i firstV = _mm_set1_epi16(static_cast<short>(first));
    const __m128i finalV = _mm_set1_epi16(static_cast<short>(final));
    for (; i + 8 <= last + 1; i += 8) {
        const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i + m - 1));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
                            _mm_and_si128(_mm_cmpeq_epi16(f, firstV), _mm_cmpeq_epi16(l, finalV)))) &
                        0x5555u;
        while (mask) {
            const size_t at = i + static_cast<size_t>(__builtin_ctz(mask)) / 2;
            if (std::memcmp(d + at, m_needle.data(), m * sizeof(char16_t)) == 0)
                return at;
            mask &= mask - 1;
        }
    }
#endif
    for (; i <= last; ++i) {
        if (d[i] == first && d[i + m - 1] == final &&
            std::memcmp(d + i, m_needle.data(), m * sizeof(char16_t)) == 0)
            return i;
    }
    return std::u16string_view::npos;
}

size_t findUnit(const char16_t *d, size_t from, size_t n, char16_t c)
{
    size_t i = from;
#if defined(LUMBREX_X86)
    const __m128i v = _mm_set1_epi16(static_cast<short>(c));
    for (; i + 8 <= n; i += 8) {
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i)), v)));
        if (mask)
            return i + static_cast<size_t>(__builtin_ctz(mask)) / 2;
    }
#endif
    for (; i < n; ++i) {
        if (d[i] == c)
            return i;
    }
    return n;
}

size_t findUnitBackwards(const char16_t *d, size_t floor, size_t high, char16_t c)
{
    size_t i = high;
#if defined(LUMBREX_X86)
    const __m128i v = _mm_set1_epi16(static_cast<short>(c));
    while (i >= floor + 8) {
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i - 8)), v)));
        if (mask)
            return i - 8 + static_cast<size_t>(31 - __builtin_clz(mask)) / 2;
        i -= 8;
    }
#endif
    while (i > floor) {
        --i;
        if (d[i] == c)
            return i;
    }
    return std::u16string_view::npos;
}

} // namespace engine
