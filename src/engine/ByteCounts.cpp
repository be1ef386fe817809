// Counting line ends, and the bytes of 0x80 or above, sixteen or thirty-two bytes at a time.
// Every row's line number wants the line ends before it counted, and a file that is not
// well-formed UTF-8 is told apart from mostly-UTF-8 text by its high bytes. Each kernel takes
// the places from i on as far as its vectors reach and leaves the rest to the next narrower
// one.
#include "LineCount.h"
#include "Processor.h"
#include "TextFormat.h"

#include <algorithm>

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
const bool kAvx2 = hasAvx2();

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

// Returns true when some place among [i, end) of d is a byte of 0xC0 or above followed by one
// that can continue a UTF-8 character: each place where a character of several bytes may start
// is one, and the few others (C0, C1, F5..FF before a continuation) are rare in any text.
bool anyStartScalar(const unsigned char *d, size_t i, size_t end)
{
    for (; i < end; ++i) {
        if (d[i] >= 0xC0 && isContinuation(d[i + 1]))
            return true;
    }
    return false;
}

#if defined(LUMBREX_X86)
// A byte and the one after it anded, the second with its bit 6 flipped, has both high bits set
// just where the first has both (0xC0 or above) and the second the first alone (0x80..0xBF).
// The largest such byte of the whole range tells it, so no block takes a branch: bytes that
// can continue a character come every few hundred bytes in Windows-1252 text, too often and
// too irregularly for a branch on them to be foreseen.
inline __m128i pairs(const unsigned char *at, __m128i flip)
{
    const auto load = [](const unsigned char *from) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
    };
    return _mm_and_si128(load(at), _mm_xor_si128(load(at + 1), flip));
}

bool anyStartSse2(const unsigned char *d, size_t i, size_t end)
{
    const __m128i flip = _mm_set1_epi8(0x40);
    __m128i most = _mm_setzero_si128();
    for (; i + 32 <= end; i += 32)
        most = _mm_max_epu8(most, _mm_max_epu8(pairs(d + i, flip), pairs(d + i + 16, flip)));
    const __m128i over = _mm_subs_epu8(most, _mm_set1_epi8(char(0xBF)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(over, _mm_setzero_si128())) != 0xFFFF)
        return true;
    return anyStartScalar(d, i, end);
}

__attribute__((target("avx2"))) inline __m256i pairs(const unsigned char *at, __m256i flip)
{
    return _mm256_and_si256(load(at), _mm256_xor_si256(load(at + 1), flip));
}

__attribute__((target("avx2"))) bool anyStartAvx2(const unsigned char *d, size_t i, size_t end)
{
    const __m256i flip = _mm256_set1_epi8(0x40);
    __m256i most = _mm256_setzero_si256();
    for (; i + 64 <= end; i += 64)
        most = _mm256_max_epu8(most, _mm256_max_epu8(pairs(d + i, flip), pairs(d + i + 32, flip)));
    const __m256i over = _mm256_subs_epu8(most, _mm256_set1_epi8(char(0xBF)));
    if (!_mm256_testz_si256(over, over))
        return true;
    return anyStartSse2(d, i, end);
}
#endif

#if defined(LUMBREX_X86)
// Tells well-formed UTF-8 by the pairs of bytes and the two bytes before each pair: what the
// first byte of a pair allows by its high and its low half, and what the second byte is by its
// high half, as bits that are all set where something is wrong. A second byte that continues
// a character of three or four bytes is wrong as a pair (two continuations) but right because
// of the byte two or three places before it; the last line of the check trades one for the
// other.
namespace utf8check {
constexpr char kTooShort = 1 << 0;  // a lead, then no continuation (or another lead)
constexpr char kTooLong = 1 << 1;   // ASCII, then a continuation
constexpr char kOverlong3 = 1 << 2; // E0 80..9F
constexpr char kTooLarge = 1 << 3;  // F4 90..BF, F5..FF
constexpr char kSurrogate = 1 << 4; // ED A0..BF
constexpr char kOverlong2 = 1 << 5; // C0, C1
constexpr char kTooLarge1000 = 1 << 6;
constexpr char kOverlong4 = 1 << 6; // F0 80..8F
constexpr char kTwoConts = char(1 << 7);
constexpr char kCarry = kTooShort | kTooLong | kTwoConts;
} // namespace utf8check

__attribute__((target("avx2"))) inline __m256i table(char a0, char a1, char a2, char a3, char a4,
                                                     char a5, char a6, char a7, char a8, char a9,
                                                     char a10, char a11, char a12, char a13,
                                                     char a14, char a15)
{
    return _mm256_setr_epi8(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15,
                            a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15);
}

__attribute__((target("avx2"))) inline __m256i highHalves(__m256i x)
{
    return _mm256_and_si256(_mm256_srli_epi16(x, 4), _mm256_set1_epi8(0x0F));
}

