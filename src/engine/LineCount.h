#pragma once

#include "TextFormat.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Counting a file's lines: a row's line number is 1 plus the line ends that begin before the
// row's first character, counted across the file's pieces.
namespace engine {

// Returns how many line ends begin in a text: its LFs (LF lines), or its CRs with an LF right
// after them inside the text (CR LF lines).
uint64_t countLineEnds(std::string_view text, LineEnds ends);
uint64_t countLineEnds(std::u16string_view text, LineEnds ends);

// Numbers the positions of one piece by the lines of its file. A move between two positions
// counts only the text between them, so positions taken roughly in order cost about one pass
// over the piece, whichever way the moves go.
template <typename Char> class LineNumbering {
public:
    // Starts at the piece's first character, which lies on line first of the file.
    LineNumbering(std::basic_string_view<Char> piece, LineEnds ends, uint64_t first)
        : m_piece(piece), m_ends(ends), m_line(first)
    {
    }

    // Returns the number of the line that holds the character at position, a line start (or
    // the piece's start); a position between a CR and its LF would count that line end twice.
    uint64_t at(size_t position)
    {
        if (position >= m_at)
            m_line += count(m_at, position);
        else
            m_line -= count(position, m_at);
        m_at = position;
        return m_line;
    }
    // Returns the number of the line of size characters at position, which holds no line end
    // of its own: the count goes on from its end, so lines taken in order cost only their
    // line ends.
    uint64_t atLine(size_t position, size_t size)
    {
        const uint64_t line = at(position);
        m_at = position + size;
        return line;
    }

    // Returns the number of the line that holds the next piece's first character;
    // nextStartsWithLf tells whether that character is an LF, which a CR at the end of this
    // piece makes into a line end.
    uint64_t next(bool nextStartsWithLf)
    {
        const uint64_t last = at(m_piece.size());
        const bool cut = m_ends == LineEnds::CrLf && nextStartsWithLf && !m_piece.empty() &&
                         m_piece.back() == Char('\r');
        return last + (cut ? 1 : 0);
    }

private:
    // Counts the line ends in [from, to); most gaps between rows are a line end or two, too
    // short for the vectors.
    uint64_t count(size_t from, size_t to) const
    {
        if (to - from > 32)
            return countLineEnds(m_piece.substr(from, to - from), m_ends);
        uint64_t ends = 0;
        const Char *d = m_piece.data();
        for (size_t i = from; i < to; ++i) {
            if (m_ends == LineEnds::Lf ? d[i] == Char('\n')
                                       : d[i] == Char('\r') && i + 1 < to && d[i + 1] == Char('\n'))
                ++ends;
        }
        return ends;
    }

    std::basic_string_view<Char> m_piece;
    LineEnds m_ends;
    size_t m_at = 0;
    uint64_t m_line;
};

} // namespace engine
