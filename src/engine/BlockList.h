#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The blocks that one extraction routine found in one piece. Lines are views into the piece,
// so the list is only valid while the piece's bytes live. Empty lines are never stored: an
// empty block has no lines. Reuse one list across pieces; clear() keeps the capacity.
class BlockList {
public:
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
    std::span<const std::string_view> block(size_t i) const
    {
        const size_t end = i + 1 < m_starts.size() ? m_starts[i + 1] : m_lines.size();
        return {m_lines.data() + m_starts[i], end - m_starts[i]};
    }

    // Returns block i as text: each line followed by CR LF ("" for an empty block).
    std::string text(size_t i) const;

    // Returns every line of every block in order, the blocks laid end to end.
    const std::vector<std::string_view> &lines() const { return m_lines; }

    // Starts a new, empty block at the end.
    void beginBlock() { m_starts.push_back(m_lines.size()); }
    // Appends a line to the last block; an empty line is left out.
    void addLine(std::string_view line)
    {
        if (!line.empty())
            m_lines.push_back(line);
    }
    // Returns the number of lines stored in all blocks so far.
    size_t lineCount() const { return m_lines.size(); }
    // Reverses the stored lines from index first to the end, for lines collected bottom-up.
    void reverseFrom(size_t first);

private:
    std::vector<std::string_view> m_lines;
    std::vector<size_t> m_starts;
};

} // namespace engine
