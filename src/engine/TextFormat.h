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

// Sets starts to where each piece of UTF-8 text starts, in bytes (every piece holds 65,536
// UTF-16 units, or one fewer where the next character would be split), and returns true;
// returns false as soon as the bytes turn out not to be well-formed UTF-8 (an overlong form,
// a surrogate, a character above U+10FFFF, a cut or stray sequence).
bool utf8PieceStarts(std::string_view bytes, std::vector<size_t> &starts);

// Returns where each piece of a UTF-16 text starts: every 65,536 units, one earlier where a
// surrogate pair would be split.
std::vector<size_t> widePieceStarts(std::u16string_view units);

// Returns the UTF-16 text of UTF-8 bytes; each malformed sequence becomes U+FFFD.
std::u16string decodeUtf8(std::string_view bytes);

// Writes the UTF-16 text of UTF-8 bytes to out, which must hold bytes.size() units, and
// returns the number of units written.
size_t decodeUtf8Into(std::string_view bytes, char16_t *out);

// Writes the units of UTF-16 bytes to out, which must hold (bytes.size() + 1) / 2 units; an
// odd last byte becomes U+FFFD. Returns the number of units written.
size_t decodeUtf16Into(std::string_view bytes, bool bigEndian, char16_t *out);

} // namespace engine
