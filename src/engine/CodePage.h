#pragma once

#include <optional>
#include <string>
#include <string_view>

// The single-byte code page of input files: Windows-1252, with its five undefined bytes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) mapped to the control characters of the same value, so that
// every byte is exactly one character and back.
namespace engine {

// Returns the character of one byte.
char16_t toUnicode(unsigned char b);

// Returns the byte of one character, or -1 when the code page has no byte for it.
int fromUnicode(char16_t c);

// Returns the 256-entry table of the bytes of the simple lower case of each byte's character
// (the byte itself when it has none).
const unsigned char *lowerTable();

// Returns the text of a run of bytes, one character per byte.
std::u16string decode(std::string_view bytes);

// Writes the characters of bytes to out, which must hold bytes.size() characters.
void decodeInto(std::string_view bytes, char16_t *out);

// Writes the UTF-8 of the characters of bytes to out, which has room for three bytes each;
// returns the end of what was written.
char *writeUtf8(std::string_view bytes, char *out);
// Returns the bytes of a text, or nothing when one of its characters has no byte.
std::optional<std::string> encode(std::u16string_view text);

// Returns the bytes of a text, writing replacement for each character that has no byte.
std::string encodeLossy(std::u16string_view text, char replacement = '?');

} // namespace engine
