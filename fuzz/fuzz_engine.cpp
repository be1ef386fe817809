// Feeds arbitrary files and search texts to every extraction mode and aborts as soon as the
// fast engine disagrees with the line-by-line reference.
//
// Input layout: byte 0 holds the flags (bit 0 match case, bits 1-4 the mode, bit 5 read as
// Windows-1252, bit 6 the search text is a regular expression), bytes 1 and 2 give X and Y
// (folded into -3..28), byte 3 the search text's length in bytes (UTF-8); the search text
// follows, and the rest is the file.

#include "engine_vs_reference.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const bool matchCase = (data[0] & 1) != 0;
    const bool regex = (data[0] & 0x40) != 0;
    const auto mode = static_cast<engine::Mode>(((data[0] >> 1) & 0x0F) % 14);
    const auto reading =
        (data[0] & 0x20) ? reference::Reading::Windows1252 : reference::Reading::Automatic;
    const int x = data[1] % 32 - 3;
    const int y = data[2] % 32 - 3;
    const size_t searchLength = std::min<size_t>(data[3] % 16, size - 4);
    const char *rest = reinterpret_cast<const char *>(data) + 4;
    const std::u16string search = QString::fromUtf8(rest, qsizetype(searchLength)).toStdU16String();
    // Files of several pieces are compared piece by piece; three are plenty.
    const QByteArray file(rest + searchLength,
                          qsizetype(std::min<size_t>(size - 4 - searchLength, 3 * 65536)));
    const QByteArray failure =
        reference::compare(file, reading, mode, search, matchCase, x, y, regex);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", failure.constData());
        std::abort();
    }
    return 0;
}
