#pragma once

#include "LineCount.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Bytes from std::malloc, given back with std::free: memory that may change hands (rows a
// worker copied become the results list's own).
struct FreeBytes {
    void operator()(char *bytes) const { std::free(bytes); }
};
using OwnedBytes = std::unique_ptr<char[], FreeBytes>;

// The blocks that one extraction routine found in one piece. Lines are views into the piece,
// so the list is only valid while the piece's text lives. Empty lines are never stored: an
// empty block has no lines. Each block knows the line that matched, which it need not hold;
// once numbered, each line and each matching line also has its line number in the file.
// Reuse one list across pieces; clear() keeps the capacity.
template <typename Char> class BasicBlockList {
public:
    using Line = std::basic_string_view<Char>;

    // Returns the number of blocks.
    size_t size() const { return m_starts.size(); }
    // Returns true when there are no blocks.
    bool empty() const { return m_starts.empty(); }
    // Removes every block, keeping the memory for the next piece.
    void clear()
    {
        m_lines.clear();
        m_starts.clear();
        m_matches.clear();
        m_numbers.clear();
        m_matchNumbers.clear();
    }

    // Returns the lines of block i, top to bottom, each without its line end.
    std::span<const Line> block(size_t i) const
    {
        const size_t end = i + 1 < m_starts.size() ? m_starts[i + 1] : m_lines.size();
        return {m_lines.data() + m_starts[i], end - m_starts[i]};
    }

    // Returns block i as text: each line followed by CR LF (empty for an empty block).
    std::basic_string<Char> text(size_t i) const
    {
        std::basic_string<Char> result;
        for (const Line line : block(i)) {
            result += line;
            result += Char('\r');
            result += Char('\n');
        }
        return result;
    }

    // Returns every line of every block in order, the blocks laid end to end.
    const std::vector<Line> &lines() const { return m_lines; }

    // Starts a new, empty block at the end for the line that starts at match.
    void beginBlock(const Char *match)
    {
        m_starts.push_back(m_lines.size());
        m_matches.push_back(match);
    }
    // Appends a line to the last block; an empty line is left out.
    void addLine(Line line)
    {
        if (!line.empty())
            m_lines.push_back(line);
    }
    // Returns the number of lines stored in all blocks so far.
    size_t lineCount() const { return m_lines.size(); }
    // Returns the number of characters in every stored line together.
    size_t textSize() const
    {
        size_t size = 0;
        for (const Line line : m_lines)
            size += line.size();
        return size;
    }
    // Copies every stored line to out, one after another, and points the lines at their copies
    // there, so the piece's text may go; returns the end of what was written.
    Char *moveLinesTo(Char *out)
    {
        for (Line &line : m_lines) {
            std::copy(line.begin(), line.end(), out);
            line = Line(out, line.size());
            out += line.size();
        }
        return out;
    }
    // Gives every stored line, and each block's matching line, its number in the file, from
    // numbering over the piece the lines point into; lines and matches are each taken in
    // order, so the moves between them stay short.
    void numberLines(LineNumbering<Char> &numbering, const Char *piece)
    {
        m_numbers.resize(m_lines.size());
        m_matchNumbers.resize(m_matches.size());
        for (size_t i = 0; i < m_lines.size(); ++i)
            m_numbers[i] = numbering.at(size_t(m_lines[i].data() - piece));
        for (size_t b = 0; b < m_matches.size(); ++b)
            m_matchNumbers[b] = numbering.at(size_t(m_matches[b] - piece));
    }
    // Returns the line numbers of every line, in the order of lines(); empty until numbered.
    const std::vector<uint64_t> &lineNumbers() const { return m_numbers; }
    // Returns the line numbers of the lines of block i; empty until numbered.
    std::span<const uint64_t> blockNumbers(size_t i) const
    {
        if (m_numbers.empty())
            return {};
        const size_t end = i + 1 < m_starts.size() ? m_starts[i + 1] : m_lines.size();
        return {m_numbers.data() + m_starts[i], end - m_starts[i]};
    }
    // Returns the line number of the line that matched for block i; 0 until numbered.
    uint64_t matchNumber(size_t i) const
    {
        return i < m_matchNumbers.size() ? m_matchNumbers[i] : 0;
    }
    // Returns the memory the list takes beside the text its lines point into.
    size_t heldBytes() const
    {
        return m_lines.capacity() * sizeof(Line) + m_starts.capacity() * sizeof(size_t) +
               m_matches.capacity() * sizeof(const Char *) +
               (m_numbers.capacity() + m_matchNumbers.capacity()) * sizeof(uint64_t);
    }
    // Reverses the stored lines from index first to the end, for lines collected bottom-up.
    void reverseFrom(size_t first)
    {
        std::reverse(m_lines.begin() + static_cast<std::ptrdiff_t>(first), m_lines.end());
    }

private:
    std::vector<Line> m_lines;
    std::vector<size_t> m_starts;
    std::vector<const Char *> m_matches; // where each block's matching line starts
    std::vector<uint64_t> m_numbers;
    std::vector<uint64_t> m_matchNumbers;
};

// Blocks of a byte piece (Windows-1252 or UTF-8).
using BlockList = BasicBlockList<char>;
// Blocks of a UTF-16 piece.
using WideBlockList = BasicBlockList<char16_t>;

} // namespace engine
