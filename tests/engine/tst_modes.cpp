#include "engine/BlockList.h"
#include "engine/Modes.h"
#include "engine/Needle.h"

#include <QtTest>

#include <climits>

using engine::Mode;

Q_DECLARE_METATYPE(Mode)

namespace {

// Joins lines with CR LF between them, as a file would hold them.
QByteArray piece(const QByteArrayList &lines)
{
    return lines.join("\r\n");
}

// Returns a block's text: each line followed by CR LF.
QByteArray block(const QByteArrayList &lines)
{
    QByteArray text;
    for (const auto &line : lines)
        text += line + "\r\n";
    return text;
}

QByteArrayList run(Mode mode, const QByteArray &text, const engine::Needle &needle, int x = 1,
                   int y = 1)
{
    engine::BlockList out;
    engine::extract(mode, std::string_view(text.constData(), size_t(text.size())), needle, x, y,
                    out);
    QByteArrayList blocks;
    for (size_t i = 0; i < out.size(); ++i)
        blocks << QByteArray::fromStdString(out.text(i));
    return blocks;
}

engine::Needle needleOf(const QByteArray &search, bool matchCase)
{
    return engine::Needle::fromBytes(std::string_view(search.constData(), size_t(search.size())),
                                     matchCase);
}

} // namespace

class TestModes : public QObject {
    Q_OBJECT

private slots:
    void blocks_data();
    void blocks();
    void needleThatCannotOccurMatchesNothing();
    void routineReplacesEarlierBlocks();
    void hugeCountsStayFast();
    void lineNumbers_data();
    void lineNumbers();
};

