#include "engine_vs_reference.h"

#include <QtTest>

#include <random>

using engine::Mode;

namespace {

// Weighted so that line ends, lone CR and LF, empty lines and case pairs (also É/é, Š/š, Ÿ/ÿ,
// and İ, the Kelvin sign and Å-ring which lower to other scripts' letters) turn up often.
const std::vector<std::u16string> kTokens = {u"\r\n", u"\r\n", u"\r\n", u"\r", u"\n", u"\n", u" ",
                                             u"a",    u"a",    u"A",    u"b",  u"B",  u"ab", u"É",
                                             u"é",    u"Š",    u"š",    u"Ÿ",  u"ÿ",  u"x",  u"i",
                                             u"I",    u"k",    u"K",    u"€",  u"0",  u"1",  u"^"};
// Characters Windows-1252 has no byte for, for the Unicode encodings.
const std::vector<std::u16string> kWideTokens = {u"İ", u"\u212A", u"\u212B", u"å", u"日本",
                                                 u"😀", u"Ω",      u"ω",      u"ſ", u"μ"};
// Bytes that are no UTF-8 character, from a lone continuation byte to a character cut short, an
// overlong form, a surrogate and one above U+10FFFF. A text holds them as private-use
// characters U+E000 onwards, which bytesOf() turns into these bytes in a UTF-8 file.
const std::vector<QByteArray> kStrayBytes = {
    "\x80",         "\xBF",         "\xC0\xAF",         "\xC3",     "\xE0\x80\x80", "\xE2\x82",
    "\xED\xA0\x80", "\xF0\x9F\x98", "\xF4\x90\x80\x80", "\xF5\x80", "\xFF",         "\xE9"};

// Pieces of patterns: characters and their case partners, classes, anchors, repeats,
// alternation, and the constructs that look past a line's ends or steer the search.
const std::vector<std::u16string> kPatternAtoms = {
    u"a",         u"b",         u"A",           u"\u00e9",   u"\u00c9", u"k",     u"s",
    u"x",         u" ",         u"\u20ac",      u"\u0160",   u"\u00ff", u".",     u"^",
    u"$",         u"\\w",       u"\\W",         u"\\b",      u"\\B",    u"\\d",   u"\\s",
    u"[a\u00e9]", u"[^a ]",     u"[[:alpha:]]", u"[a-z]",    u"a|b",    u"(ab)?", u"(?:\u00e9|x)",
    u"b*",        u"\u00c9+",   u"a{2}",        u"\\w+?",    u"\\r",    u"\\n",   u"\\R",
    u"\\A",       u"\\z",       u"\\Z",         u"(?=b)",    u"(?<!a)", u"(?i)",  u"a++",
    u"\\K",       u"(*COMMIT)", u"\\x{e9}",     u"\\p{Lu}",  u"[i]",    u"\\.",   u"\r",
    u"(",         u"[z-a]",     u"\u00b5",      u"S",        u"[^0]",   u"[^01]", u"[^a-c9]",
    u"[a^]",      u"[0^]",      u"[^^]",        u"[^\u00e9]"};

enum class Format { Windows1252, Utf8, Utf8Mark, Utf16LE, Utf16BE, Forced, Utf8Stray };

// Returns true when the text can hold characters Windows-1252 has no byte for.
bool isWide(Format format)
{
    return format != Format::Windows1252 && format != Format::Forced;
}

std::u16string randomText(std::mt19937 &random, int maxTokens, Format format)
{
    const size_t wide = isWide(format) ? kWideTokens.size() : 0;
    const size_t stray = format == Format::Utf8Stray ? kStrayBytes.size() : 0;
    std::uniform_int_distribution<int> count(0, maxTokens);
    std::uniform_int_distribution<size_t> pick(0, kTokens.size() + wide + stray - 1);
    std::u16string text;
    for (int n = count(random); n > 0; --n) {
        const size_t k = pick(random);
        if (k < kTokens.size())
            text += kTokens[k];
        else if (k < kTokens.size() + wide)
            text += kWideTokens[k - kTokens.size()];
        else
            text += char16_t(0xE000 + (k - kTokens.size() - wide));
    }
    return text;
}

std::u16string randomNeedle(std::mt19937 &random, const std::u16string &text, Format format)
{
    std::uniform_int_distribution<int> kind(0, 9);
    switch (kind(random)) {
    case 0:
        return {};
    case 1:
        return u"\r";
    case 2:
        return u"\n";
    case 3:
        return u"\r\n";
    case 4:
    case 5:
    case 6:
        if (!text.empty()) {
            // A slice of the text itself, so that hits are common and often cross line ends.
            std::uniform_int_distribution<size_t> at(0, text.size() - 1);
            const size_t from = at(random);
            std::uniform_int_distribution<size_t> length(1,
                                                         std::min<size_t>(4, text.size() - from));
            return text.substr(from, length(random));
        }
        [[fallthrough]];
    default:
        return randomText(random, 2, format).substr(0, 4);
    }
}

std::u16string randomPattern(std::mt19937 &random, const std::u16string &text)
{
    std::uniform_int_distribution<int> count(1, 4);
    std::uniform_int_distribution<size_t> pick(0, kPatternAtoms.size() + 5);
    // Some patterns ask to be matched without compiled machine code.
    std::u16string pattern = random() % 8 == 0 ? u"(*NO_JIT)" : u"";
    for (int n = count(random); n > 0; --n) {
        const size_t k = pick(random);
        if (k < kPatternAtoms.size() || text.empty()) {
            pattern += kPatternAtoms[k % kPatternAtoms.size()];
            continue;
        }
        // A slice of the text, escaped, so that lines match often.
        std::uniform_int_distribution<size_t> at(0, text.size() - 1);
        const size_t from = at(random);
        std::uniform_int_distribution<size_t> length(1, std::min<size_t>(5, text.size() - from));
        pattern +=
            QRegularExpression::escape(QString::fromStdU16String(text.substr(from, length(random))))
                .toStdU16String();
    }
    return pattern;
}

QByteArray bytesOf(const std::u16string &text, Format format)
{
    const QString s = QString::fromStdU16String(text);
    switch (format) {
    case Format::Windows1252:
    case Format::Forced:
        return QByteArray::fromStdString(*engine::encode(text));
    case Format::Utf8:
        return s.toUtf8();
    case Format::Utf8Stray: {
        QByteArray bytes;
        qsizetype from = 0;
        for (qsizetype i = 0; i <= s.size(); ++i) {
            if (i < s.size() &&
                (s[i].unicode() < 0xE000 || s[i].unicode() >= 0xE000 + kStrayBytes.size()))
                continue;
            bytes += s.mid(from, i - from).toUtf8();
            if (i < s.size())
                bytes += kStrayBytes[s[i].unicode() - 0xE000];
            from = i + 1;
        }
        return bytes;
    }
    case Format::Utf8Mark:
        return "\xEF\xBB\xBF" + s.toUtf8();
    case Format::Utf16LE:
    case Format::Utf16BE: {
        QByteArray bytes = format == Format::Utf16LE ? "\xFF\xFE" : "\xFE\xFF";
        for (const char16_t c : text) {
            const char high = char(c >> 8), low = char(c & 0xFF);
            bytes += format == Format::Utf16LE ? QByteArray{&low, 1} + QByteArray{&high, 1}
                                               : QByteArray{&high, 1} + QByteArray{&low, 1};
        }
        return bytes;
    }
    }
    return {};
}

QByteArray check(const QByteArray &bytes, Format format, Mode mode, const std::u16string &search,
                 bool matchCase, int x, int y, bool regex = false)
{
    return reference::compare(bytes,
                              format == Format::Forced ? reference::Reading::Windows1252
                                                       : reference::Reading::Automatic,
                              mode, search, matchCase, x, y, regex);
}

} // namespace

