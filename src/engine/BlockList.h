#pragma once

#include <algorithm>
#include <cstddef>
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
// empty block has no lines. Reuse one list across pieces; clear() keeps the capacity.
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

    // Starts a new, empty block at the end.
    void beginBlock() { m_starts.push_back(m_lines.size()); }
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
    // Returns the memory the list takes beside the text its lines point into.
    size_t heldBytes() const
    {
        return m_lines.capacity() * sizeof(Line) + m_starts.capacity() * sizeof(size_t);
    }
    // Reverses the stored lines from index first to the end, for lines collected bottom-up.
    void reverseFrom(size_t first)
    {
        std::reverse(m_lines.begin() + static_cast<std::ptrdiff_t>(first), m_lines.end());
    }

private:
    std::vector<Line> m_lines;
    std::vector<size_t> m_starts;
};

// Blocks of a byte piece (Windows-1252 or UTF-8).
using BlockList = BasicBlockList<char>;
// Blocks of a UTF-16 piece.
using WideBlockList = BasicBlockList<char16_t>;

} // namespace engine
