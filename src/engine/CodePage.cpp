#include "CodePage.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace engine {

namespace {

// 0x80..0x9F are the only bytes whose character differs from the byte value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::array<char16_t, 256> makeToUnicode()
{
    std::array<char16_t, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = (b >= 0x80 && b < 0xA0) ? kHighControls[b - 0x80] : char16_t(b);
    return table;
}

constexpr std::array<unsigned char, 256> makeLower()
{
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b) {
        int lower = b;
        if (b >= 'A' && b <= 'Z')
            lower = b + 32;
        else if (b >= 0xC0 && b <= 0xDE &&
                 b != 0xD7) // Latin-1 capitals, skipping the multiply sign
            lower = b + 32;
        else if (b == 0x8A || b == 0x8C || b == 0x8E) // Š Œ Ž
            lower = b + 0x10;
        else if (b == 0x9F) // Ÿ
            lower = 0xFF;
        table[b] = static_cast<unsigned char>(lower);
    }
    return table;
}

constexpr auto kToUnicode = makeToUnicode();
constexpr auto kLower = makeLower();

// The UTF-8 bytes of each Windows-1252 byte's character, up to three of them.
struct Utf8Of {
    std::array<char, 3> bytes{};
    unsigned char size = 0;
};

const std::array<Utf8Of, 256> &windows1252Utf8()
{
    static const std::array<Utf8Of, 256> table = [] {
        std::array<Utf8Of, 256> all{};
        for (int b = 0; b < 256; ++b) {
            const char16_t c = toUnicode(static_cast<unsigned char>(b));
            Utf8Of &entry = all[size_t(b)];
            if (c < 0x80) {
                entry.bytes[0] = char(c);
                entry.size = 1;
            } else if (c < 0x800) {
                entry.bytes = {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F)), 0};
                entry.size = 2;
            } else {
                entry.bytes = {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)),
                               char(0x80 | (c & 0x3F))};
                entry.size = 3;
            }
        }
        return all;
    }();
    return table;
}

} // namespace

namespace {

// Rows are short and mostly ASCII: a word of bytes is tested at once and copied whole.
#ifdef __SSE2__
constexpr size_t kWord = 16;

// Returns how many of the word's bytes lead up to the first that is not ASCII (kWord: none is).
size_t asciiLead(const char *word)
{
    const auto high =
        unsigned(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(word))));
    return high == 0 ? kWord : size_t(std::countr_zero(high));
}

// Returns true when the two words at word are ASCII.
bool asciiPair(const char *word)
{
    const auto load = [word](size_t at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(word + at));
    };
    return _mm_movemask_epi8(_mm_or_si128(load(0), load(kWord))) == 0;
}
#else
constexpr size_t kWord = 8;

size_t asciiLead(const char *word)
{
    uint64_t bytes = 0;
    std::memcpy(&bytes, word, kWord);
    const uint64_t high = bytes & 0x8080808080808080ULL;
    if (high == 0)
        return kWord;
    if constexpr (std::endian::native == std::endian::little)
        return size_t(std::countr_zero(high)) / 8;
    return 0;
}

bool asciiPair(const char *word)
{
    uint64_t bytes[2] = {};
    std::memcpy(bytes, word, 2 * kWord);
    return ((bytes[0] | bytes[1]) & 0x8080808080808080ULL) == 0;
}
#endif

} // namespace

char *writeUtf8(std::string_view bytes, char *out)
{
    const std::array<Utf8Of, 256> &table = windows1252Utf8();
    const char *from = bytes.data();
    const char *const end = from + bytes.size();
    while (from < end) {
        const size_t left = size_t(end - from);
        if (left >= 2 * kWord) {
            // Two words at once while they are ASCII, the most of a row.
            std::memcpy(out, from, 2 * kWord);
            if (asciiPair(from)) {
                out += 2 * kWord;
                from += 2 * kWord;
                continue;
            }
        }
        if (left >= kWord) {
            // The space for what is left holds a word: a copy beyond the ASCII run is written
            // over next.
            std::memcpy(out, from, kWord);
            const size_t ascii = asciiLead(from);
            out += ascii;
            from += ascii;
            if (ascii == kWord)
                continue;
        } else if (bytes.size() >= kWord && asciiLead(end - kWord) == kWord) {
            // The last few bytes: the word that ends the text is ASCII, so the bytes before
            // them in it went out one to one, and it goes out again ending where the text does.
            std::memcpy(out + left - kWord, end - kWord, kWord);
            return out + left;
        }
        const Utf8Of &utf8 = table[static_cast<unsigned char>(*from++)];
        std::memcpy(out, utf8.bytes.data(), 3);
        out += utf8.size;
    }
    return out;
}

char16_t toUnicode(unsigned char b)
{
    return kToUnicode[b];
}

int fromUnicode(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == c)
            return 0x80 + i;
    }
    return -1;
}

const unsigned char *lowerTable()
{
    return kLower.data();
}

std::u16string decode(std::string_view bytes)
{
    std::u16string text(bytes.size(), u'\0');
    decodeInto(bytes, text.data());
    return text;
}

void decodeInto(std::string_view bytes, char16_t *out)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n; ++i)
        out[i] = kToUnicode[in[i]];
}

std::optional<std::string> encode(std::u16string_view text)
{
    std::string bytes(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const int b = fromUnicode(text[i]);
        if (b < 0)
            return std::nullopt;
        bytes[i] = static_cast<char>(b);
    }
    return bytes;
}

std::string encodeLossy(std::u16string_view text, char replacement)
{
    std::string bytes(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const int b = fromUnicode(text[i]);
        bytes[i] = b < 0 ? replacement : static_cast<char>(b);
    }
    return bytes;
}

} // namespace engine
