#include "Needle.h"

#include "CaseBlindUtf8.h"
#include "CodePage.h"
#include "TextFormat.h"
#include "UnicodeCase.h"

#include <algorithm>
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

// Returns true when ASCII's lower-case table finds every form of a lowered unit: an ASCII
// character no other character lowers to, or one that is the only form of itself.
bool foldsWithinAscii(char16_t lowered)
{
    if (lowered < 0x80)
        return !hasNonAsciiUpperCase(lowered);
    return unitsLoweringAlike(lowered).size() == 1;
}

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

std::optional<Needle> Needle::forUtf8(std::u16string_view text, bool matchCase)
{
    std::u16string sought(text);
    if (!matchCase)
        lowerUnitsInto(text, sought.data());
    const std::optional<std::string> bytes = encodeUtf8(sought);
    if (!bytes)
        return std::nullopt;
    if (matchCase)
        return through(*bytes, nullptr);
    Needle needle = through(*bytes, kAsciiLower.data());
    if (!std::all_of(sought.begin(), sought.end(), foldsWithinAscii)) {
        needle.m_forms = std::make_shared<const CaseBlindUtf8>(sought);
        needle.m_filter = needle.m_forms->filter();
    }
    return needle;
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
