// Counting the bytes of 0x80 or above, sixteen or thirty-two at a time: a file that is not
// well-formed UTF-8 is told apart from mostly-UTF-8 text by one pass that touches no byte on
// its own. Each kernel takes the places from i on as far as its vectors reach and leaves the
// rest to the next narrower one.
#include "TextFormat.h"

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMBREX_X86 1
#endif

namespace engine {

namespace {

bool isLead(unsigned char b)
{
    return b >= 0xC2 && b <= 0xF4;
}

bool isContinuation(unsigned char b)
{
    return b >= 0x80 && b <= 0xBF;
}

// Counts the high bytes and the places among the bytes [i, end), each with the byte after it.
HighByteCounts countScalar(const unsigned char *d, size_t i, size_t end, HighByteCounts counts)
{
    for (; i < end; ++i) {
        counts.high += d[i] >= 0x80 ? 1 : 0;
        counts.starts += isLead(d[i]) && isContinuation(d[i + 1]) ? 1 : 0;
    }
    return counts;
}

#if defined(LUMBREX_X86)
// Bytes compare as signed: 0x80..0xBF are -128..-65, the leads 0xC2..0xF4 are -62..-12. Each
// lane counts up to 255 matches before the lanes are summed.
HighByteCounts countSse2(const unsigned char *d, size_t i, size_t end, HighByteCounts counts)
{
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= end) {
        __m128i high = zero;
        __m128i starts = zero;
        for (int round = 0; round < 255 && i + 16 <= end; ++round, i += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i + 1));
            const __m128i lead = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(-63)),
                                               _mm_cmplt_epi8(x, _mm_set1_epi8(-11)));
            const __m128i follows = _mm_cmplt_epi8(next, _mm_set1_epi8(-64));
            high = _mm_sub_epi8(high, _mm_cmplt_epi8(x, zero));
            starts = _mm_sub_epi8(starts, _mm_and_si128(lead, follows));
        }
        const auto total = [&](__m128i lanes) {
            const __m128i sums = _mm_sad_epu8(lanes, zero);
            return size_t(_mm_cvtsi128_si32(sums)) + size_t(_mm_extract_epi16(sums, 4));
        };
        counts.high += total(high);
        counts.starts += total(starts);
    }
    return countScalar(d, i, end, counts);
}

__attribute__((target("avx2"))) HighByteCounts countAvx2(const unsigned char *d, size_t i,
                                                         size_t end, HighByteCounts counts)
{
    const __m256i zero = _mm256_setzero_si256();
    while (i + 32 <= end) {
        __m256i high = zero;
        __m256i starts = zero;
        for (int round = 0; round < 255 && i + 32 <= end; ++round, i += 32) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + i));
            const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + i + 1));
            const __m256i lead = _mm256_and_si256(_mm256_cmpgt_epi8(x, _mm256_set1_epi8(-63)),
                                                  _mm256_cmpgt_epi8(_mm256_set1_epi8(-11), x));
            const __m256i follows = _mm256_cmpgt_epi8(_mm256_set1_epi8(-64), next);
            high = _mm256_sub_epi8(high, _mm256_cmpgt_epi8(zero, x));
            starts = _mm256_sub_epi8(starts, _mm256_and_si256(lead, follows));
        }
        alignas(32) uint64_t sums[2][4];
        _mm256_store_si256(reinterpret_cast<__m256i *>(sums[0]), _mm256_sad_epu8(high, zero));
        _mm256_store_si256(reinterpret_cast<__m256i *>(sums[1]), _mm256_sad_epu8(starts, zero));
        counts.high += size_t(sums[0][0] + sums[0][1] + sums[0][2] + sums[0][3]);
        counts.starts += size_t(sums[1][0] + sums[1][1] + sums[1][2] + sums[1][3]);
    }
    return countSse2(d, i, end, counts);
}

#endif

using Counter = HighByteCounts (*)(const unsigned char *, size_t, size_t, HighByteCounts);

Counter chooseCounter()
{
#if defined(LUMBREX_X86)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return &countAvx2;
    return &countSse2;
#else
    return &countScalar;
#endif
}

const Counter kCount = chooseCounter();

} // namespace

// Every byte but the last is a place, read with the byte after it.
HighByteCounts countHighBytes(std::string_view bytes, size_t from, size_t to)
{
    if (from >= to)
        return {};
    const auto *d = reinterpret_cast<const unsigned char *>(bytes.data());
    if (to < bytes.size())
        return kCount(d, from, to, {});
    HighByteCounts counts = kCount(d, from, to - 1, {});
    counts.high += d[to - 1] >= 0x80 ? 1 : 0;
    return counts;
}

} // namespace engine
