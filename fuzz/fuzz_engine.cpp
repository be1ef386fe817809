// Feeds arbitrary files and search texts to every extraction mode and aborts as soon as the
// fast engine disagrees with the line-by-line reference.
//
// Input layout: byte 0 holds the flags (bit 0 match case, bits 1-4 the mode, bit 5 read as
// Windows-1252, bit 6 the search text is a regular expression, bit 7 the bytes stand for
// characters), bytes 1 and 2 give X and Y (folded into -3..28), byte 3 the search text's length
// in bytes; the search text follows, and the rest is the file. The search text is UTF-8, or
// with bit 7 set each of its bytes and of the file's stands for one of kCharacters, the file
// then written as UTF-8.

#include "engine_vs_reference.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

// Letters whose case forms differ in UTF-8 length or number three, letters that only look
// alike, other scripts, and line ends, so that they meet often in files and search texts.
const char16_t *const kCharacters[] = {
    u"a", u"A",  u"k", u"K", u"\u212A", u"s", u"S",      u"ß", u"ẞ",  u"σ",  u"Σ", u"ς", u"ı", u"I",
    u"i", u"İ",  u"ⱥ", u"Ⱥ", u"ɐ",      u"Ɐ", u"θ",      u"Θ", u"ϴ",  u"ω",  u"Ω", u"é", u"É", u"ж",
    u"Ж", u"日", u"😀", u"ǆ", u"ǅ",      u"Ǆ", u"\u2126", u"å", u"\r", u"\n", u" ", u"x"};

// Returns the characters the bytes stand for.
QString charactersOf(const char *bytes, size_t size)
{
    QString text;
    for (size_t i = 0; i < size; ++i)
        text += QString::fromUtf16(
            kCharacters[static_cast<unsigned char>(bytes[i]) % std::size(kCharacters)]);
    return text;
}

} // namespace

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
    const bool characters = (data[0] & 0x80) != 0;
    const std::u16string search = (characters ? charactersOf(rest, searchLength)
                                              : QString::fromUtf8(rest, qsizetype(searchLength)))
                                      .toStdU16String();
    // Files of several pieces are compared piece by piece; three are plenty.
    const size_t fileSize = std::min<size_t>(size - 4 - searchLength, 3 * 65536);
    const QByteArray file = characters ? charactersOf(rest + searchLength, fileSize).toUtf8()
                                       : QByteArray(rest + searchLength, qsizetype(fileSize));
    const QByteArray failure =
        reference::compare(file, reading, mode, search, matchCase, x, y, regex);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", failure.constData());
        std::abort();
    }
    return 0;
}