class TestDifferential : public QObject {
    Q_OBJECT

private slots:
    void randomPieces_data();
    void randomPieces();
    void randomPatterns_data();
    void randomPatterns();
    void longPieces_data();
    void longPieces();
    void vectorEdges_data();
    void vectorEdges();
    void acrossPieces_data();
    void acrossPieces();
    void chosenPatterns_data();
    void chosenPatterns();
    void randomLongFiles_data();
    void randomLongFiles();
};

void TestDifferential::randomPieces_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("format");
    const std::pair<const char *, Format> formats[] = {
        {"windows-1252", Format::Windows1252},
        {"utf-8", Format::Utf8},
        {"utf-8 with mark", Format::Utf8Mark},
        {"utf-16le", Format::Utf16LE},
        {"utf-16be", Format::Utf16BE},
        {"forced windows-1252", Format::Forced},
        {"utf-8 with stray bytes", Format::Utf8Stray}};
    for (int m = 0; m <= static_cast<int>(Mode::ExtractSearchWordLineDownAll); ++m) {
        for (const auto &[name, format] : formats) {
            const auto routine = engine::modeRoutineName(static_cast<Mode>(m));
            QTest::addRow("%s, %s", std::string(routine).c_str(), name) << m << int(format);
        }
    }
}

// Compares the fast engine with the line-by-line reference on many short random files.
void TestDifferential::randomPieces()
{
    QFETCH(int, mode);
    QFETCH(int, format);
    const auto how = Format(format);
    const bool wide = isWide(how);
    std::mt19937 random(20240611u + static_cast<unsigned>(mode * 8 + format));
    std::uniform_int_distribution<int> count(-1, 13);
    for (int round = 0; round < 2500; ++round) {
        const std::u16string text = randomText(random, 24, how);
        std::u16string search = randomNeedle(random, text, how);
        if (!wide && !engine::encode(search))
            search.clear();
        const bool matchCase = (round & 1) != 0;
        const QByteArray failure = check(bytesOf(text, how), how, Mode(mode), search, matchCase,
                                         count(random), count(random));
        if (!failure.isEmpty())
            QFAIL(failure.constData());
    }
}

