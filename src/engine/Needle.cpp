#include "Needle.h"

#include "CodePage.h"
#include "UnicodeCase.h"

#include <array>

namespace engine {

namespace {

constexpr std::array<unsigned char, 256> makeAsciiLower()
{
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = static_cast<unsigned char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
    return table;
}

constexpr auto kAsciiLower = makeAsciiLower();

} // namespace

Needle Needle::through(std::string_view bytes, const unsigned char *lower)
{
    Needle needle;
    needle.m_bytes.assign(bytes);
    needle.m_never = false;
    needle.m_lower = lower;
    if (lower) {
        for (char &c : needle.m_bytes)
            c = static_cast<char>(lower[static_cast<unsigned char>(c)]);
    }
    needle.m_filter = byteFilterFor(needle.m_bytes, needle.m_lower);
    return needle;
}

Needle Needle::fromBytes(std::string_view bytes, bool matchCase)
{
    return through(bytes, matchCase ? nullptr : engine::lowerTable());
}

Needle Needle::fromUtf8(std::string_view bytes, bool matchCase)
{
    return through(bytes, matchCase ? nullptr : kAsciiLower.data());
}

WideNeedle WideNeedle::fromText(std::u16string_view text, bool matchCase)
{
    WideNeedle needle;
    needle.m_units.assign(text);
    needle.m_matchCase = matchCase;
    needle.m_never = false;
    if (!matchCase)
        lowerUnitsInto(text, needle.m_units.data());
    return needle;
}

} // namespace engine