void TestModes::blocks_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("search");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QByteArrayList>("expected");

    const Mode line = Mode::ExtractSearchWordLine;
    const QByteArray peter = piece({"peter pan", "PETER", "Peter", "Pete"});

    // Matching rule.
    QTest::newRow("case ignored finds every spelling")
        << line << peter << QByteArray("Peter") << false << 0 << 0
        << QByteArrayList{block({"peter pan"}), block({"PETER"}), block({"Peter"})};
    QTest::newRow("match case finds the exact spelling only")
        << line << peter << QByteArray("Peter") << true << 0 << 0
        << QByteArrayList{block({"Peter"})};
    QTest::newRow("spaces in the search text count")
        << line << piece({"It was only", "It  was on"}) << QByteArray("t was on") << true << 0 << 0
        << QByteArrayList{block({"It was only"})};
    QTest::newRow("line holding the text twice is one block")
        << line << piece({"abab", "x"}) << QByteArray("ab") << true << 0 << 0
        << QByteArrayList{block({"abab"})};
    QTest::newRow("two matching lines in file order")
        << line << piece({"one hit", "none", "two hit"}) << QByteArray("hit") << true << 0 << 0
        << QByteArrayList{block({"one hit"}), block({"two hit"})};
    QTest::newRow("LF-only line ends make one line")
        << line << QByteArray("one\ntwo\nthree") << QByteArray("two") << true << 0 << 0
        << QByteArrayList{QByteArray("one\ntwo\nthree\r\n")};
    QTest::newRow("lone CR stays inside the line")
        << line << QByteArray("a\rb\r\nc") << QByteArray("b") << true << 0 << 0
        << QByteArrayList{QByteArray("a\rb\r\n")};
    QTest::newRow("empty search text matches every non-empty line")
        << line << QByteArray("a\r\n\r\nb") << QByteArray() << true << 0 << 0
        << QByteArrayList{block({"a"}), block({"b"})};
    QTest::newRow("empty search text on a piece of line ends")
        << line << QByteArray("\r\n\r\n") << QByteArray() << false << 0 << 0 << QByteArrayList{};
    QTest::newRow("empty piece has no lines")
        << line << QByteArray() << QByteArray() << true << 0 << 0 << QByteArrayList{};
    QTest::newRow("search text ending in CR of a line end")
        << line << QByteArray("x\r\ny") << QByteArray("x\r") << true << 0 << 0 << QByteArrayList{};
    QTest::newRow("search text starting with LF of a line end")
        << line << QByteArray("x\r\ny") << QByteArray("\ny") << true << 0 << 0 << QByteArrayList{};
    QTest::newRow("search text ending in a lone CR")
        << line << QByteArray("x\r\nx\rz") << QByteArray("x\r") << true << 0 << 0
        << QByteArrayList{QByteArray("x\rz\r\n")};
    QTest::newRow("CR of a line end skipped, later hit in the same line found")
        << line << QByteArray("ab\r\nzzab\rq") << QByteArray("b\r") << true << 0 << 0
        << QByteArrayList{QByteArray("zzab\rq\r\n")};
    QTest::newRow("search text holding CR LF never matches")
        << line << QByteArray("a\r\nb") << QByteArray("a\r\nb") << true << 0 << 0
        << QByteArrayList{};
    QTest::newRow("accented capitals lowered: E acute")
        << line << QByteArray("CAF\xC9") << QByteArray("caf\xE9") << false << 0 << 0
        << QByteArrayList{QByteArray("CAF\xC9\r\n")};
    QTest::newRow("accented capitals lowered: S caron") << line
                                                        << QByteArray("\x8A"
                                                                      "koda")
                                                        << QByteArray("\x9A"
                                                                      "KODA")
                                                        << false << 0 << 0
                                                        << QByteArrayList{QByteArray("\x8A"
                                                                                     "koda\r\n")};
    QTest::newRow("Y diaeresis lowers to y diaeresis")
        << line << QByteArray("\x9F") << QByteArray("\xFF") << false << 0 << 0
        << QByteArrayList{QByteArray("\x9F\r\n")};
    QTest::newRow("multiply sign is not a capital of the division sign")
        << line << QByteArray("\xD7") << QByteArray("\xF7") << false << 0 << 0 << QByteArrayList{};
    QTest::newRow("accents differ with match case")
        << line << QByteArray("CAF\xC9") << QByteArray("CAF\xE9") << true << 0 << 0
        << QByteArrayList{};

    // Fixed context.
    QTest::newRow("up1down1 drops the empty line above and fetches nothing for it")
        << Mode::ExtractSearchWordLineUp1Down1 << piece({"x", "", "match", "y"})
        << QByteArray("match") << true << 0 << 0 << QByteArrayList{block({"match", "y"})};
    QTest::newRow("down1 on adjacent matches repeats the shared line")
        << Mode::ExtractSearchWordLineDown1 << piece({"m1", "m2", "z"}) << QByteArray("m") << true
        << 0 << 0 << QByteArrayList{block({"m1", "m2"}), block({"m2", "z"})};
    QTest::newRow("down3 on the last line")
        << Mode::ExtractSearchWordLineDown3 << piece({"a", "b", "hit"}) << QByteArray("hit") << true
        << 0 << 0 << QByteArrayList{block({"hit"})};
    QTest::newRow("down1 before the empty last line of a piece")
        << Mode::ExtractSearchWordLineDown1 << QByteArray("a\r\nhit\r\n") << QByteArray("hit")
        << true << 0 << 0 << QByteArrayList{block({"hit"})};
    QTest::newRow("up3 on the first line")
        << Mode::ExtractSearchWordLineUp3 << piece({"hit", "b"}) << QByteArray("hit") << true << 0
        << 0 << QByteArrayList{block({"hit"})};
    QTest::newRow("up2 takes two lines above")
        << Mode::ExtractSearchWordLineUp2 << piece({"a", "b", "c", "hit"}) << QByteArray("hit")
        << true << 0 << 0 << QByteArrayList{block({"b", "c", "hit"})};
    QTest::newRow("up1 with a match above repeats it")
        << Mode::ExtractSearchWordLineUp1 << piece({"hit1", "hit2"}) << QByteArray("hit") << true
        << 0 << 0 << QByteArrayList{block({"hit1"}), block({"hit1", "hit2"})};
    QTest::newRow("down2 takes two lines below")
        << Mode::ExtractSearchWordLineDown2 << piece({"hit", "a", "b", "c"}) << QByteArray("hit")
        << true << 0 << 0 << QByteArrayList{block({"hit", "a", "b"})};
    QTest::newRow("up3down1 in the middle")
        << Mode::ExtractSearchWordLineUp3Down1 << piece({"0", "1", "2", "3", "hit", "5", "6"})
        << QByteArray("hit") << true << 0 << 0
        << QByteArrayList{block({"1", "2", "3", "hit", "5"})};
    QTest::newRow("neighbour line holding a lone LF")
        << Mode::ExtractSearchWordLineUp1Down1 << QByteArray("a\nb\r\nhit\r\nc\rd")
        << QByteArray("hit") << true << 0 << 0
        << QByteArrayList{QByteArray("a\nb\r\nhit\r\nc\rd\r\n")};

    // X above and Y below.
    const Mode xy = Mode::ExtractSearchWordLineUpXDownY;
    QTest::newRow("x2 y1 on the first line")
        << xy << piece({"hit", "b", "c"}) << QByteArray("hit") << true << 2 << 1
        << QByteArrayList{block({"hit", "b"})};
    QTest::newRow("x5 on a three-line piece")
        << xy << piece({"a", "b", "hit"}) << QByteArray("hit") << true << 5 << 1
        << QByteArrayList{block({"a", "b", "hit"})};
    QTest::newRow("x1 y1 equals one above and one below")
        << xy << piece({"a", "", "hit", "c", "d"}) << QByteArray("hit") << true << 1 << 1
        << QByteArrayList{block({"hit", "c"})};
    QTest::newRow("x0 y0 is the line alone") << xy << piece({"a", "hit", "c"}) << QByteArray("hit")
                                             << true << 0 << 0 << QByteArrayList{block({"hit"})};
    QTest::newRow("negative counts add nothing")
        << xy << piece({"a", "hit", "c"}) << QByteArray("hit") << true << -1 << -1
        << QByteArrayList{block({"hit"})};
    QTest::newRow("empty lines count as positions")
        << xy << piece({"a", "", "", "hit", "", "b"}) << QByteArray("hit") << true << 2 << 1
        << QByteArrayList{block({"hit"})};
    QTest::newRow("largest counts reach the piece's edges")
        << xy << piece({"a", "hit", "", "c"}) << QByteArray("hit") << true << INT_MAX << INT_MAX
        << QByteArrayList{block({"a", "hit", "c"})};

    // First and second line below.
    QTest::newRow("1st below gives the next line")
        << Mode::Extract1stLineBelow << piece({"Name:", "Smith"}) << QByteArray("Name:") << true
        << 0 << 0 << QByteArrayList{block({"Smith"})};
    QTest::newRow("1st below on an empty line gives an empty entry")
        << Mode::Extract1stLineBelow << piece({"Name:", "", "Smith"}) << QByteArray("Name:") << true
        << 0 << 0 << QByteArrayList{QByteArray()};
    QTest::newRow("2nd below skips the line between")
        << Mode::Extract2ndLineBelow << piece({"Name:", "", "Smith"}) << QByteArray("Name:") << true
        << 0 << 0 << QByteArrayList{block({"Smith"})};
    QTest::newRow("1st below on the last line gives an empty entry")
        << Mode::Extract1stLineBelow << piece({"a", "Name:"}) << QByteArray("Name:") << true << 0
        << 0 << QByteArrayList{QByteArray()};
    QTest::newRow("2nd below one line before the end gives an empty entry")
        << Mode::Extract2ndLineBelow << piece({"Name:", "x"}) << QByteArray("Name:") << true << 0
        << 0 << QByteArrayList{QByteArray()};
    QTest::newRow("1st below on consecutive matches")
        << Mode::Extract1stLineBelow << piece({"k1", "k2", "v"}) << QByteArray("k") << true << 0
        << 0 << QByteArrayList{block({"k2"}), block({"v"})};

    // All above and all below.
    const QByteArray twoHits = piece({"a", "hit", "b", "hit", "c"});
    QTest::newRow("all above ends at the last match")
        << Mode::ExtractSearchWordLineUpAll << twoHits << QByteArray("hit") << true << 0 << 0
        << QByteArrayList{block({"a"}), block({"hit"}), block({"b"}), block({"hit"})};
    QTest::newRow("all below starts at the first match")
        << Mode::ExtractSearchWordLineDownAll << twoHits << QByteArray("hit") << true << 0 << 0
        << QByteArrayList{block({"hit"}), block({"b"}), block({"hit"}), block({"c"})};
    QTest::newRow("all above with a match on the first line")
        << Mode::ExtractSearchWordLineUpAll << piece({"hit", "b"}) << QByteArray("hit") << true << 0
        << 0 << QByteArrayList{block({"hit"})};
    QTest::newRow("all below with a match on the last line")
        << Mode::ExtractSearchWordLineDownAll << piece({"a", "hit"}) << QByteArray("hit") << true
        << 0 << 0 << QByteArrayList{block({"hit"})};
    QTest::newRow("all below keeps the empty last line as an empty entry")
        << Mode::ExtractSearchWordLineDownAll << QByteArray("alpha\r\nbeta\r\n")
        << QByteArray("alpha") << true << 0 << 0
        << QByteArrayList{block({"alpha"}), block({"beta"}), QByteArray()};
    QTest::newRow("all above gives empty entries for empty lines")
        << Mode::ExtractSearchWordLineUpAll << piece({"a", "", "hit", "b"}) << QByteArray("hit")
        << true << 0 << 0 << QByteArrayList{block({"a"}), QByteArray(), block({"hit"})};
    QTest::newRow("all above without a match")
        << Mode::ExtractSearchWordLineUpAll << piece({"a", "b"}) << QByteArray("hit") << true << 0
        << 0 << QByteArrayList{};
    QTest::newRow("all below without a match")
        << Mode::ExtractSearchWordLineDownAll << piece({"a", "b"}) << QByteArray("hit") << true << 0
        << 0 << QByteArrayList{};
}