void TestDifferential::randomPatterns_data()
{
    randomPieces_data();
}

// Regular expressions: the engine narrows and scans whole pieces, the reference tries every
// line on its own.
void TestDifferential::randomPatterns()
{
    QFETCH(int, mode);
    QFETCH(int, format);
    const auto how = Format(format);
    std::mt19937 random(7u + static_cast<unsigned>(mode * 8 + format));
    std::uniform_int_distribution<int> count(-1, 13);
    for (int round = 0; round < 700; ++round) {
        const std::u16string text = randomText(random, round % 10 == 0 ? 400 : 24, how);
        const std::u16string pattern = randomPattern(random, text);
        const QByteArray failure = check(bytesOf(text, how), how, Mode(mode), pattern,
                                         (round & 1) != 0, count(random), count(random), true);
        QVERIFY2(failure.isEmpty(), failure.left(3000).constData());
    }
}

void TestDifferential::longPieces_data()
{
    randomPieces_data();
}

// Longer pieces with long lines and long search texts take the vector paths of the search.
void TestDifferential::longPieces()
{
    QFETCH(int, mode);
    QFETCH(int, format);
    const auto how = Format(format);
    const bool wide = isWide(how);
    std::mt19937 random(99u + static_cast<unsigned>(mode * 8 + format));
    std::uniform_int_distribution<int> count(-1, 13);
    std::uniform_int_distribution<size_t> lengthOf(0, 40);
    for (int round = 0; round < 60; ++round) {
        const std::u16string text = randomText(random, 1500, how);
        std::u16string search;
        if (!text.empty() && round % 3 != 0) {
            std::uniform_int_distribution<size_t> at(0, text.size() - 1);
            search = text.substr(at(random), lengthOf(random));
        } else {
            search = randomText(random, 3, how);
        }
        if (!wide && !engine::encode(search))
            search.clear();
        const QByteArray failure = check(bytesOf(text, how), how, Mode(mode), search,
                                         (round & 1) != 0, count(random), count(random));
        QVERIFY2(failure.isEmpty(), failure.left(2000).constData());
    }
}

void TestDifferential::vectorEdges_data()
{
    QTest::addColumn<QString>("found");
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("format");
    QTest::newRow("Š/š in Windows-1252") << "xŠAy"
                                         << "šay" << int(Format::Windows1252);
    QTest::newRow("À/à in Windows-1252") << "Àb"
                                         << "àB" << int(Format::Windows1252);
    QTest::newRow("Ÿ/ÿ in Windows-1252") << "zzŸ"
                                         << "Zÿ" << int(Format::Windows1252);
    QTest::newRow("É/é in UTF-8") << "cafÉ"
                                  << "café" << int(Format::Utf8);
    QTest::newRow("ASCII in UTF-8") << "DoZida"
                                    << "dozida" << int(Format::Utf8);
    QTest::newRow("Kelvin sign in UTF-8") << "\u212Ait"
                                          << "kit" << int(Format::Utf8);
    QTest::newRow("Ä/ä in UTF-16") << "bÄr"
                                   << "bär" << int(Format::Utf16LE);
    QTest::newRow("CR before LF in LF text") << "hit\r"
                                             << "hit\r" << int(Format::Utf8);
}

