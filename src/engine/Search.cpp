#include "Search.h"

#include "CaseBlindUtf8.h"
#include "Processor.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMBREX_X86 1
#endif

namespace engine {

namespace {

// The one or two bytes that lower to c (c itself, always). Both lower-case tables in use map
// at most two bytes to one.
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

#if defined(LUMBREX_X86)
const bool kAvx2 = hasAvx2();
#endif

} // namespace

// The filter's loops over candidate places i in [i, last], each place's probes at fixed
// offsets from it; Width values per probe count. A candidate the filter lets through goes to
// confirm, which tells whether the needle occurs there.
struct ByteSearchKernels {
    template <int Width> static bool holds(const ByteFilter::Probe &probe, unsigned char b)
    {
        for (int k = 0; k < Width; ++k) {
            if (b == probe.values[size_t(k)])
                return true;
        }
        return false;
    }

    template <int Width, typename Confirm>
    static size_t scalar(const ByteFilter &f, const unsigned char *d, size_t i, size_t last,
                         const Confirm &confirm)
    {
        for (; i <= last; ++i) {
            const unsigned char *p = d + i;
            if (holds<Width>(f.probes[0], p[f.probes[0].offset]) &&
                holds<Width>(f.probes[1], p[f.probes[1].offset]) && confirm(i))
                return i;
        }
        return std::string_view::npos;
    }

    // Where each probe's values are two that differ in one bit (a letter and its capital, in
    // ASCII and in Windows-1252 alike) or one, that bit is set in the hay and one compare
    // tells both: the probe becomes its bit and its target.
    static bool foldable(const ByteFilter &f, int width)
    {
        for (const ByteFilter::Probe &probe : f.probes) {
            const unsigned bit = unsigned(probe.values[0] ^ probe.values[1]);
            if ((bit & (bit - 1)) != 0)
                return false;
            for (int k = 2; k < width; ++k) {
                if (probe.values[size_t(k)] != probe.values[0] &&
                    probe.values[size_t(k)] != probe.values[1])
                    return false;
            }
        }
        return true;
    }

#if defined(LUMBREX_X86)
    // The probes as vectors: Width values each, or with Folded the bit and the target.
    template <int Width, bool Folded> struct ProbesSse2 {
        __m128i first[Width], second[Width];
    };
    template <int Width, bool Folded> struct ProbesAvx2 {
        __m256i first[Width], second[Width];
    };

    template <int Width, bool Folded>
    static ProbesSse2<Width, Folded> probesSse2(const ByteFilter &f)
    {
        ProbesSse2<Width, Folded> v;
        for (int k = 0; k < Width; ++k) {
            for (int p = 0; p < 2; ++p) {
                const ByteFilter::Probe &probe = f.probes[size_t(p)];
                unsigned char value = probe.values[size_t(k)];
                if constexpr (Folded) {
                    const auto bit = static_cast<unsigned char>(probe.values[0] ^ probe.values[1]);
                    value = k == 0 ? bit : static_cast<unsigned char>(probe.values[0] | bit);
                }
                (p == 0 ? v.first : v.second)[k] = _mm_set1_epi8(static_cast<char>(value));
            }
        }
        return v;
    }

    // The places among the sixteen from p on that both probes let through.
    template <int Width, bool Folded>
    static __m128i hitsSse2(const ProbesSse2<Width, Folded> &v, const unsigned char *p, ptrdiff_t a,
                            ptrdiff_t b)
    {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + a));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + b));
        if constexpr (Folded)
            return _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(x, v.first[0]), v.first[1]),
                                 _mm_cmpeq_epi8(_mm_or_si128(y, v.second[0]), v.second[1]));
        __m128i hitX = _mm_cmpeq_epi8(x, v.first[0]);
        __m128i hitY = _mm_cmpeq_epi8(y, v.second[0]);
        for (int k = 1; k < Width; ++k) {
            hitX = _mm_or_si128(hitX, _mm_cmpeq_epi8(x, v.first[k]));
            hitY = _mm_or_si128(hitY, _mm_cmpeq_epi8(y, v.second[k]));
        }
        return _mm_and_si128(hitX, hitY);
    }

    template <int Width, bool Folded, typename Confirm>
    static size_t sse2(const ByteFilter &f, const unsigned char *d, size_t i, size_t last,
                       const Confirm &confirm)
    {
        const auto v = probesSse2<Width, Folded>(f);
        const ptrdiff_t a = f.probes[0].offset, b = f.probes[1].offset;
        // Every place in [i, i + 16) is a valid one here, so both loads stay inside the hay.
        for (; i + 16 <= last + 1; i += 16) {
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hitsSse2(v, d + i, a, b)));
            while (mask) {
                const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
                if (confirm(at))
                    return at;
                mask &= mask - 1;
            }
        }
        return scalar<Width>(f, d, i, last, confirm);
    }

    template <int Width, bool Folded>
    __attribute__((target("avx2"))) static ProbesAvx2<Width, Folded> probesAvx2(const ByteFilter &f)
    {
        const auto narrow = probesSse2<Width, Folded>(f);
        ProbesAvx2<Width, Folded> v;
        for (int k = 0; k < Width; ++k) {
            v.first[k] = _mm256_broadcastsi128_si256(narrow.first[k]);
            v.second[k] = _mm256_broadcastsi128_si256(narrow.second[k]);
        }
        return v;
    }

    template <int Width, bool Folded>
    __attribute__((target("avx2"))) static __m256i
    hitsAvx2(const ProbesAvx2<Width, Folded> &v, const unsigned char *p, ptrdiff_t a, ptrdiff_t b)
    {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + a));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + b));
        if constexpr (Folded)
            return _mm256_and_si256(
                _mm256_cmpeq_epi8(_mm256_or_si256(x, v.first[0]), v.first[1]),
                _mm256_cmpeq_epi8(_mm256_or_si256(y, v.second[0]), v.second[1]));
        __m256i hitX = _mm256_cmpeq_epi8(x, v.first[0]);
        __m256i hitY = _mm256_cmpeq_epi8(y, v.second[0]);
        for (int k = 1; k < Width; ++k) {
            hitX = _mm256_or_si256(hitX, _mm256_cmpeq_epi8(x, v.first[k]));
            hitY = _mm256_or_si256(hitY, _mm256_cmpeq_epi8(y, v.second[k]));
        }
        return _mm256_and_si256(hitX, hitY);
    }

    // Sixty-four places a round, told by one test when none passes (the most of them).
    template <int Width, bool Folded, typename Confirm>
    __attribute__((target("avx2"))) static size_t
    avx2(const ByteFilter &f, const unsigned char *d, size_t i, size_t last, const Confirm &confirm)
    {
        const auto v = probesAvx2<Width, Folded>(f);
        const ptrdiff_t a = f.probes[0].offset, b = f.probes[1].offset;
        for (; i + 64 <= last + 1; i += 64) {
            const __m256i low = hitsAvx2(v, d + i, a, b);
            const __m256i high = hitsAvx2(v, d + i + 32, a, b);
            const __m256i any = _mm256_or_si256(low, high);
            if (_mm256_testz_si256(any, any))
                continue;
            uint64_t mask = uint64_t(unsigned(_mm256_movemask_epi8(low))) |
                            uint64_t(unsigned(_mm256_movemask_epi8(high))) << 32;
            while (mask) {
                const size_t at = i + static_cast<size_t>(__builtin_ctzll(mask));
                if (confirm(at))
                    return at;
                mask &= mask - 1;
            }
        }
        return sse2<Width, Folded>(f, d, i, last, confirm);
    }
