#pragma once

// The extraction modes written the slow, obvious way, sharing no code with the engine: decode
// the piece's characters, cut them into a vector of lines, lower each character with Qt, test
// every line on its own and build every block line by line. The fast engine must give exactly
// the same blocks; the differential test and the fuzz target hold it to that.

#include "engine/Modes.h"

#include <QChar>
#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace reference {

// Returns the characters of Windows-1252 bytes (the five undefined bytes stand for the
// control characters of the same value).
inline std::u16string fromWindows1252(std::string_view bytes)
{
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::u16string text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += b >= 0x80 && b < 0xA0 ? high[b - 0x80] : char16_t(b);
    }
    return text;
}

// UTF-8 bytes read one sequence at a time, with what the reading met.
struct Utf8Reading {
    std::u16string text;
    size_t multiByte = 0; // well-formed characters of two to four bytes
    size_t illFormed = 0; // ill-formed subsequences, each read as one U+FFFD
};

// Returns true when some code point in [low, high] may be written with length bytes: none
// shorter would do, none is a surrogate, none lies above U+10FFFF.
inline bool writableWith(char32_t low, char32_t high, int length)
{
    const auto meets = [&](char32_t from, char32_t to) { return low <= to && high >= from; };
    if (length == 2)
        return meets(0x80, 0x7FF);
    if (length == 3)
        return meets(0x800, 0xD7FF) || meets(0xE000, 0xFFFF);
    return meets(0x10000, 0x10FFFF);
}

// Reads UTF-8 the long way: a lead byte says how many bytes its character takes, and after each
// byte the code points its bits still leave open tell whether a well-formed character can
// follow. A whole character is taken; the longest start of one that breaks off (or a byte
// that starts none) becomes one U+FFFD.
inline Utf8Reading readUtf8(std::string_view bytes)
{
    Utf8Reading reading;
    const auto byteAt = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char b = byteAt(i);
        const int length = b < 0x80           ? 1
                           : (b >> 5) == 0x06 ? 2
                           : (b >> 4) == 0x0E ? 3
                           : (b >> 3) == 0x1E ? 4
                                              : 0;
        if (length == 1) {
            reading.text += char16_t(b);
            ++i;
            continue;
        }
        char32_t value = b & (0x7F >> length);
        int k = 1;
        int valid = 0;
        while (length > 0) {
            const int open = 6 * (length - k);
            if (!writableWith(value << open, (value << open) | ((char32_t(1) << open) - 1), length))
                break;
            valid = k;
            if (k == length || i + size_t(k) >= bytes.size() || (byteAt(i + size_t(k)) >> 6) != 2)
                break;
            value = value << 6 | (byteAt(i + size_t(k)) & 0x3F);
            ++k;
        }
        if (length > 0 && valid == length) {
            ++reading.multiByte;
            if (value >= 0x10000) {
                reading.text += char16_t(0xD800 + ((value - 0x10000) >> 10));
                reading.text += char16_t(0xDC00 + ((value - 0x10000) & 0x3FF));
            } else {
                reading.text += char16_t(value);
            }
            i += size_t(length);
        } else {
            ++reading.illFormed;
            reading.text += u'\uFFFD';
            i += size_t(std::max(valid, 1));
        }
    }
    return reading;
}

// Returns true when the text's lines end at LF: its first LF does not follow a CR.
inline bool endsAtLf(std::u16string_view text)
{
    const size_t lf = text.find(u'\n');
    return lf != std::u16string_view::npos && (lf == 0 || text[lf - 1] != u'\r');
}

// Cuts a text into the pieces the modes search, trying every place: with atLineEnds, a piece
// too short for the rest ends after the last line end among its first 65,536 characters, and
// one without any line end one character early where it would part a CR from its LF or a
// surrogate pair; otherwise every piece but the last holds 65,536 characters.
inline std::vector<std::u16string_view> cutPieces(std::u16string_view text, bool lf,
                                                  bool atLineEnds)
{
    constexpr size_t size = 65536;
    std::vector<std::u16string_view> pieces;
    size_t at = 0;
    while (text.size() - at > size) {
        size_t end = 0;
        for (size_t k = at; atLineEnds && k < at + size; ++k) {
            if (text[k] == u'\n' && (lf || (k > at && text[k - 1] == u'\r')))
                end = k + 1;
        }
        if (end == 0) {
            end = at + size;
            const char16_t before = text[end - 1];
            const char16_t after = text[end];
            if (atLineEnds && ((before == u'\r' && after == u'\n') ||
                               (QChar::isHighSurrogate(before) && QChar::isLowSurrogate(after))))
                --end;
        }
        pieces.push_back(text.substr(at, end - at));
        at = end;
    }
    pieces.push_back(text.substr(at));
    return pieces;
}

inline std::vector<std::u16string> splitLines(std::u16string_view piece, bool lf)
{
    std::vector<std::u16string> lines;
    if (piece.empty())
        return lines;
    std::u16string line;
    for (size_t i = 0; i < piece.size(); ++i) {
        if (!lf && piece[i] == u'\r' && i + 1 < piece.size() && piece[i + 1] == u'\n') {
            lines.push_back(line);
            line.clear();
            ++i;
        } else if (lf && piece[i] == u'\n') {
            if (!line.empty() && line.back() == u'\r')
                line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line += piece[i];
        }
    }
    lines.push_back(line);
    return lines;
}