void TestModes::blocks()
{
    QFETCH(Mode, mode);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, search);
    QFETCH(bool, matchCase);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QByteArrayList, expected);
    QCOMPARE(run(mode, text, needleOf(search, matchCase), x, y), expected);
}

void TestModes::needleThatCannotOccurMatchesNothing()
{
    QCOMPARE(run(Mode::ExtractSearchWordLine, "a\r\nb", engine::Needle::never()), QByteArrayList{});
    QCOMPARE(run(Mode::ExtractSearchWordLineDownAll, "a\r\nb", engine::Needle::never()),
             QByteArrayList{});
}

// A list reused for the next piece must not keep blocks of the last one.
void TestModes::routineReplacesEarlierBlocks()
{
    engine::BlockList out;
    const auto needle = needleOf("hit", true);
    engine::extract(Mode::ExtractSearchWordLineUp1, "a\r\nhit\r\nhit", needle, 0, 0, out);
    QCOMPARE(out.size(), size_t(2));
    engine::extract(Mode::ExtractSearchWordLineUp1, "hit", needle, 0, 0, out);
    QCOMPARE(out.size(), size_t(1));
    QCOMPARE(out.text(0), std::string("hit\r\n"));
    engine::extract(Mode::ExtractSearchWordLineUp1, "none", needle, 0, 0, out);
    QVERIFY(out.empty());
}

