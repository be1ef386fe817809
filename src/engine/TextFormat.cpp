#include "TextFormat.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>

namespace engine {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// Returns the length of the well-formed sequence starting at d[i] (lead byte of 0x80 or above),
// or 0 when it is malformed. units receives the number of UTF-16 units it decodes to.
size_t sequenceLength(const unsigned char *d, size_t i, size_t n, size_t &units)
{
    const unsigned char b = d[i];
    units = 1;
    if (b >= 0xC2 && b <= 0xDF)
        return i + 1 < n && isContinuation(d[i + 1]) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        if (i + 2 >= n || !isContinuation(d[i + 1]) || !isContinuation(d[i + 2]))
            return 0;
        if (b == 0xE0 && d[i + 1] < 0xA0) // overlong
            return 0;
        if (b == 0xED && d[i + 1] >= 0xA0) // surrogate
            return 0;
        return 3;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (i + 3 >= n || !isContinuation(d[i + 1]) || !isContinuation(d[i + 2]) ||
            !isContinuation(d[i + 3]))
            return 0;
        if (b == 0xF0 && d[i + 1] < 0x90) // overlong
            return 0;
        if (b == 0xF4 && d[i + 1] >= 0x90) // above U+10FFFF
            return 0;
        units = 2;
        return 4;
    }
    return 0;
}

// Returns true when the sixteen bytes at p are all below 0x80.
bool asciiBlock(const unsigned char *p)
{
#if defined(__SSE2__)
    return _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))) == 0;
#else
    for (int k = 0; k < 16; ++k) {
        if (p[k] >= 0x80)
            return false;
    }
    return true;
#endif
}

// Returns true when the 64 bytes at p are all below 0x80.
bool asciiBlock64(const unsigned char *p)
{
#if defined(__SSE2__)
    const auto load = [&](int k) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
    };
    const __m128i any =
        _mm_or_si128(_mm_or_si128(load(0), load(1)), _mm_or_si128(load(2), load(3)));
    return _mm_movemask_epi8(any) == 0;
#else
    return asciiBlock(p) && asciiBlock(p + 16) && asciiBlock(p + 32) && asciiBlock(p + 48);
#endif
}

template <typename Char> LineEnds lineEndsIn(std::basic_string_view<Char> text)
{
    const size_t lf = text.find(Char('\n'));
    if (lf == std::basic_string_view<Char>::npos || (lf > 0 && text[lf - 1] == Char('\r')))
        return LineEnds::CrLf;
    return LineEnds::Lf;
}

} // namespace

LineEnds lineEndsOf(std::string_view text)
{
    if (text.empty())
        return LineEnds::CrLf;
    const void *lf = std::memchr(text.data(), '\n', text.size());
    if (!lf)
        return LineEnds::CrLf;
    const size_t at = static_cast<size_t>(static_cast<const char *>(lf) - text.data());
    return at > 0 && text[at - 1] == '\r' ? LineEnds::CrLf : LineEnds::Lf;
}

LineEnds lineEndsOf(std::u16string_view text)
{
    return lineEndsIn(text);
}

size_t firstHighByte(std::string_view bytes)
{
    const auto *d = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        if (!asciiBlock(d + i))
            break;
    }
    for (; i < n; ++i) {
        if (d[i] >= 0x80)
            return i;
    }
    return std::string_view::npos;
}

bool utf8PieceStarts(std::string_view bytes, std::vector<size_t> &starts)
{
    const auto *d = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t n = bytes.size();
    starts.assign(1, 0);
    size_t units = 0; // in the current piece
    size_t i = 0;
    while (i < n) {
        if (units == kPieceSize) {
            starts.push_back(i);
            units = 0;
        }
        // Most text is ASCII: 64 or 16 bytes at a time where none is of 0x80 or above.
        if (units + 64 <= kPieceSize && i + 64 <= n && asciiBlock64(d + i)) {
            i += 64;
            units += 64;
            continue;
        }
        if (units + 16 <= kPieceSize && i + 16 <= n && asciiBlock(d + i)) {
            i += 16;
            units += 16;
            continue;
        }
        size_t width = 1;
        size_t length = 1;
        if (d[i] >= 0x80) {
            length = sequenceLength(d, i, n, width);
            if (length == 0)
                return false;
        }
        if (units + width > kPieceSize) {
            starts.push_back(i);
            units = 0;
        }
        i += length;
        units += width;
    }
    return true;
}

std::vector<size_t> widePieceStarts(std::u16string_view units)
{
    std::vector<size_t> starts{0};
    size_t at = 0;
    while (units.size() - at > kPieceSize) {
        size_t end = at + kPieceSize;
        // Ending on a high surrogate would split its pair.
        if (units[end - 1] >= 0xD800 && units[end - 1] <= 0xDBFF && units[end] >= 0xDC00 &&
            units[end] <= 0xDFFF)
            --end;
        starts.push_back(end);
        at = end;
    }
    return starts;
}

std::u16string decodeUtf8(std::string_view bytes)
{
    std::u16string text(bytes.size(), u'\0');
    text.resize(decodeUtf8Into(bytes, text.data()));
    return text;
}

size_t decodeUtf8Into(std::string_view bytes, char16_t *start)
{
    const auto *d = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t n = bytes.size();
    char16_t *out = start;
    size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        if (i + 16 <= n && asciiBlock(d + i)) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i));
            const __m128i zero = _mm_setzero_si128();
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(chunk, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(chunk, zero));
            out += 16;
            i += 16;
            continue;
        }
#endif
        const unsigned char b = d[i];
        if (b < 0x80) {
            *out++ = b;
            ++i;
            continue;
        }
        size_t width = 0;
        const size_t length = sequenceLength(d, i, n, width);
        if (length == 0) {
            // One replacement for the lead byte and the continuation bytes that follow it.
            *out++ = kReplacement;
            ++i;
            for (int k = 0; k < 3 && i < n && isContinuation(d[i]) && b >= 0xC0; ++k)
                ++i;
            continue;
        }
        char32_t c = 0;
        if (length == 2)
            c = (b & 0x1F) << 6 | (d[i + 1] & 0x3F);
        else if (length == 3)
            c = (b & 0x0F) << 12 | (d[i + 1] & 0x3F) << 6 | (d[i + 2] & 0x3F);
        else
            c = (b & 0x07) << 18 | (d[i + 1] & 0x3F) << 12 | (d[i + 2] & 0x3F) << 6 |
                (d[i + 3] & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            *out++ = char16_t(0xD800 + (c >> 10));
            *out++ = char16_t(0xDC00 + (c & 0x3FF));
        } else {
            *out++ = char16_t(c);
        }
        i += length;
    }
    return static_cast<size_t>(out - start);
}

size_t decodeUtf16Into(std::string_view bytes, bool bigEndian, char16_t *out)
{
    const auto *d = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t pairs = bytes.size() / 2;
    for (size_t i = 0; i < pairs; ++i) {
        const unsigned char first = d[2 * i];
        const unsigned char second = d[2 * i + 1];
        out[i] = bigEndian ? char16_t(first << 8 | second) : char16_t(second << 8 | first);
    }
    if (bytes.size() % 2 != 0)
        out[pairs] = kReplacement;
    return pairs + bytes.size() % 2;
}

} // namespace engine