inline std::u16string lowered(std::u16string_view text)
{
    std::u16string result;
    for (const char16_t c : text)
        result += QChar(c).toLower().unicode();
    return result;
}

// Returns true when a regular expression matches somewhere in a line on its own; an invalid
// one matches nothing.
inline bool patternMatches(const std::u16string &line, std::u16string_view search, bool matchCase)
{
    auto options = QRegularExpression::UseUnicodePropertiesOption |
                   QRegularExpression::DotMatchesEverythingOption;
    if (!matchCase)
        options |= QRegularExpression::CaseInsensitiveOption;
    // Every line of a piece is tried with the same pattern: it is compiled once.
    thread_local QRegularExpression pattern;
    // (QString::fromUtf16 would drop a U+FEFF at the pattern's start.)
    const QString text(reinterpret_cast<const QChar *>(search.data()), qsizetype(search.size()));
    if (pattern.pattern() != text || pattern.patternOptions() != options)
        pattern = QRegularExpression(text, options);
    return pattern.isValid() &&
           pattern
               .match(QString(reinterpret_cast<const QChar *>(line.data()), qsizetype(line.size())))
               .hasMatch();
}

inline bool lineMatches(const std::u16string &line, std::u16string_view search, bool matchCase,
                        bool regex = false)
{
    if (line.empty())
        return false;
    if (regex)
        return patternMatches(line, search, matchCase);
    if (matchCase)
        return line.find(search) != std::u16string::npos;
    return lowered(line).find(lowered(search)) != std::u16string::npos;
}

// One block: its lines, each followed by CR LF, the line number of each of them in the file,
// and the line number of the line that matched.
struct Block {
    std::u16string text;
    std::vector<uint64_t> lines;
    uint64_t match = 0;
    bool operator==(const Block &) const = default;
};

// Returns the number of the line of a text that holds the character at offset: 1 plus the line
// ends (LF, or CR LF) that begin before it.
inline uint64_t lineNumberAt(std::u16string_view text, size_t offset, bool lf)
{
    uint64_t line = 1;
    for (size_t i = 0; i < offset; ++i) {
        if (lf ? text[i] == u'\n' : text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++line;
    }
    return line;
}

// Returns the blocks of one mode for one piece of decoded characters, whose first line is line
// first of its file.
inline std::vector<Block> extract(engine::Mode mode, std::u16string_view piece,
                                  std::u16string_view search, bool matchCase, int x, int y, bool lf,
                                  bool regex, uint64_t first)
{
    using engine::Mode;
    const std::vector<std::u16string> lines = splitLines(piece, lf);
    const long last = static_cast<long>(lines.size()) - 1;
    std::vector<Block> result;

    // Adds line k to a block, when it is there and not empty.
    const auto addLine = [&](Block &block, long k) {
        if (k < 0 || k > last || lines[size_t(k)].empty())
            return;
        block.text += lines[size_t(k)] + u"\r\n";
        block.lines.push_back(first + uint64_t(k));
    };
    const auto span = [&](long match, long from, long to) {
        Block block;
        block.match = first + uint64_t(match);
        for (long k = from; k <= to; ++k)
            addLine(block, k);
        result.push_back(block);
    };

    if (mode == Mode::ExtractSearchWordLineUpAll || mode == Mode::ExtractSearchWordLineDownAll) {
        long m = -1;
        for (long i = 0; i <= last; ++i) {
            if (lineMatches(lines[size_t(i)], search, matchCase, regex)) {
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
            span(m, j, j);
        return result;
    }

    for (long i = 0; i <= last; ++i) {
        if (!lineMatches(lines[size_t(i)], search, matchCase, regex))
            continue;
        switch (mode) {
        case Mode::ExtractSearchWordLine:
            span(i, i, i);
            break;
        case Mode::ExtractSearchWordLineUp1:
            span(i, i - 1, i);
            break;
        case Mode::ExtractSearchWordLineUp2:
            span(i, i - 2, i);
            break;
        case Mode::ExtractSearchWordLineUp3:
            span(i, i - 3, i);
            break;
        case Mode::ExtractSearchWordLineDown1:
            span(i, i, i + 1);
            break;
        case Mode::ExtractSearchWordLineDown2:
            span(i, i, i + 2);
            break;
        case Mode::ExtractSearchWordLineDown3:
            span(i, i, i + 3);
            break;
        case Mode::ExtractSearchWordLineUp1Down1:
            span(i, i - 1, i + 1);
            break;
        case Mode::ExtractSearchWordLineUp3Down1:
            span(i, i - 3, i + 1);
            break;
        case Mode::ExtractSearchWordLineUpXDownY:
            span(i, i - std::max(x, 0), i + std::max(y, 0));
            break;
        case Mode::Extract1stLineBelow:
            span(i, i + 1, i + 1);
            break;
        case Mode::Extract2ndLineBelow:
            span(i, i + 2, i + 2);
            break;
        default:
            break;
        }
    }
    return result;
}

} // namespace reference