// Each match walks only to the piece's edges, not X or Y times: counted out one by one, the
// walk would never end.
void TestModes::hugeCountsStayFast()
{
    QByteArray text;
    for (int i = 0; i < 5000; ++i)
        text += i % 500 == 0 ? "hit\r\n" : "\r\n";
    const auto blocks =
        run(Mode::ExtractSearchWordLineUpXDownY, text, needleOf("hit", true), INT_MAX, INT_MAX);
    QCOMPARE(blocks.size(), 10);
    QCOMPARE(blocks.first(), block(QByteArrayList(10, "hit")));
}

using Numbers = QList<qulonglong>;

void TestModes::lineNumbers_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("lf");
    QTest::addColumn<qulonglong>("first");
    QTest::addColumn<Numbers>("lines");   // of every stored line, in order
    QTest::addColumn<Numbers>("matches"); // of each block's matching line
    QTest::addColumn<bool>("nextStartsWithLf");
    QTest::addColumn<qulonglong>("next"); // the next piece's first line

    QTest::newRow("LF lines, an empty line left out")
        << Mode::ExtractSearchWordLineUp1 << QByteArray("a\nhit\n\nb hit\n") << true
        << qulonglong(1) << Numbers{1, 2, 4} << Numbers{2, 4} << false << qulonglong(5);
    QTest::newRow("CR LF lines holding a lone CR and a lone LF, overlapping blocks")
        << Mode::ExtractSearchWordLineUp1 << QByteArray("x\ry\r\nhit\nz\r\nhit") << false
        << qulonglong(10) << Numbers{10, 11, 11, 12} << Numbers{11, 12} << false << qulonglong(12);
    QTest::newRow("a CR LF in LF text is one line end")
        << Mode::ExtractSearchWordLine << QByteArray("hit\r\nhit\n\nhit") << true << qulonglong(1)
        << Numbers{1, 2, 4} << Numbers{1, 2, 4} << false << qulonglong(4);
    QTest::newRow("first line below: the matching line is not in the block")
        << Mode::Extract1stLineBelow << QByteArray("hit\n\nhit\nc") << true << qulonglong(1)
        << Numbers{4} << Numbers{1, 3} << false << qulonglong(4);
    QTest::newRow("all lines above: every block's match is the last one")
        << Mode::ExtractSearchWordLineUpAll << QByteArray("a\r\nhit\r\nb\r\nhit\r\nc") << false
        << qulonglong(1) << Numbers{1, 2, 3, 4} << Numbers{4, 4, 4, 4} << false << qulonglong(5);
    QTest::newRow("past 2^32 lines")
        << Mode::ExtractSearchWordLineDown1 << QByteArray("hit\nb\nhit\n") << true
        << qulonglong(4294967295u) << Numbers{4294967295u, 4294967296u, 4294967297u}
        << Numbers{4294967295u, 4294967297u} << false << qulonglong(4294967298u);
    QTest::newRow("a CR at the end before the next piece's LF ends a line")
        << Mode::ExtractSearchWordLine << QByteArray("hit\r\nab\r") << false << qulonglong(1)
        << Numbers{1} << Numbers{1} << true << qulonglong(3);
    QTest::newRow("a CR at the end before other text does not")
        << Mode::ExtractSearchWordLine << QByteArray("hit\r\nab\r") << false << qulonglong(1)
        << Numbers{1} << Numbers{1} << false << qulonglong(2);
    QTest::newRow("nor in LF text")
        << Mode::ExtractSearchWordLine << QByteArray("hit\nab\r") << true << qulonglong(1)
        << Numbers{1} << Numbers{1} << true << qulonglong(2);
}

