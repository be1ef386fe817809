#include "TextFormat.h"

#include "Search.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>

namespace engine {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// What one sequence of UTF-8 bytes starting with a byte of 0x80 or above is.
struct Sequence {
    size_t length; // its bytes; when ill-formed, those of its maximal ill-formed part
    size_t units;  // the UTF-16 units it decodes to, 0 when it is ill-formed
};

// Reads the sequence at d[i] (a byte of 0x80 or above) by the table of well-formed UTF-8:
// the second byte's range depends on the lead (no overlong form, no surrogate, nothing above
// U+10FFFF), the others are 0x80..0xBF. An ill-formed sequence ends at the first byte that
// cannot continue it, so it is as long as the well-formed start it has, and at least a byte.
Sequence sequenceAt(const unsigned char *d, size_t i, size_t n)
{
    const unsigned char b = d[i];
    size_t follow = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        follow = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
        follow = 2;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        follow = 3;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {1, 0};
    }
    for (size_t k = 1; k <= follow; ++k) {
        if (i + k >= n || d[i + k] < low || d[i + k] > high)
            return {k, 0};
        low = 0x80;
        high = 0xBF;
    }
    return {follow + 1, follow == 3 ? size_t(2) : size_t(1)};
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

// Returns how many of the n bytes from d on come before the first of 0x80 or above.
size_t asciiPrefix(const unsigned char *d, size_t n)
{
    size_t i = asciiRun(d, n);
    for (; i + 64 <= n; i += 64) {
        if (!asciiBlock64(d + i))
            break;
    }
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const int mask =
            _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(d + i)));
        if (mask != 0)
            return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    for (; i < n; ++i) {
        if (d[i] >= 0x80)
            return i;
    }
    return n;
}

template <typename Char> LineEnds lineEndsIn(std::basic_string_view<Char> text)
{
    const size_t lf = text.find(Char('\n'));
    if (lf == std::basic_string_view<Char>::npos || (lf > 0 && text[lf - 1] == Char('\r')))
        return LineEnds::CrLf;
    return LineEnds::Lf;
}

bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

size_t lastUnit(const char *d, size_t floor, size_t high, char c)
{
    const void *at = memrchr(d + floor, c, high - floor);
    return at ? size_t(static_cast<const char *>(at) - d) : std::string_view::npos;
}

size_t lastUnit(const char16_t *d, size_t floor, size_t high, char16_t c)
{
    return findUnitBackwards(d, floor, high, c);
}

// Returns where the piece starting at d[start] ends when d[limit] is the first character that
// does not fit in it: right after its last line end, else at limit, or one before it where a
// CR and its LF, or the halves of a surrogate pair, would be parted.
template <typename Char> size_t pieceEnd(const Char *d, size_t start, size_t limit, LineEnds ends)
{
    size_t high = limit;
    while (high > start) {
        const size_t lf = lastUnit(d, start, high, Char('\n'));
        if (lf == std::string_view::npos)
            break;
        // In CR LF text an LF counts only with its CR, in the same piece.
        if (ends == LineEnds::Lf || (lf > start && d[lf - 1] == Char('\r')))
            return lf + 1;
        high = lf;
    }
    if (d[limit - 1] == Char('\r') && d[limit] == Char('\n'))
        return limit - 1;
    if constexpr (sizeof(Char) == 2) {
        if (d[limit - 1] >= 0xD800 && d[limit - 1] <= 0xDBFF && d[limit] >= 0xDC00 &&
            d[limit] <= 0xDFFF)
            return limit - 1;
    }
    return limit;
}

