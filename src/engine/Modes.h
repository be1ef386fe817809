#pragma once

#include "BlockList.h"
#include "Needle.h"
#include "Pattern.h"
#include "TextFormat.h"

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

// The fourteen extraction routines. Each searches one piece: the piece is cut into lines at
// its line ends (CR LF, or LF with a CR before it — see LineEnds; a piece ending in a line end
// has a final empty line, an empty piece has no lines), and each line holding the needle
// yields one block. Neighbouring lines come only from the same piece. Every routine clears
// out first.
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

// Runs the routine of a mode on one byte piece (Windows-1252 or UTF-8); x and y are only
// used by the X/Y mode, where a count of 0 or less adds nothing.
void extract(Mode mode, std::string_view piece, const Needle &needle, int x, int y, BlockList &out,
             LineEnds lineEnds = LineEnds::CrLf);

// Runs the routine of a mode on one UTF-16 piece.
void extract(Mode mode, std::u16string_view piece, const WideNeedle &needle, int x, int y,
             WideBlockList &out, LineEnds lineEnds);

// Runs the routine of a mode on one byte piece (Windows-1252, or UTF-8 when the search has
// a UTF-8 required text), a line matching when the pattern matches in it; returns true when
// the pattern gave up on some line (which then does not match). A set stop flag, checked
// before each line is matched, ends the search early.
bool extract(Mode mode, std::string_view piece, const PatternSearch &search, int x, int y,
             BlockList &out, LineEnds lineEnds, Encoding encoding,
             const std::atomic<bool> *stop = nullptr);

// Runs the routine of a mode on one UTF-16 piece with a pattern, as above.
bool extract(Mode mode, std::u16string_view piece, const PatternSearch &search, int x, int y,
             WideBlockList &out, LineEnds lineEnds, const std::atomic<bool> *stop = nullptr);

} // namespace engine
