// Counting line ends, and the bytes of 0x80 or above, sixteen or thirty-two bytes at a time.
// Every row's line number wants the line ends before it counted, and a file that is not
// well-formed UTF-8 is told apart from mostly-UTF-8 text by its high bytes. Each kernel takes
// the places from i on as far as its vectors reach and leaves the rest to the next narrower
// one.
#include "LineCount.h"
#include "TextFormat.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMBREX_X86 1
#endif

namespace engine {

namespace {

// Which line ends a kernel counts.
enum class Ends { None, Lf, CrLf };

struct Counts {
    uint64_t lineEnds = 0;
    HighByteCounts high;
};

// Whether a kernel reads the byte after each place (which must then be readable).
template <bool High, Ends E> constexpr bool kReadsNext = High || E == Ends::CrLf;

bool isLead(unsigned char b)
{
    return b >= 0xC2 && b <= 0xF4;
}

bool isContinuation(unsigned char b)
{
    return b >= 0x80 && b <= 0xBF;
}

// Counts among the places [i, end) of d: its LFs, or the CRs followed by an LF, and with High
// the high bytes and the places where a UTF-8 character of several bytes may start.
template <bool High, Ends E>
void countScalar(const unsigned char *d, size_t i, size_t end, Counts &counts)
{
    for (; i < end; ++i) {
        if constexpr (E == Ends::Lf)
            counts.lineEnds += d[i] == '\n' ? 1 : 0;
        if constexpr (E == Ends::CrLf)
            counts.lineEnds += d[i] == '\r' && d[i + 1] == '\n' ? 1 : 0;
        if constexpr (High) {
            counts.high.high += d[i] >= 0x80 ? 1 : 0;
            counts.high.starts += isLead(d[i]) && isContinuation(d[i + 1]) ? 1 : 0;
        }
    }
}

#if defined(LUMBREX_X86)
const bool kAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

// Bytes compare as signed: 0x80..0xBF are -128..-65, the leads 0xC2..0xF4 are -62..-12.
__m128i leads(__m128i x)
{
    return _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(-63)),
                         _mm_cmplt_epi8(x, _mm_set1_epi8(-11)));
}

__attribute__((target("avx2"))) inline __m256i load(const unsigned char *at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
}

__attribute__((target("avx2"))) inline __m256i leads(__m256i x)
{
    return _mm256_and_si256(_mm256_cmpgt_epi8(x, _mm256_set1_epi8(-63)),
                            _mm256_cmpgt_epi8(_mm256_set1_epi8(-11), x));
}

// Each lane counts up to 255 before the lanes are summed.
template <bool High, Ends E>
void countSse2(const unsigned char *d, size_t i, size_t end, Counts &counts)
{
    const __m128i zero = _mm_setzero_si128();
    const auto total = [&](__m128i lanes) {
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        return uint64_t(_mm_cvtsi128_si32(sums)) + uint64_t(_mm_extract_epi16(sums, 4));
    };
    while (i + 16 <= end) {
        __m128i ends = zero;
        __m128i high = zero;
        __m128i starts = zero;
        for (int round = 0; round < 255 && i + 16 <= end; ++round, i += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
            __m128i next = zero;
            if constexpr (kReadsNext<High, E>)
                next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i + 1));
            if constexpr (E == Ends::Lf)
                ends = _mm_sub_epi8(ends, _mm_cmpeq_epi8(x, _mm_set1_epi8('\n')));
            if constexpr (E == Ends::CrLf)
                ends = _mm_sub_epi8(ends, _mm_and_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('\r')),
                                                        _mm_cmpeq_epi8(next, _mm_set1_epi8('\n'))));
            if constexpr (High) {
                const __m128i follows = _mm_cmplt_epi8(next, _mm_set1_epi8(-64));
                high = _mm_sub_epi8(high, _mm_cmplt_epi8(x, zero));
                starts = _mm_sub_epi8(starts, _mm_and_si128(leads(x), follows));
            }
        }
        if constexpr (E != Ends::None)
            counts.lineEnds += total(ends);
        if constexpr (High) {
            counts.high.high += total(high);
            counts.high.starts += total(starts);
        }
    }
    countScalar<High, E>(d, i, end, counts);
}

__attribute__((target("avx2"))) inline uint64_t total(__m256i lanes)
{
    alignas(32) uint64_t sums[4];
    _mm256_store_si256(reinterpret_cast<__m256i *>(sums),
                       _mm256_sad_epu8(lanes, _mm256_setzero_si256()));
    return sums[0] + sums[1] + sums[2] + sums[3];
}