#endif

    template <int Width, typename Confirm>
    static size_t scan(const ByteFilter &f, const unsigned char *d, size_t i, size_t last,
                       const Confirm &confirm)
    {
#if defined(LUMBREX_X86)
        if (foldable(f, Width))
            return kAvx2 ? avx2<Width, true>(f, d, i, last, confirm)
                         : sse2<Width, true>(f, d, i, last, confirm);
        return kAvx2 ? avx2<Width, false>(f, d, i, last, confirm)
                     : sse2<Width, false>(f, d, i, last, confirm);
#else
        return scalar<Width>(f, d, i, last, confirm);
#endif
    }

    static size_t bytes(const ByteSearch &s, const unsigned char *d, size_t from, size_t n)
    {
        const auto confirm = [&](size_t at) {
            const unsigned char *p = d + at;
            if (!s.m_lower)
                return std::memcmp(p, s.m_needle, s.m_length) == 0;
            for (size_t k = 0; k < s.m_length; ++k) {
                if (s.m_lower[p[k]] != s.m_needle[k])
                    return false;
            }
            return true;
        };
        return scan<2>(s.m_filter, d, from, n - s.m_length, confirm);
    }

    // Places are anchors here: a match holds its characters' forms outwards from one.
    static size_t forms(const ByteSearch &s, const unsigned char *d, size_t from, size_t n,
                        size_t &end)
    {
        const CaseBlindUtf8 &forms = *s.m_forms;
        const size_t before = forms.shortestBefore();
        const size_t after = forms.shortestAfter();
        if (n - from < before + after)
            return std::string_view::npos;
        size_t start = 0;
        const auto confirm = [&](size_t at) {
            return forms.matchBefore(d, from, at, start) && forms.matchAfter(d, at, n, end);
        };
        const size_t at = s.m_filter.width == 3
                              ? scan<3>(s.m_filter, d, from + before, n - after, confirm)
                              : scan<2>(s.m_filter, d, from + before, n - after, confirm);
        return at == std::string_view::npos ? at : start;
    }
};

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

ByteFilter byteFilterFor(std::string_view bytes, const unsigned char *lower)
{
    ByteFilter filter;
    if (bytes.empty())
        return filter;
    const auto *needle = reinterpret_cast<const unsigned char *>(bytes.data());
    size_t rare = 0;
    for (size_t k = 1; k + 1 < bytes.size(); ++k) {
        if (commonness(needle[k]) < commonness(needle[rare]))
            rare = k;
    }
    const size_t at[2] = {rare, bytes.size() - 1};
    for (size_t p = 0; p < 2; ++p) {
        ByteFilter::Probe &probe = filter.probes[p];
        probe.offset = ptrdiff_t(at[p]);
        variantsOf(needle[at[p]], lower, probe.values[0], probe.values[1]);
        probe.values[2] = probe.values[0];
    }
    return filter;
}

ByteSearch::ByteSearch(const Needle &needle)
    : m_needle(reinterpret_cast<const unsigned char *>(needle.bytes().data())),
      m_lower(needle.lowerTable()), m_forms(needle.forms()), m_length(needle.bytes().size()),
      m_filter(needle.filter())
{
}

size_t ByteSearch::find(std::string_view hay, size_t from, size_t &end) const
{
    const size_t n = hay.size();
    if (m_length == 0 || from > n)
        return std::string_view::npos;
    const auto *d = reinterpret_cast<const unsigned char *>(hay.data());
    if (m_forms)
        return ByteSearchKernels::forms(*this, d, from, n, end);
    if (n - from < m_length)
        return std::string_view::npos;
    const size_t at = ByteSearchKernels::bytes(*this, d, from, n);
    end = at + m_length;
    return at;
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
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
                            _mm_cmpeq_epi16(f, firstV), _mm_cmpeq_epi16(l, finalV)))) &
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
