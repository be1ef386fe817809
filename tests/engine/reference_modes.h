#pragma once

// The extraction modes written the slow, obvious way: cut the piece into a vector of lines,
// test every line on its own, and build every block from LineWithBreak. The fast engine must
// give exactly the same blocks; the differential test and the fuzz target hold it to that.

#include "engine/CodePage.h"
#include "engine/Modes.h"

#include <string>
#include <string_view>
#include <vector>

namespace reference {

inline std::vector<std::string_view> splitLines(std::string_view piece)
{
    std::vector<std::string_view> lines;
    if (piece.empty())
        return lines;
    size_t start = 0;
    size_t i = 0;
    while (i + 1 < piece.size()) {
        if (piece[i] == '\r' && piece[i + 1] == '\n') {
            lines.push_back(piece.substr(start, i - start));
            i += 2;
            start = i;
        } else {
            ++i;
        }
    }
    lines.push_back(piece.substr(start));
    return lines;
}

inline std::string lowered(std::string_view text)
{
    std::string result;
    for (const char c : text)
        result += static_cast<char>(engine::lowerByte(static_cast<unsigned char>(c)));
    return result;
}

inline bool lineMatches(std::string_view line, std::string_view search, bool matchCase)
{
    if (line.empty())
        return false;
    if (matchCase)
        return line.find(search) != std::string_view::npos;
    return lowered(line).find(lowered(search)) != std::string::npos;
}

// Returns the blocks of one mode for one piece, as texts.
inline std::vector<std::string> extract(engine::Mode mode, std::string_view piece,
                                        std::string_view search, bool matchCase, int x, int y)
{
    using engine::LineWithBreak;
    using engine::Mode;
    const std::vector<std::string_view> lines = splitLines(piece);
    const long last = static_cast<long>(lines.size()) - 1;
    std::vector<std::string> result;

    auto span = [&](long from, long to) {
        std::string block;
        for (long k = from; k <= to; ++k)
            block += LineWithBreak(lines, k, last);
        return block;
    };

    if (mode == Mode::ExtractSearchWordLineUpAll || mode == Mode::ExtractSearchWordLineDownAll) {
        long m = -1;
        for (long i = 0; i <= last; ++i) {
            if (lineMatches(lines[i], search, matchCase)) {
                m = i;
                if (mode == Mode::ExtractSearchWordLineDownAll)
                    break;
            }
        }
        if (m < 0)
            return result;
        const long from = mode == Mode::ExtractSearchWordLineUpAll ? 0 : m;
        const long to = mode == Mode::ExtractSearchWordLineUpAll ? m : last;
        for (long j = from; j <= to; ++j)
            result.push_back(LineWithBreak(lines, j, last));
        return result;
    }

    for (long i = 0; i <= last; ++i) {
        if (!lineMatches(lines[i], search, matchCase))
            continue;
        std::string block;
        switch (mode) {
        case Mode::ExtractSearchWordLine:
            block = span(i, i);
            break;
        case Mode::ExtractSearchWordLineUp1:
            block = span(i - 1, i);
            break;
        case Mode::ExtractSearchWordLineUp2:
            block = span(i - 2, i);
            break;
        case Mode::ExtractSearchWordLineUp3:
            block = span(i - 3, i);
            break;
        case Mode::ExtractSearchWordLineDown1:
            block = span(i, i + 1);
            break;
        case Mode::ExtractSearchWordLineDown2:
            block = span(i, i + 2);
            break;
        case Mode::ExtractSearchWordLineDown3:
            block = span(i, i + 3);
            break;
        case Mode::ExtractSearchWordLineUp1Down1:
            block = span(i - 1, i + 1);
            break;
        case Mode::ExtractSearchWordLineUp3Down1:
            block = span(i - 3, i + 1);
            break;
        case Mode::ExtractSearchWordLineUpXDownY:
            for (long k = x; k >= 1; --k)
                block += LineWithBreak(lines, i - k, last);
            block += LineWithBreak(lines, i, last);
            for (long k = 1; k <= y; ++k)
                block += LineWithBreak(lines, i + k, last);
            break;
        case Mode::Extract1stLineBelow:
            block = LineWithBreak(lines, i + 1, last);
            break;
        case Mode::Extract2ndLineBelow:
            block = LineWithBreak(lines, i + 2, last);
            break;
        default:
            break;
        }
        result.push_back(block);
    }
    return result;
}

} // namespace reference
