// Counting the bytes of 0x80 or above, sixteen or thirty-two at a time: a file that is not
// well-formed UTF-8 is told apart from mostly-UTF-8 text by one pass that touches no byte on
// its own.
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

HighByteCounts countScalar(const unsigned char *d, size_t from, size_t n, HighByteCounts counts)
{
    for (size_t i = from; i < n; ++i) {
        counts.high += d[i] >= 0x80 ? 1 : 0;
        counts.starts += i + 1 < n && isLead(d[i]) && isContinuation(d[i + 1]) ? 1 : 0;
    }
    return counts;
}

bool anyStartScalar(const unsigned char *d, size_t from, size_t n)
{
    for (size_t i = from; i + 1 < n; ++i) {
        if (isLead(d[i]) && isContinuation(d[i + 1]))
            return true;
    }
    return false;
}

#if defined(LUMBREX_X86)
// Bytes compare as signed: 0x80..0xBF are -128..-65, the leads 0xC2..0xF4 are -62..-12. Each
// lane counts up to 255 matches before the lanes are summed.
HighByteCounts countSse2(const unsigned char *d, size_t n)
{
    HighByteCounts counts;
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    while (i + 17 <= n) {
        __m128i high = zero;
        __m128i starts = zero;
        for (int round = 0; round < 255 && i + 17 <= n; ++round, i += 16) {
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
    return countScalar(d, i, n, counts);
}

__attribute__((target("avx2"))) HighByteCounts countAvx2(const unsigned char *d, size_t n)
{
    HighByteCounts counts;
    const __m256i zero = _mm256_setzero_si256();
    size_t i = 0;
    while (i + 33 <= n) {
        __m256i high = zero;
        __m256i starts = zero;
        for (int round = 0; round < 255 && i + 33 <= n; ++round, i += 32) {
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
    return countScalar(d, i, n, counts);
}

// Most text has no place where a character of several bytes may start: the places are only
// looked for, and the lanes tested every few kilobytes.
bool anyStartSse2(const unsigned char *d, size_t n)
{
    const __m128i above = _mm_set1_epi8(-63);
    const __m128i below = _mm_set1_epi8(-11);
    const __m128i continuing = _mm_set1_epi8(-64);
    size_t i = 0;
    while (i + 17 <= n) {
        __m128i any = _mm_setzero_si128();
        for (int round = 0; round < 256 && i + 17 <= n; ++round, i += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i + 1));
            const __m128i lead = _mm_and_si128(_mm_cmpgt_epi8(x, above), _mm_cmplt_epi8(x, below));
            any = _mm_or_si128(any, _mm_and_si128(lead, _mm_cmplt_epi8(next, continuing)));
        }
        if (_mm_movemask_epi8(any) != 0)
            return true;
    }
    return anyStartScalar(d, i, n);
}

__attribute__((target("avx2"))) bool anyStartAvx2(const unsigned char *d, size_t n)
{
    const __m256i above = _mm256_set1_epi8(-63);
    const __m256i below = _mm256_set1_epi8(-11);
    const __m256i continuing = _mm256_set1_epi8(-64);
    size_t i = 0;
    while (i + 33 <= n) {
        __m256i any = _mm256_setzero_si256();
        for (int round = 0; round < 128 && i + 33 <= n; ++round, i += 32) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + i));
            const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + i + 1));
            const __m256i lead =
                _mm256_and_si256(_mm256_cmpgt_epi8(x, above), _mm256_cmpgt_epi8(below, x));
            any = _mm256_or_si256(any, _mm256_and_si256(lead, _mm256_cmpgt_epi8(continuing, next)));
        }
        if (!_mm256_testz_si256(any, any))
            return true;
    }
    return anyStartScalar(d, i, n);
}
#endif

using Kernel = HighByteCounts (*)(const unsigned char *, size_t);
using Test = bool (*)(const unsigned char *, size_t);

Kernel chooseKernel()
{
#if defined(LUMBREX_X86)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return &countAvx2;
    return &countSse2;
#else
    return [](const unsigned char *d, size_t n) { return countScalar(d, 0, n, {}); };
#endif
}

const Kernel kKernel = chooseKernel();

Test chooseTest()
{
#if defined(LUMBREX_X86)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return &anyStartAvx2;
    return &anyStartSse2;
#else
    return [](const unsigned char *d, size_t n) { return anyStartScalar(d, 0, n); };
#endif
}

const Test kTest = chooseTest();

} // namespace

bool anyUtf8Start(std::string_view bytes)
{
    return kTest(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

HighByteCounts countHighBytes(std::string_view bytes)
{
    return kKernel(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

} // namespace engine