template <bool High, Ends E>
__attribute__((target("avx2"))) void countAvx2(const unsigned char *d, size_t i, size_t end,
                                               Counts &counts)
{
    const __m256i zero = _mm256_setzero_si256();
    while (i + 32 <= end) {
        __m256i ends = zero;
        __m256i high = zero;
        __m256i starts = zero;
        for (int round = 0; round < 255 && i + 32 <= end; ++round, i += 32) {
            const __m256i x = load(d + i);
            __m256i next = zero;
            if constexpr (kReadsNext<High, E>)
                next = load(d + i + 1);
            if constexpr (E == Ends::Lf)
                ends = _mm256_sub_epi8(ends, _mm256_cmpeq_epi8(x, _mm256_set1_epi8('\n')));
            if constexpr (E == Ends::CrLf)
                ends = _mm256_sub_epi8(
                    ends, _mm256_and_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('\r')),
                                           _mm256_cmpeq_epi8(next, _mm256_set1_epi8('\n'))));
            if constexpr (High) {
                const __m256i follows = _mm256_cmpgt_epi8(_mm256_set1_epi8(-64), next);
                high = _mm256_sub_epi8(high, _mm256_cmpgt_epi8(zero, x));
                starts = _mm256_sub_epi8(starts, _mm256_and_si256(leads(x), follows));
            }
        }
        if constexpr (E != Ends::None)
            counts.lineEnds += total(ends);
        if constexpr (High) {
            counts.high.high += total(high);
            counts.high.starts += total(starts);
        }
    }
    countSse2<High, E>(d, i, end, counts);
}
#endif

// Returns true when some place among [i, end) of d is a byte that can start a UTF-8 character
// of several bytes followed by one that can continue it.
bool anyStartScalar(const unsigned char *d, size_t i, size_t end)
{
    for (; i < end; ++i) {
        if (isLead(d[i]) && isContinuation(d[i + 1]))
            return true;
    }
    return false;
}

#if defined(LUMBREX_X86)
// Bytes that can continue a character are rare in text that is not UTF-8 (Windows-1252 holds
// a few symbols there, and two letters): only a block of places followed by one is looked at
// for a byte that can start one.
bool anyStartSse2(const unsigned char *d, size_t i, size_t end)
{
    const __m128i continuing = _mm_set1_epi8(-64);
    for (; i + 32 <= end; i += 32) {
        const auto load = [d](size_t at) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + at));
        };
        const __m128i follows0 = _mm_cmplt_epi8(load(i + 1), continuing);
        const __m128i follows1 = _mm_cmplt_epi8(load(i + 17), continuing);
        if (_mm_movemask_epi8(_mm_or_si128(follows0, follows1)) == 0)
            continue;
        const __m128i starts = _mm_or_si128(_mm_and_si128(leads(load(i)), follows0),
                                            _mm_and_si128(leads(load(i + 16)), follows1));
        if (_mm_movemask_epi8(starts) != 0)
            return true;
    }
    return anyStartScalar(d, i, end);
}

__attribute__((target("avx2"))) bool anyStartAvx2(const unsigned char *d, size_t i, size_t end)
{
    const __m256i continuing = _mm256_set1_epi8(-64);
    for (; i + 64 <= end; i += 64) {
        const __m256i follows0 = _mm256_cmpgt_epi8(continuing, load(d + i + 1));
        const __m256i follows1 = _mm256_cmpgt_epi8(continuing, load(d + i + 33));
        const __m256i follows = _mm256_or_si256(follows0, follows1);
        if (_mm256_testz_si256(follows, follows))
            continue;
        const __m256i starts = _mm256_or_si256(_mm256_and_si256(leads(load(d + i)), follows0),
                                               _mm256_and_si256(leads(load(d + i + 32)), follows1));
        if (!_mm256_testz_si256(starts, starts))
            return true;
    }
    return anyStartSse2(d, i, end);
}
#endif

template <bool High, Ends E>
void count(const unsigned char *d, size_t i, size_t end, Counts &counts)
{
#if defined(LUMBREX_X86)
    if (kAvx2)
        countAvx2<High, E>(d, i, end, counts);
    else
        countSse2<High, E>(d, i, end, counts);
#else
    countScalar<High, E>(d, i, end, counts);
#endif
}

const unsigned char *bytesOf(std::string_view text)
{
    return reinterpret_cast<const unsigned char *>(text.data());
}

} // namespace

uint64_t countLineEnds(std::string_view text, LineEnds ends)
{
    if (text.empty())
        return 0;
    Counts counts;
    if (ends == LineEnds::Lf)
        count<false, Ends::Lf>(bytesOf(text), 0, text.size(), counts);
    else // every place but the last is read with the byte after it; the last has none here
        count<false, Ends::CrLf>(bytesOf(text), 0, text.size() - 1, counts);
    return counts.lineEnds;
}

HighByteCounts countHighBytes(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    // Every place but the last is read with the byte after it.
    const unsigned char *d = bytesOf(bytes);
    Counts counts;
    count<true, Ends::None>(d, 0, bytes.size() - 1, counts);
    counts.high.high += d[bytes.size() - 1] >= 0x80 ? 1 : 0;
    return counts.high;
}

bool anyUtf8Start(std::string_view bytes, size_t from, size_t to)
{
    if (from >= to)
        return false;
    const unsigned char *d = bytesOf(bytes);
    // The last place has no byte after it at the end of the bytes.
    const size_t end = to < bytes.size() ? to : to - 1;
#if defined(LUMBREX_X86)
    return kAvx2 ? anyStartAvx2(d, from, end) : anyStartSse2(d, from, end);
#else
    return anyStartScalar(d, from, end);
#endif
}

} // namespace engine
