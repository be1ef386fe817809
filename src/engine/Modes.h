#pragma once

#include "BlockList.h"
#include "Needle.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The fourteen extraction routines. Each searches one piece: the piece is cut into lines at
// every CR LF pair (a lone CR or LF stays inside its line, a piece ending in CR LF has a final
// empty line, an empty piece has no lines), and each line holding the needle yields one block.
// Neighbouring lines come only from the same piece. Every routine clears out first.
namespace engine {

// One extraction mode per routine.
enum class Mode {
    ExtractSearchWordLine,
    ExtractSearchWordLineUp1,
    ExtractSearchWordLineUp2,
    ExtractSearchWordLineUp3,
    ExtractSearchWordLineDown1,
    ExtractSearchWordLineDown2,
    ExtractSearchWordLineDown3,
    ExtractSearchWordLineUp1Down1,
    ExtractSearchWordLineUp3Down1,
    ExtractSearchWordLineUpXDownY,
    Extract1stLineBelow,
    Extract2ndLineBelow,
    ExtractSearchWordLineUpAll,
    ExtractSearchWordLineDownAll,
};

// Returns the routine name of a mode, which is also the procedure of its error tag.
std::string_view modeRoutineName(Mode mode);

// Returns the mode whose caption equals the UTF-8 text exactly, or nothing.
std::optional<Mode> modeForCaption(std::string_view utf8Caption);

// Returns the caption of a mode as UTF-8.
std::string_view modeCaption(Mode mode);

// Runs the routine of a mode on one piece; x and y are only used by the X/Y mode.
void extract(Mode mode, std::string_view piece, const Needle &needle, int x, int y, BlockList &out);

// Finds each matching line alone.
void ExtractSearchWordLine(std::string_view piece, const Needle &needle, BlockList &out);
// Finds each matching line with 1 line above.
void ExtractSearchWordLineUp1(std::string_view piece, const Needle &needle, BlockList &out);
// Finds each matching line with 2 lines above.
void ExtractSearchWordLineUp2(std::string_view piece, const Needle &needle, BlockList &out);
// Finds each matching line with 3 lines above.
void ExtractSearchWordLineUp3(std::string_view piece, const Needle &needle, BlockList &out);
// Finds each matching line with 1 line below.
void ExtractSearchWordLineDown1(std::string_view piece, const Needle &needle, BlockList &out);
// Finds each matching line with 2 lines below.
void ExtractSearchWordLineDown2(std::string_view piece, const Needle &needle, BlockList &out);
// Finds each matching line with 3 lines below.
void ExtractSearchWordLineDown3(std::string_view piece, const Needle &needle, BlockList &out);
// Finds each matching line with 1 line above and 1 below.
void ExtractSearchWordLineUp1Down1(std::string_view piece, const Needle &needle, BlockList &out);
// Finds each matching line with 3 lines above and 1 below.
void ExtractSearchWordLineUp3Down1(std::string_view piece, const Needle &needle, BlockList &out);
// Finds each matching line with x lines above and y below; a count of 0 or less adds nothing.
void ExtractSearchWordLineUpXDownY(std::string_view piece, int x, int y, const Needle &needle,
                                   BlockList &out);
// Gives, for each matching line, the line right below it (an empty block when there is none).
void Extract1stLineBelow(std::string_view piece, const Needle &needle, BlockList &out);
// Gives, for each matching line, the second line below it (an empty block when there is none).
void Extract2ndLineBelow(std::string_view piece, const Needle &needle, BlockList &out);
// Gives every line from the top of the piece to the last matching line, one block per line.
void ExtractSearchWordLineUpAll(std::string_view piece, const Needle &needle, BlockList &out);
// Gives every line from the first matching line to the end of the piece, one block per line.
void ExtractSearchWordLineDownAll(std::string_view piece, const Needle &needle, BlockList &out);

// Returns true when one line (holding no CR LF) contains the needle.
bool SearchWordInLine(std::string_view line, const Needle &needle);

// Returns line k followed by CR LF, or "" when k is outside 0..last or the line is empty.
std::string LineWithBreak(const std::vector<std::string_view> &lines, long k, long last);

} // namespace engine
