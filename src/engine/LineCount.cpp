// Counting line ends sixteen or thirty-two bytes at a time: every row's line number wants the
// line ends before it counted, which is one more pass over most of a file that holds rows.
// Each kernel takes the places from i on as far as its vectors reach and leaves the rest to
// the next narrower one.
#include "LineCount.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMBREX_X86 1
#endif

namespace engine {

namespace {

// Counts the LFs among the bytes [i, end), or with crLf the CRs there followed by an LF (the
// byte after end must be readable then).
uint64_t countScalar(const char *d, size_t i, size_t end, bool crLf)
{
    uint64_t count = 0;
    if (crLf) {
        for (; i < end; ++i)
            count += d[i] == '\r' && d[i + 1] == '\n' ? 1 : 0;
    } else {
        for (; i < end; ++i)
            count += d[i] == '\n' ? 1 : 0;
    }
    return count;
}

#if defined(LUMBREX_X86)
// Each lane counts up to 255 line ends before the lanes are summed.
uint64_t countSse2(const char *d, size_t i, size_t end, bool crLf)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    uint64_t count = 0;
    while (i + 16 <= end) {
        __m128i lanes = zero;
        for (int round = 0; round < 255 && i + 16 <= end; ++round, i += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
            __m128i hit;
            if (crLf) {
                const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i + 1));
                hit = _mm_and_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(next, lf));
            } else {
                hit = _mm_cmpeq_epi8(x, lf);
            }
            lanes = _mm_sub_epi8(lanes, hit);
        }
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        count += uint64_t(_mm_cvtsi128_si32(sums)) + uint64_t(_mm_extract_epi16(sums, 4));
    }
    return count + countScalar(d, i, end, crLf);
}

__attribute__((target("avx2"))) uint64_t countAvx2(const char *d, size_t i, size_t end, bool crLf)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    uint64_t count = 0;
    while (i + 32 <= end) {
        __m256i lanes = zero;
        for (int round = 0; round < 255 && i + 32 <= end; ++round, i += 32) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + i));
            __m256i hit;
            if (crLf) {
                const __m256i next =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + i + 1));
                hit = _mm256_and_si256(_mm256_cmpeq_epi8(x, cr), _mm256_cmpeq_epi8(next, lf));
            } else {
                hit = _mm256_cmpeq_epi8(x, lf);
            }
            lanes = _mm256_sub_epi8(lanes, hit);
        }
        alignas(32) uint64_t sums[4];
        _mm256_store_si256(reinterpret_cast<__m256i *>(sums), _mm256_sad_epu8(lanes, zero));
        count += sums[0] + sums[1] + sums[2] + sums[3];
    }
    return count + countSse2(d, i, end, crLf);
}
#endif

using Counter = uint64_t (*)(const char *, size_t, size_t, bool);

Counter chooseCounter()
{
#if defined(LUMBREX_X86)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? &countAvx2 : &countSse2;
#else
    return &countScalar;
#endif
}

const Counter kCount = chooseCounter();

} // namespace

uint64_t countLineEnds(std::string_view text, LineEnds ends)
{
    if (text.empty())
        return 0;
    if (ends == LineEnds::Lf)
        return kCount(text.data(), 0, text.size(), false);
    // Every place but the last is read with the byte after it; the last has none in the text.
    return kCount(text.data(), 0, text.size() - 1, true);
}

uint64_t countLineEnds(std::u16string_view text, LineEnds ends)
{
    // UTF-16 text is rare enough for the compiler's own vectors.
    uint64_t count = 0;
    if (ends == LineEnds::Lf) {
        for (const char16_t c : text)
            count += c == u'\n' ? 1 : 0;
        return count;
    }
    for (size_t i = 1; i < text.size(); ++i)
        count += text[i - 1] == u'\r' && text[i] == u'\n' ? 1 : 0;
    return count;
}

} // namespace engine
