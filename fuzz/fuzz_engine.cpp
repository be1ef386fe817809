// Feeds arbitrary pieces and search texts to every extraction mode and aborts as soon as the
// fast engine disagrees with the line-by-line reference.
//
// Input layout: byte 0 holds the flags (bit 0 match case, bits 1-4 the mode), bytes 1 and 2 give
// X and Y (folded into -3..28), byte 3 the search text's length; the search
// text follows, and the rest is the piece.

#include "reference_modes.h"

#include "engine/BlockList.h"
#include "engine/Modes.h"
#include "engine/Needle.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void dump(const char *label, std::string_view text)
{
    std::fprintf(stderr, "%s (%zu):", label, text.size());
    for (const char c : text)
        std::fprintf(stderr, " %02x", static_cast<unsigned char>(c));
    std::fprintf(stderr, "\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const bool matchCase = (data[0] & 1) != 0;
    const auto mode = static_cast<engine::Mode>(((data[0] >> 1) & 0x0F) % 14);
    const int x = data[1] % 32 - 3;
    const int y = data[2] % 32 - 3;
    const size_t searchLength = std::min<size_t>(data[3] % 16, size - 4);
    const std::string_view rest(reinterpret_cast<const char *>(data) + 4, size - 4);
    const std::string_view search = rest.substr(0, searchLength);
    // Pieces never exceed 65,536 bytes.
    const std::string_view piece = rest.substr(searchLength, 65536);

    static engine::BlockList out;
    engine::extract(mode, piece, engine::Needle::fromBytes(search, matchCase), x, y, out);
    const auto expected = reference::extract(mode, piece, search, matchCase, x, y);

    bool same = expected.size() == out.size();
    for (size_t i = 0; same && i < out.size(); ++i)
        same = expected[i] == out.text(i);
    if (!same) {
        std::fprintf(stderr, "mode %d matchCase %d x %d y %d\n", static_cast<int>(mode), matchCase,
                     x, y);
        dump("search", search);
        dump("piece", piece);
        for (const auto &block : expected)
            dump("expected", block);
        for (size_t i = 0; i < out.size(); ++i)
            dump("actual", out.text(i));
        std::abort();
    }
    return 0;
}
