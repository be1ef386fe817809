#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// How the bytes of a file become text: its encoding, its line ends, and the pieces of at most
// 65,536 characters (UTF-16 code units) that the extraction modes search.
namespace engine {

// The encoding a file is read in.
enum class Encoding {
    Windows1252, // one byte per character
    Utf8,
    Utf16LE,
    Utf16BE,
};

// Where the lines of a file end.
enum class LineEnds {
    CrLf, // at CR LF only; a lone CR or LF stays inside its line
    Lf,   // at LF, a CR right before it belonging to the line end; a lone CR stays inside
};

// How files are read: each recognised on its own, or all as Windows-1252 with CR LF lines.
enum class ReadRule {
    Automatic,
    Windows1252CrLf,
};

// The number of characters in every piece but the last.
inline constexpr size_t kPieceSize = 65536;

// Returns CR LF when the first LF of a text follows a CR or the text has no LF, else LF.
LineEnds lineEndsOf(std::string_view text);
LineEnds lineEndsOf(std::u16string_view text);

// Returns the position of the first byte of 0x80 or above, or npos.
size_t firstHighByte(std::string_view bytes);

// Returns true when the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// characters above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Returns where each piece of a well-formed UTF-8 text starts, in bytes: every piece holds
// 65,536 UTF-16 units, or one fewer where the next character would be split.
std::vector<size_t> utf8PieceStarts(std::string_view bytes);

// Returns where each piece of a UTF-16 text starts: every 65,536 units, one earlier where a
// surrogate pair would be split.
std::vector<size_t> widePieceStarts(std::u16string_view units);

// Returns the UTF-16 text of UTF-8 bytes; each malformed sequence becomes U+FFFD.
std::u16string decodeUtf8(std::string_view bytes);

// Writes the UTF-16 text of UTF-8 bytes to out, which must hold bytes.size() units, and
// returns the number of units written.
size_t decodeUtf8Into(std::string_view bytes, char16_t *out);

// Returns the units of UTF-16 bytes; an odd last byte becomes U+FFFD.
std::u16string decodeUtf16(std::string_view bytes, bool bigEndian);

} // namespace engine
