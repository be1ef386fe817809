#include "BlockList.h"

#include <algorithm>

namespace engine {

std::string BlockList::text(size_t i) const
{
    const auto lines = block(i);
    size_t length = 0;
    for (const auto line : lines)
        length += line.size() + 2;
    std::string result;
    result.reserve(length);
    for (const auto line : lines) {
        result += line;
        result += "\r\n";
    }
    return result;
}

void BlockList::reverseFrom(size_t first)
{
    std::reverse(m_lines.begin() + static_cast<std::ptrdiff_t>(first), m_lines.end());
}

} // namespace engine
