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

// The characters of a file as the reference reads them.
inline std::u16string referenceText(const QByteArray &bytes, Reading reading)
{
    const std::string_view all(bytes.constData(), size_t(bytes.size()));
    if (reading == Reading::Windows1252)
        return fromWindows1252(all);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return fromUtf8(all.substr(3));
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
    const bool high = std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; });
    const bool validUtf8 = QString::fromUtf8(bytes).toUtf8() == bytes;
    return high && validUtf8 ? fromUtf8(all) : fromWindows1252(all);
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

// The engine's blocks of a one-piece file, as characters.
inline std::vector<std::u16string> engineBlocks(const QByteArray &bytes, Reading reading, Mode mode,
                                                const std::u16string &search, bool matchCase, int x,
                                                int y, bool regex = false)
{
    run::FileBlocks file;
    file.text = engine::FileText(std::string_view(bytes.constData(), size_t(bytes.size())));
    if (reading != Reading::Windows1252)
        file.text.recognise();
    const run::SearchPlan plan(mode, search, matchCase, x, y, regex);
    run::searchFile(plan, file, nullptr);
    // The rows a worker hands on are copies of the lines, taken before the text goes.
    if (!file.keepOnlyRows())
        return {u"(the text was not whole)"};
    std::vector<std::u16string> texts;
    if (file.wide) {
        for (size_t i = 0; i < file.widePieces[0].size(); ++i)
            texts.push_back(file.widePieces[0].text(i));
        return texts;
    }
    for (size_t i = 0; i < file.bytePieces[0].size(); ++i) {
        const std::string block = file.bytePieces[0].text(i);
        texts.push_back(file.encoding == engine::Encoding::Utf8 ? fromUtf8(block)
                                                                : engine::decode(block));
    }
    return texts;
}

inline QByteArray compare(const QByteArray &bytes, Reading reading, Mode mode,
                          const std::u16string &search, bool matchCase, int x, int y,
                          bool regex = false)
{
    const std::u16string text = referenceText(bytes, reading);
    // QRegularExpression refuses text that is not well-formed UTF-16, where PCRE2 matches its
    // well-formed parts (as grep -P does); the run's tests hold the engine to that.
    if (regex && !QStringView(text.data(), qsizetype(text.size())).isValidUtf16())
        return {};
    const bool lf = reading != Reading::Windows1252 && endsAtLf(text);
    const auto expected = extract(mode, text, search, matchCase, x, y, lf, regex);
    const auto actual = engineBlocks(bytes, reading, mode, search, matchCase, x, y, regex);
    if (expected == actual)
        return {};
    QByteArray detail = "text \"" + shown(text) + "\" search \"" + shown(search) + "\" matchCase " +
                        QByteArray::number(matchCase) + " x " + QByteArray::number(x) + " y " +
                        QByteArray::number(y) + " reading " + QByteArray::number(int(reading)) +
                        (regex ? " regex" : "") + "\n";
    for (const auto &b : expected)
        detail += "  expected \"" + shown(b) + "\"\n";
    for (const auto &b : actual)
        detail += "  actual   \"" + shown(b) + "\"\n";
    return detail;
}

} // namespace reference
