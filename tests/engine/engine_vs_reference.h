#pragma once

// Runs the fast engine and the line-by-line reference on the same file bytes and tells how
// their blocks differ; shared by the differential test and the fuzz target.

#include "reference_modes.h"

#include "engine/CodePage.h"
#include "engine/FileReader.h"
#include "run/SearchPlan.h"

#include <QByteArray>

#include <algorithm>

namespace reference {

using engine::Mode;

// How the file's bytes are taken: recognised as the program does, or all as Windows-1252
// with CR LF lines.
enum class Reading { Automatic, Windows1252 };

// The characters of a file as the reference reads them: a byte-order mark decides; else UTF-8
// when its characters of several bytes outnumber its ill-formed subsequences (all of them,
// when it has none), else Windows-1252.
inline std::u16string referenceText(const QByteArray &bytes, Reading reading)
{
    const std::string_view all(bytes.constData(), size_t(bytes.size()));
    if (reading == Reading::Windows1252)
        return fromWindows1252(all);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return readUtf8(all.substr(3)).text;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        std::u16string text;
        for (qsizetype i = 2; i + 1 < bytes.size(); i += 2) {
            const auto a = uchar(bytes[i]), b = uchar(bytes[i + 1]);
            text += bytes[0] == '\xFF' ? char16_t(b << 8 | a) : char16_t(a << 8 | b);
        }
        if (bytes.size() % 2 != 0)
            text += u'\uFFFD'; // a last byte without its pair
        return text;
    }
    Utf8Reading utf8 = readUtf8(all);
    if (utf8.illFormed == 0 ? utf8.multiByte > 0 : utf8.multiByte > utf8.illFormed)
        return std::move(utf8.text);
    return fromWindows1252(all);
}

inline QByteArray shown(std::u16string_view text)
{
    QByteArray out;
    for (const char16_t c : text) {
        if (c == '\r')
            out += "<CR>";
        else if (c == '\n')
            out += "<LF>";
        else if (c < 0x20 || c >= 0x7F)
            out += "<" + QByteArray::number(c, 16) + ">";
        else
            out += char(c);
    }
    return out;
}

// The blocks of each piece, as characters with their line numbers.
using PieceBlocks = std::vector<std::vector<Block>>;

// The engine's blocks of a file; with settleLater, a text that is not well-formed UTF-8 is
// searched as Windows-1252 before its bytes are counted, as the workers do.
inline PieceBlocks engineBlocks(const QByteArray &bytes, Reading reading, Mode mode,
                                const std::u16string &search, bool matchCase, int x, int y,
                                bool regex, bool settleLater)
{
    run::FileBlocks file;
    file.text = engine::FileText(std::string_view(bytes.constData(), size_t(bytes.size())));
    if (reading != Reading::Windows1252)
        file.text.recognise(settleLater);
    const run::SearchPlan plan(mode, search, matchCase, x, y, regex);
    run::searchFile(plan, file, nullptr);
    // The rows a worker hands on are copies of the lines, taken before the text goes.
    if (!file.keepOnlyRows())
        return {{Block{u"(the text was not whole)", {}, 0}}};
    PieceBlocks pieces(file.pieceCount);
    const auto numbered = [](const auto &blocks, size_t i, std::u16string text) {
        const auto lines = blocks.blockNumbers(i);
        return Block{std::move(text), std::vector<uint64_t>(lines.begin(), lines.end()),
                     blocks.matchNumber(i)};
    };
    for (size_t p = 0; p < file.pieceCount; ++p) {
        if (file.wide) {
            for (size_t i = 0; i < file.widePieces[p].size(); ++i)
                pieces[p].push_back(numbered(file.widePieces[p], i, file.widePieces[p].text(i)));
            continue;
        }
        for (size_t i = 0; i < file.bytePieces[p].size(); ++i) {
            const std::string block = file.bytePieces[p].text(i);
            // (QString::fromUtf8 would drop a U+FEFF at the start of a line.)
            pieces[p].push_back(numbered(file.bytePieces[p], i,
                                         file.encoding == engine::Encoding::Utf8
                                             ? readUtf8(block).text
                                             : engine::decode(block)));
        }
    }
    return pieces;
}

inline QByteArray compare(const QByteArray &bytes, Reading reading, Mode mode,
                          const std::u16string &search, bool matchCase, int x, int y,
                          bool regex = false)
{
    const std::u16string text = referenceText(bytes, reading);
    // QRegularExpression refuses text that is not well-formed UTF-16, where PCRE2 matches its
    // well-formed parts (as grep -P does); the run's tests hold the engine to that. It also
    // finds nothing in a text holding U+FFFE, and takes patterns the engine refuses (\C).
    engine::Pattern::Error error;
    if (regex && (!QStringView(text.data(), qsizetype(text.size())).isValidUtf16() ||
                  text.find(u'\uFFFE') != std::u16string::npos ||
                  !engine::Pattern::compile(search, matchCase, error)))
        return {};
    const bool automatic = reading != Reading::Windows1252;
    const bool lf = automatic && endsAtLf(text);
    PieceBlocks expected;
    for (const std::u16string_view piece : cutPieces(text, lf, automatic)) {
        const uint64_t first = lineNumberAt(text, size_t(piece.data() - text.data()), lf);
        expected.push_back(extract(mode, piece, search, matchCase, x, y, lf, regex, first));
    }
    PieceBlocks actual = engineBlocks(bytes, reading, mode, search, matchCase, x, y, regex, false);
    if (expected == actual)
        actual = engineBlocks(bytes, reading, mode, search, matchCase, x, y, regex, true);
    if (expected == actual)
        return {};
    QByteArray detail = "text \"" + shown(text).left(4000) + "\" search \"" + shown(search) +
                        "\" matchCase " + QByteArray::number(matchCase) + " x " +
                        QByteArray::number(x) + " y " + QByteArray::number(y) + " reading " +
                        QByteArray::number(int(reading)) + (regex ? " regex" : "") + "\n";
    const auto list = [&](const PieceBlocks &pieces, const char *which) {
        detail += QByteArray(which) + ": " + QByteArray::number(pieces.size()) + " pieces\n";
        for (size_t p = 0; p < pieces.size(); ++p) {
            for (const Block &b : pieces[p]) {
                QByteArray numbers;
                for (const uint64_t line : b.lines)
                    numbers += " " + QByteArray::number(qulonglong(line));
                detail += "  " + QByteArray(which) + " piece " + QByteArray::number(p) + " \"" +
                          shown(b.text).left(200) + "\" match line " +
                          QByteArray::number(qulonglong(b.match)) + ", lines" + numbers + "\n";
            }
        }
    };
    list(expected, "expected");
    list(actual, "actual");
    return detail;
}

} // namespace reference