// Puts a hit at every offset of a long line, so that it and its neighbours' line ends fall on
// every edge of the 16- and 32-byte vectors.
void TestDifferential::vectorEdges()
{
    QFETCH(QString, found);
    QFETCH(QString, search);
    QFETCH(int, format);
    for (int offset = 0; offset < 70; ++offset) {
        for (const bool matchCase : {false, true}) {
            const QString text = QString(offset, QLatin1Char('.')) + found +
                                 QStringLiteral("\r\n") + QString(70 - offset, QLatin1Char('-')) +
                                 found + u'\n' + found + QStringLiteral("é\n");
            const QByteArray failure =
                check(bytesOf(text.toStdU16String(), Format(format)), Format(format),
                      Mode::ExtractSearchWordLineUp1, search.toStdU16String(), matchCase, 0, 0);
            QVERIFY2(failure.isEmpty(), failure.constData());
        }
    }
}

namespace {

// Returns lines of dots filling exactly length characters, each ended by lineEnd.
QString linesOf(qsizetype length, const QString &lineEnd)
{
    QString text;
    while (text.size() < length) {
        const qsizetype line = std::min<qsizetype>(999, length - text.size() - lineEnd.size());
        text += QString(std::max<qsizetype>(line, 0), u'.') + lineEnd;
    }
    return text.left(length);
}

} // namespace

void TestDifferential::acrossPieces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    const QString crLf = QStringLiteral("\r\n");
    const QString tail = QStringLiteral("after hit\r\nhit é\r\nlast\r\n");
    QTest::newRow("CR LF on both sides of the 65,536th character")
        << linesOf(65532, crLf) + "hit\r\n" + tail << "hit";
    QTest::newRow("LF file: its CR LF on both sides of the 65,536th character")
        << linesOf(65532, "\n") + "hit\r\nafter hit\nlast\n"
        << "hit";
    QTest::newRow("search text across the 65,536th character")
        << linesOf(65530, crLf) + "abDoZidaxy\r\n" + tail << "dozida";
    QTest::newRow("line end at the 65,536th character")
        << linesOf(65536, crLf) + "hit\r\n" + tail << "hit";
    QTest::newRow("line end as the first character of the next piece")
        << linesOf(65535, "\n") + "\nhit\n" + linesOf(70000, "\n") << "hit";
    QTest::newRow("line longer than a piece")
        << "first hit\r\n" + QString(140000, u'y') + "hit\r\n" + tail << "hit";
    QTest::newRow("no line end before a CR LF at the edge")
        << QString(65535, u'q') + "\r\nhit\r\n" + tail << "hit";
    QTest::newRow("CR LF text with only lone LFs in the piece")
        << "hit\r\n" + QString(65000, u'm') + "\n" + QString(600, u'm') + "hit\r\n" + tail << "hit";
    QTest::newRow("surrogate pair at the edge, no line end")
        << QString(65535, u'w') + QString::fromUtf8("😀hit\r\n") + tail << "hit";
    QTest::newRow("surrogate pair at the edge, after a line end")
        << linesOf(65000, crLf) + QString(535, u'w') + QString::fromUtf8("😀hit\r\n") + tail
        << QString::fromUtf8("😀");
    QTest::newRow("stray UTF-8 bytes near the edge")
        << linesOf(65530, "\n") + QString::fromUtf16(u"caf\xE00B hit\n\u00e9\u00e9\u00e9\n")
        << QString::fromUtf8("É");
    QTest::newRow("three pieces of short lines") << [] {
        QString text;
        for (int i = 0; text.size() < 200000; ++i)
            text += QStringLiteral("line %1 hit\r\n\r\n").arg(i);
        return text;
    }() << "hit 1";
}