// Line numbers count the line ends before each line, from the piece's first line on, also
// past what 32 bits hold (a file of more than 2^32 lines).
void TestModes::lineNumbers()
{
    QFETCH(Mode, mode);
    QFETCH(QByteArray, text);
    QFETCH(bool, lf);
    QFETCH(qulonglong, first);
    QFETCH(Numbers, lines);
    QFETCH(Numbers, matches);
    QFETCH(bool, nextStartsWithLf);
    QFETCH(qulonglong, next);
    const engine::LineEnds ends = lf ? engine::LineEnds::Lf : engine::LineEnds::CrLf;
    const std::string_view piece(text.constData(), size_t(text.size()));
    engine::BlockList out;
    engine::extract(mode, piece, needleOf("hit", true), 1, 1, out, ends);
    engine::LineNumbering numbering(piece, ends, first);
    out.numberLines(numbering, piece.data());
    QCOMPARE(Numbers(out.lineNumbers().begin(), out.lineNumbers().end()), lines);
    Numbers matched;
    for (size_t b = 0; b < out.size(); ++b)
        matched << out.matchNumber(b);
    QCOMPARE(matched, matches);
    QCOMPARE(qulonglong(numbering.next(nextStartsWithLf)), next);
}

QTEST_APPLESS_MAIN(TestModes)
#include "tst_modes.moc"
