#include "LineCount.h"

namespace engine {

uint64_t countLineEnds(std::u16string_view text, LineEnds ends)
{
    // UTF-16 text is rare enough for the compiler's own vectors.
    uint64_t count = 0;
    if (ends == LineEnds::Lf) {
        for (const char16_t c : text)
            count += c == u'\n' ? 1 : 0;
        return count;
    }
    for (size_t i = 1; i < text.size(); ++i)
        count += text[i - 1] == u'\r' && text[i] == u'\n' ? 1 : 0;
    return count;
}

} // namespace engine