// Returns the bytes where the 32 bytes at p are not well-formed UTF-8 after the three bytes
// before them, set to something other than zero.
__attribute__((target("avx2"))) inline __m256i utf8Errors(const unsigned char *p)
{
    using namespace utf8check;
    const __m256i lowHalf = _mm256_set1_epi8(0x0F);
    const __m256i input = load(p);
    const __m256i prev1 = load(p - 1);
    const __m256i byte1High = _mm256_shuffle_epi8(
        table(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
              kTwoConts, kTwoConts, kTwoConts, kTwoConts, kTooShort | kOverlong2, kTooShort,
              kTooShort | kOverlong3 | kSurrogate,
              kTooShort | kTooLarge | kTooLarge1000 | kOverlong4),
        highHalves(prev1));
    constexpr char kLarge = kCarry | kTooLarge | kTooLarge1000;
    const __m256i byte1Low = _mm256_shuffle_epi8(
        table(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
              kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
              kLarge | kSurrogate, kLarge, kLarge),
        _mm256_and_si256(prev1, lowHalf));
    constexpr char kCont = kTooLong | kOverlong2 | kTwoConts;
    const __m256i byte2High = _mm256_shuffle_epi8(
        table(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
              kTooShort, kCont | kOverlong3 | kTooLarge1000 | kOverlong4,
              kCont | kOverlong3 | kTooLarge, kCont | kSurrogate | kTooLarge,
              kCont | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort),
        highHalves(input));
    const __m256i pairs = _mm256_and_si256(_mm256_and_si256(byte1High, byte1Low), byte2High);
    // Only a byte two places after E0..FF or three after F0..FF is a third or fourth one.
    const __m256i third = _mm256_subs_epu8(load(p - 2), _mm256_set1_epi8(char(0xE0 - 0x80)));
    const __m256i fourth = _mm256_subs_epu8(load(p - 3), _mm256_set1_epi8(char(0xF0 - 0x80)));
    const __m256i must =
        _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
    return _mm256_xor_si256(must, pairs);
}

// The units of 32 bytes of UTF-8: one for each byte but a continuation, two for a lead of
// four bytes.
__attribute__((target("avx2"))) inline size_t utf8Units(__m256i x)
{
    const auto continuations =
        unsigned(_mm256_movemask_epi8(_mm256_cmpgt_epi8(_mm256_set1_epi8(-64), x)));
    const __m256i fourBytes = _mm256_set1_epi8(char(0xF0));
    const auto wide =
        unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(x, fourBytes), x)));
    return 32 - size_t(__builtin_popcount(continuations)) + size_t(__builtin_popcount(wide));
}

// Sixty-four bytes a round; a round of ASCII only asks whether the round before left a
// character open, which ASCII cannot continue.
__attribute__((target("avx2"))) size_t utf8BlocksAvx2(const unsigned char *d, size_t i, size_t n,
                                                      size_t room, size_t &units, bool &wellFormed)
{
    // Set where the last three bytes of a round start a character longer than what is left.
    const __m256i lastFit = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                             -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                             -1, char(0xEF), char(0xDF), char(0xBF));
    __m256i errors = _mm256_setzero_si256();
    bool open = false;
    size_t taken = 0;
    for (;;) {
        // A run of ASCII has as many units as bytes.
        const size_t limit = std::min(n, i + (room - taken));
        const size_t start = i;
        while (i + 64 <= limit &&
               _mm256_movemask_epi8(_mm256_or_si256(load(d + i), load(d + i + 32))) == 0)
            i += 64;
        if (i != start) {
            if (open) {
                wellFormed = false;
                return start;
            }
            taken += i - start;
        }
        if (i + 64 > n || taken + 64 > room)
            break;
        const __m256i low = load(d + i);
        const __m256i high = load(d + i + 32);
        errors =
            _mm256_or_si256(errors, _mm256_or_si256(utf8Errors(d + i), utf8Errors(d + i + 32)));
        const __m256i cut = _mm256_subs_epu8(high, lastFit);
        open = !_mm256_testz_si256(cut, cut);
        taken += utf8Units(low) + utf8Units(high);
        i += 64;
    }
    wellFormed = _mm256_testz_si256(errors, errors);
    units += taken;
    return i;
}

// A hundred and twenty-eight bytes a round, stopping at the round that holds a high byte.
__attribute__((target("avx2"))) size_t asciiRunAvx2(const unsigned char *d, size_t n)
{
    size_t i = 0;
    for (; i + 128 <= n; i += 128) {
        const __m256i any = _mm256_or_si256(_mm256_or_si256(load(d + i), load(d + i + 32)),
                                            _mm256_or_si256(load(d + i + 64), load(d + i + 96)));
        if (_mm256_movemask_epi8(any) != 0)
            break;
    }
    return i;
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

size_t asciiRun(const unsigned char *d, size_t n)
{
#if defined(LUMBREX_X86)
    if (kAvx2)
        return asciiRunAvx2(d, n);
#else
    (void)d;
    (void)n;
#endif
    return 0;
}

size_t utf8Blocks(std::string_view bytes, size_t from, size_t room, size_t &units, bool &wellFormed)
{
    wellFormed = true;
#if defined(LUMBREX_X86)
    if (kAvx2 && from >= 3)
        return utf8BlocksAvx2(bytesOf(bytes), from, bytes.size(), room, units, wellFormed);
#else
    (void)room;
    (void)units;
#endif
    return from;
}

} // namespace engine