// Cuts text of one unit a character, or UTF-16 units, into pieces.
template <typename Char>
std::vector<size_t> pieceStartsIn(std::basic_string_view<Char> text, LineEnds ends)
{
    std::vector<size_t> starts{0};
    while (text.size() - starts.back() > kPieceSize)
        starts.push_back(pieceEnd(text.data(), starts.back(), starts.back() + kPieceSize, ends));
    return starts;
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
    const size_t at =
        asciiPrefix(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    return at == bytes.size() ? std::string_view::npos : at;
}

bool utf8PieceStarts(std::string_view bytes, LineEnds lineEnds, std::vector<size_t> &starts)
{
    const auto *d = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t n = bytes.size();
    starts.assign(1, 0);
    size_t units = 0; // in the current piece
    // Ends the current piece before d[i], which does not fit in it; what lies between its end
    // and d[i] already counts for the next piece.
    const auto cutBefore = [&](size_t i) {
        const size_t end = pieceEnd(bytes.data(), starts.back(), i, lineEnds);
        starts.push_back(end);
        units = 0;
        for (size_t k = end; k < i; ++k)
            units += isContinuation(d[k]) ? 0 : d[k] >= 0xF0 ? 2 : 1;
    };
    size_t i = 0;
    while (i < n) {
        if (units == kPieceSize)
            cutBefore(i);
        // Whole blocks are walked as far as they fit in the piece, and the walk goes on from
        // the start of a character they ended inside.
        bool wellFormed = true;
        const size_t walked = utf8Blocks(bytes, i, kPieceSize - units, units, wellFormed);
        if (!wellFormed)
            return false;
        if (walked != i) {
            i = walked;
            for (size_t back = 1; back <= 3; ++back) {
                const unsigned char b = d[i - back];
                if (b < 0xC0) {
                    if (b < 0x80)
                        break;
                    continue;
                }
                if ((b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2) > back) {
                    i -= back;
                    units -= b >= 0xF0 ? 2 : 1;
                }
                break;
            }
            continue;
        }
        // Most text is ASCII: its runs are taken whole, as far as the piece has room.
        const size_t room = std::min(n - i, kPieceSize - units);
        const size_t ascii = asciiPrefix(d + i, room);
        i += ascii;
        units += ascii;
        if (ascii == room)
            continue;
        const Sequence sequence = sequenceAt(d, i, n);
        if (sequence.units == 0)
            return false;
        // A character of two units that does not fit leaves the piece one unit short.
        if (units + sequence.units > kPieceSize)
            cutBefore(i);
        i += sequence.length;
        units += sequence.units;
    }
    return true;
}

std::vector<size_t> bytePieceStarts(std::string_view bytes, LineEnds lineEnds)
{
    return pieceStartsIn(bytes, lineEnds);
}

std::vector<size_t> widePieceStarts(std::u16string_view units, LineEnds lineEnds)
{
    return pieceStartsIn(units, lineEnds);
}

bool mostlyUtf8(std::string_view bytes)
{
    // Text that is not well-formed UTF-8 holds an ill-formed subsequence, so without any place
    // where a character of several bytes may start (Windows-1252 text, mostly) it is no UTF-8.
    // Each well-formed character starts at such a place, and the high bytes outside them are
    // ill-formed subsequences of three bytes at most: where high bytes are many and those
    // places few, the characters cannot outnumber the subsequences.
    const HighByteCounts counts = countHighBytes(bytes);
    if (7 * counts.starts <= counts.high)
        return false;
    const auto *d = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t n = bytes.size();
    size_t wellFormed = 0;
    size_t illFormed = 0;
    size_t i = 0;
    while (i < n) {
        i += asciiPrefix(d + i, n - i);
        if (i == n)
            break;
        const Sequence sequence = sequenceAt(d, i, n);
        i += sequence.length;
        if (sequence.units > 0) {
            ++wellFormed;
        } else if (++illFormed >= wellFormed + (n - i) / 2) {
            // Each character still to come takes two bytes at least: they cannot catch up.
            return false;
        }
    }
    return wellFormed > illFormed;
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
        const Sequence sequence = sequenceAt(d, i, n);
        const size_t length = sequence.length;
        if (sequence.units == 0) {
            *out++ = kReplacement;
            i += length;
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

std::optional<std::string> encodeUtf8(std::u16string_view text)
{
    std::string bytes;
    bytes.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return std::nullopt;
        }
        if (c < 0x80) {
            bytes += char(c);
        } else if (c < 0x800) {
            bytes += char(0xC0 | (c >> 6));
            bytes += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += char(0xE0 | (c >> 12));
            bytes += char(0x80 | ((c >> 6) & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        } else {
            bytes += char(0xF0 | (c >> 18));
            bytes += char(0x80 | ((c >> 12) & 0x3F));
            bytes += char(0x80 | ((c >> 6) & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        }
    }
    return bytes;
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