// Files longer than a piece, with line ends, CR LF pairs, search texts and surrogate pairs at
// and around the 65,536th character, in every reading and mode.
void TestDifferential::acrossPieces()
{
    QFETCH(QString, text);
    QFETCH(QString, search);
    const std::u16string units = text.toStdU16String();
    const std::u16string sought = search.toStdU16String();
    for (const Format format : {Format::Windows1252, Format::Utf8, Format::Utf8Mark,
                                Format::Utf16LE, Format::Forced, Format::Utf8Stray}) {
        if (!isWide(format) && (!engine::encode(units) || !engine::encode(sought)))
            continue;
        const QByteArray bytes = bytesOf(units, format);
        for (int m = 0; m <= static_cast<int>(Mode::ExtractSearchWordLineDownAll); ++m) {
            const bool regex = m % 3 == 0;
            const std::u16string pattern =
                regex ? QRegularExpression::escape(search).toStdU16String() : sought;
            const QByteArray failure =
                check(bytes, format, Mode(m), pattern, m % 2 == 0, 2, 3, regex);
            QVERIFY2(failure.isEmpty(), failure.left(3000).constData());
        }
    }
}

void TestDifferential::chosenPatterns_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    const QString ids = QStringLiteral("id=0\r\nid=1\r\nid=\r\nID=9\r\nid=01\r\n");
    QTest::newRow("negated class of one after the required text") << ids << "id=[^0]";
    QTest::newRow("negated class of two") << ids << "id=[^01]";
    QTest::newRow("negated class of several, with a range") << ids << "id=[^a-c9]";
    QTest::newRow("negated class alone") << ids << "[^0]";
    QTest::newRow("^ last in a class") << QStringLiteral("a^b\r\nab\r\n^\r\nb\r\n") << "[a^]b";
    QTest::newRow("^ in a class of two before the required text")
        << QStringLiteral("0x\r\n^x\r\nx\r\n") << "[0^]x";
    QTest::newRow("negated ^") << QStringLiteral("^^\r\n^a\r\na\r\n") << "^[^^]";
    QTest::newRow("interpreted: (*NO_JIT)") << ids << "(*NO_JIT)id=[^0]";
}

// Patterns whose required text sits beside a class that leaves characters out: the narrowing
// search must never drop a line the pattern matches.
void TestDifferential::chosenPatterns()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    const std::u16string units = text.toStdU16String();
    for (const Format format : {Format::Windows1252, Format::Utf8, Format::Utf16LE}) {
        for (int m = 0; m <= static_cast<int>(Mode::ExtractSearchWordLineDownAll); ++m) {
            for (const bool matchCase : {false, true}) {
                const QByteArray failure = check(bytesOf(units, format), format, Mode(m),
                                                 pattern.toStdU16String(), matchCase, 1, 1, true);
                QVERIFY2(failure.isEmpty(), failure.constData());
            }
        }
    }
}

void TestDifferential::randomLongFiles_data()
{
    randomPieces_data();
}

// Random files of several pieces: short lines, and lines longer than a piece, some ending in
// a lone CR.
void TestDifferential::randomLongFiles()
{
    QFETCH(int, mode);
    QFETCH(int, format);
    const auto how = Format(format);
    std::mt19937 random(31u + static_cast<unsigned>(mode * 8 + format));
    std::uniform_int_distribution<int> count(-1, 13);
    std::uniform_int_distribution<size_t> runLength(100, 70000);
    for (int round = 0; round < 2; ++round) {
        std::u16string text;
        while (text.size() < 100000) {
            if (random() % 3 != 0) {
                text += randomText(random, 4000, how);
                continue;
            }
            std::u16string unit = randomText(random, 30, how);
            std::erase_if(unit, [](char16_t c) { return c == u'\r' || c == u'\n'; });
            for (size_t length = runLength(random); !unit.empty() && length > 0;) {
                const std::u16string part = unit.substr(0, std::min(length, unit.size()));
                text += part;
                length -= part.size();
            }
            text += random() % 2 == 0 ? u"\r" : u"\r\n";
        }
        std::u16string search = randomNeedle(random, text, how);
        if (!isWide(how) && !engine::encode(search))
            search.clear();
        const QByteArray failure = check(bytesOf(text, how), how, Mode(mode), search,
                                         (round & 1) != 0, count(random), count(random));
        QVERIFY2(failure.isEmpty(), failure.left(3000).constData());
    }
}

QTEST_APPLESS_MAIN(TestDifferential)
#include "tst_differential.moc"
