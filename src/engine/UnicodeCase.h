#pragma once

#include <string>
#include <string_view>

// The simple lower-case mapping of every UTF-16 code unit, one unit to one unit, so that a
// lowered text keeps its length and every position in it.
namespace engine {

// Returns the simple lower case of one UTF-16 code unit (itself when it has none; surrogates
// stay as they are).
char16_t lowerUnit(char16_t unit);

// Lowers every unit of a text into out, which must hold text.size() units.
void lowerUnitsInto(std::u16string_view text, char16_t *out);

// Returns true when some unit other than c and its ASCII upper case lowers to c.
bool hasNonAsciiUpperCase(char16_t c);

// Returns every unit whose simple lower case is the same as c's, c first: the forms a
// case-blind search for c finds (three at most).
std::u16string unitsLoweringAlike(char16_t c);

} // namespace engine
