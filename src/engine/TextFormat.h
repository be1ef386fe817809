#pragma once

#include <cstddef>
#include <optional>
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

// The most characters (UTF-16 units) a piece holds.
inline constexpr size_t kPieceSize = 65536;

// Returns CR LF when the first LF of a text follows a CR or the text has no LF, else LF.
LineEnds lineEndsOf(std::string_view text);
LineEnds lineEndsOf(std::u16string_view text);

// Returns the position of the first byte of 0x80 or above, or npos.
size_t firstHighByte(std::string_view bytes);

// Sets starts to where each piece of UTF-8 text starts, in bytes, and returns true; returns
// false as soon as the bytes turn out not to be well-formed UTF-8 (an overlong form, a
// surrogate, a character above U+10FFFF, a cut or stray sequence). Pieces are cut as
// widePieceStarts() says, counting the UTF-16 units the bytes decode to.
bool utf8PieceStarts(std::string_view bytes, LineEnds lineEnds, std::vector<size_t> &starts);

// Returns how many of the n bytes from d on are ASCII, counted in whole blocks of 128 bytes:
// the first high byte lies at or after it. Counts none where the processor lacks the vectors
// for it.
size_t asciiRun(const unsigned char *d, size_t n);

// Walks whole blocks of 64 bytes of UTF-8 from a character's start at from (three bytes or
// more into the bytes), as long as they are well-formed and their UTF-16 units fit in room;
// adds those units to units and returns where the walk stopped, which may be inside a
// character. Sets wellFormed to false when a block it walked is not well-formed. Walks none
// where the processor lacks the vectors for it.
size_t utf8Blocks(std::string_view bytes, size_t from, size_t room, size_t &units,
                  bool &wellFormed);

// Returns where each piece of one-byte-a-character text starts: a piece that cannot hold the
// rest of the text ends right after the last line end among its 65,536 characters; one
// without any line end holds 65,536 characters, one fewer where that would part a CR from
// its LF.
std::vector<size_t> bytePieceStarts(std::string_view bytes, LineEnds lineEnds);

// Returns where each piece of a UTF-16 text starts, cut as bytePieceStarts() says; a piece
// without any line end is also one unit short where it would split a surrogate pair.
std::vector<size_t> widePieceStarts(std::u16string_view units, LineEnds lineEnds);

// How many bytes of a text are of 0x80 or above, and at how many places a byte that can start a
// UTF-8 character of several bytes (0xC2..0xF4) is followed by one that can continue it.
struct HighByteCounts {
    size_t high = 0;
    size_t starts = 0;
};

// Returns the counts of high bytes and of places where a UTF-8 character may start.
HighByteCounts countHighBytes(std::string_view bytes);

// Returns true when some place among [from, to) of bytes, each read with the byte after it
// where there is one, is a byte of 0xC0 or above followed by one that can continue a UTF-8
// character: false tells that no character of several bytes may start there.
bool anyUtf8Start(std::string_view bytes, size_t from, size_t to);

// Returns true when the well-formed characters of two to four bytes outnumber the ill-formed
// subsequences (each maximal one counted once) of bytes that are not all well-formed UTF-8.
bool mostlyUtf8(std::string_view bytes);

// Returns the UTF-16 text of UTF-8 bytes; each maximal ill-formed subsequence (the longest
// start of a well-formed sequence, else one byte) becomes one U+FFFD.
std::u16string decodeUtf8(std::string_view bytes);

// Writes the UTF-16 text of UTF-8 bytes to out, as decodeUtf8() makes it; out must hold
// bytes.size() units. Returns the number of units written.
size_t decodeUtf8Into(std::string_view bytes, char16_t *out);

// Returns the UTF-8 bytes of UTF-16 text, or nothing when it holds a lone surrogate.
std::optional<std::string> encodeUtf8(std::u16string_view text);

// Writes the units of UTF-16 bytes to out, which must hold (bytes.size() + 1) / 2 units; an
// odd last byte becomes U+FFFD. Returns the number of units written.
size_t decodeUtf16Into(std::string_view bytes, bool bigEndian, char16_t *out);

} // namespace engine
