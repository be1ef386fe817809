#include "run/ExtractionRun.h"
#include "run/PackedSearch.h"
#include "support/Fakes.h"
#include "support/PackedSamples.h"

#include "engine/StreamText.h"

#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <thread>

#include <array>
#include <optional>
#include <random>
#include <utility>

namespace {

// The modes in the order of the window's mode list, which the tables number them by.
const std::array<engine::Mode, 14> listedModes = {
    engine::Mode::ExtractSearchWordLineUpXDownY, engine::Mode::ExtractSearchWordLine,
    engine::Mode::ExtractSearchWordLineUp1,      engine::Mode::ExtractSearchWordLineUp2,
    engine::Mode::ExtractSearchWordLineUp3,      engine::Mode::ExtractSearchWordLineDown1,
    engine::Mode::ExtractSearchWordLineDown2,    engine::Mode::ExtractSearchWordLineDown3,
    engine::Mode::ExtractSearchWordLineUp3Down1, engine::Mode::ExtractSearchWordLineUp1Down1,
    engine::Mode::Extract1stLineBelow,           engine::Mode::Extract2ndLineBelow,
    engine::Mode::ExtractSearchWordLineUpAll,    engine::Mode::ExtractSearchWordLineDownAll,
};

// Records everything a run hands on.
class RecordingSink : public run::RunSink {
public:
    void progress(int value, const QString &caption) override
    {
        progressShown.append(QString::number(value) + QLatin1Char(' ') + caption);
    }
    void addRow(const QString &prefix, QStringView text, run::RowSource source) override
    {
        rows.append(prefix + text.toString());
        files.append(source.file);
        lines.append(source.line);
        members.append(source.member
                           ? source.member->name + u'#' + QString::number(source.member->index)
                           : QString());
        if (onRow)
            onRow();
    }
    void ended(run::RunEnd end) override { ends.append(end); }
    std::optional<run::TextRows> textRows() const override { return asText; }
    void adoptText(engine::OwnedBytes text, size_t size, size_t count) override
    {
        const QStringList taken =
            QString::fromUtf8(text.get(), qsizetype(size)).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(size_t(taken.size()), count);
        rows += taken;
    }

    // Set, the sink takes rows as text ended so, which the workers then write.
    std::optional<run::TextRows> asText;
    QStringList rows;
    // Where each row came from: its file's position in the request, and its line.
    QList<qsizetype> files;
    QList<qulonglong> lines;
    // The member of each row as name#index, empty for a row of a file's own bytes.
    QStringList members;
    QStringList progressShown;
    QList<run::RunEnd> ends;
    std::function<void()> onRow;
};

} // namespace

// The run on its own, with no window: a request in, rows out.
class TestExtractionRun : public QObject {
    Q_OBJECT
private slots:
    void init();
    void rows_data();
    void rows();
    void regexRows_data();
    void regexRows();
    void rowLines_data();
    void rowLines();
    void patternThatGivesUpIsReportedOncePerRun();
    void progressNamesEachFile();
    void longFileGivesOneRowPerPieceOnOneLine();
    void unreadableFileIsReportedAndTheRunGoesOn();
    void stopBetweenFilesSkipsTheRest();
    void stopDuringRowsKeepsWhatWasAdded();
    void stopAmongRowsAddedOneByOne_data();
    void stopAmongRowsAddedOneByOne();
    void newStartAfterStopDoesNotRevivePreviousRun();
    void readEveryFileAsWindows1252_data();
    void readEveryFileAsWindows1252();
    void stopBetweenPiecesOfOneFile();
    void oneWorkerAndManyGiveTheSameRows();
    void moreFilesThanTheWorkersReadAhead_data();
    void moreFilesThanTheWorkersReadAhead();
    void folderRunsAsTheFilesFoundForIt_data();
    void folderRunsAsTheFilesFoundForIt();
    void packedRowsEqualPlainRows_data();
    void packedRowsEqualPlainRows();
    void bombIsSearchedInBoundedMemory_data();
    void bombIsSearchedInBoundedMemory();

private:
    QString write(const QString &name, const QByteArray &bytes);
    void addRowColumns();
    void click() { m_end = m_run->run(m_request, m_sink); }

    std::unique_ptr<QTemporaryDir> m_dir;
    fakes::FakeYield m_yield;
    fakes::RecordingReporter m_reporter;
    RecordingSink m_sink;
    run::RunRequest m_request;
    run::RunEnd m_end = run::RunEnd::Superseded;
    std::unique_ptr<run::ExtractionRun> m_run;
};

void TestExtractionRun::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_yield = fakes::FakeYield();
    m_reporter.reports.clear();
    m_sink = RecordingSink();
    m_request = run::RunRequest();
    m_request.mode = engine::Mode::ExtractSearchWordLine;
    m_request.display = run::DisplayOption::LineOnly;
    m_run = std::make_unique<run::ExtractionRun>(m_yield, m_reporter);
}

QString TestExtractionRun::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestExtractionRun::addRowColumns()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("matchCase");
    QTest::addColumn<int>("oneLine");
    QTest::addColumn<int>("display");
    QTest::addColumn<QStringList>("expected"); // "P" stands for the file's path
}

void TestExtractionRun::rows_data()
{
    addRowColumns();

    const QByteArray names = "Name:\r\nSmith\r\nage 3\r\nname: x\r\n";
    const auto line = int(run::DisplayOption::LineOnly);
    const auto fileLine = int(run::DisplayOption::FileAndLine);
    const auto fileOnly = int(run::DisplayOption::FileOnly);
    const auto none = int(run::DisplayOption::None);

    QTest::newRow("line only, case-insensitive")
        << names << 1 << "name:" << 0 << 0 << line << QStringList{"Name:", "name: x"};
    QTest::newRow("match case") << names << 1 << "Name:" << 1 << 0 << line << QStringList{"Name:"};
    QTest::newRow("filename and line")
        << names << 1 << "Smith" << 0 << 0 << fileLine << QStringList{"P Smith"};
    QTest::newRow("filename only, once per line")
        << names << 5 << "Name:" << 1 << 0 << fileOnly << QStringList{"P", "P"};
    QTest::newRow("no display option adds nothing")
        << names << 1 << "Name:" << 0 << 0 << none << QStringList{};
    QTest::newRow("overlapping blocks repeat lines")
        << QByteArray("A\r\nB\r\nC\r\n") << 2 << "" << 0 << 0 << line
        << QStringList{"A", "A", "B", "B", "C"};
    QTest::newRow("one line above, B and C match")
        << QByteArray("A\r\nBx\r\nCx\r\n") << 2 << "x" << 0 << 0 << line
        << QStringList{"A", "Bx", "Bx", "Cx"};
    QTest::newRow("one line: blocks joined by a space")
        << names << 5 << "name:" << 0 << 1 << line << QStringList{"Name:Smith name: x "};
    QTest::newRow("one line, filename and line")
        << names << 1 << "smith" << 0 << 1 << fileLine << QStringList{"P Smith "};
    QTest::newRow("one line, filename only: one row per piece")
        << names << 1 << "name" << 0 << 1 << fileOnly << QStringList{"P"};
    QTest::newRow("1st line below the last line, per line: no row")
        << QByteArray("a\r\nkey") << 10 << "key" << 0 << 0 << line << QStringList{};
    QTest::newRow("1st line below the last line, one line: a space")
        << QByteArray("a\r\nkey") << 10 << "key" << 0 << 1 << line << QStringList{" "};
    QTest::newRow("1st line below the last line, one line, with path: two spaces")
        << QByteArray("a\r\nkey") << 10 << "key" << 0 << 1 << fileLine << QStringList{"P  "};
    QTest::newRow("all above, one line: empty line shows as two spaces")
        << QByteArray("a\r\n\r\nb hit\r\nc") << 12 << "hit" << 0 << 1 << line
        << QStringList{"a  b hit "};
    QTest::newRow("one line drops lone CR and LF inside lines")
        << QByteArray("x\ry hit\r\nz\nw\r\n") << 13 << "hit" << 0 << 1 << line
        << QStringList{"xy hit zw  "};
    QTest::newRow("per line keeps lone CR and LF inside lines")
        << QByteArray("x\ry hit\r\nz\nw\r\n") << 13 << "hit" << 0 << 0 << line
        << QStringList{"x\ry hit", "z\nw"};
    QTest::newRow("empty search: every non-empty line")
        << QByteArray("a\r\n\r\nb\r\n") << 1 << "" << 0 << 0 << line << QStringList{"a", "b"};
    QTest::newRow("search holding CR LF never matches")
        << QByteArray("a\r\nb\r\n") << 1 << "a\r\nb" << 0 << 0 << line << QStringList{};
    QTest::newRow("search holding a lone LF")
        << QByteArray("x\r\na\nb\r\nc\r\n") << 1 << "a\nb" << 0 << 0 << line << QStringList{"a\nb"};
    QTest::newRow("LF file: lines end at LF") << QByteArray("alpha\nbeta hit\ngamma\n") << 1
                                              << "hit" << 0 << 0 << line << QStringList{"beta hit"};
    QTest::newRow("LF file: a CR before LF belongs to the line end, a lone CR stays")
        << QByteArray("a\nb\rhit\r\nc\n") << 5 << "hit" << 0 << 0 << line
        << QStringList{"b\rhit", "c"};
    QTest::newRow("LF file: a search holding LF never matches")
        << QByteArray("a\nb\r\nc\r\n") << 1 << "a\nb" << 0 << 0 << line << QStringList{};
    QTest::newRow("UTF-8 file: é finds É and é")
        << QByteArray("caf\xC3\xA9\nCAF\xC3\x89\nx\n") << 1 << QString::fromUtf8("é") << 0 << 0
        << line << QStringList{QString::fromUtf8("café"), QString::fromUtf8("CAFÉ")};
    QTest::newRow("UTF-8 file: ASCII search, every kind of row")
        << QByteArray("\xE6\x97\xA5 Hit \xF0\x9F\x98\x80\n") << 1 << "hit" << 0 << 1 << fileLine
        << QStringList{QString::fromUtf8("P 日 Hit 😀 ")};
    QTest::newRow("UTF-8 file: ASCII and accented rows in one piece")
        << QByteArray("hit one\ncaf\xC3\xA9 hit\nhit two\n") << 1 << "hit" << 0 << 0 << fileLine
        << QStringList{"P hit one", QString::fromUtf8("P café hit"), "P hit two"};
    QTest::newRow("UTF-8 file: rows from U+00A0 to U+00FF")
        << QByteArray("\xC2\xA0hit \xC3\xBF\n\xC3\x80 hit\nx\n") << 1 << "hit" << 0 << 0 << fileLine
        << QStringList{"P \u00A0hit \u00FF", "P \u00C0 hit"};
    QTest::newRow("UTF-8 file: rows from U+00A0 to U+00FF, and one with U+0085")
        << QByteArray("\xC3\xA9 hit\n\xC2\x85 hit\n") << 1 << "hit" << 0 << 0 << fileLine
        << QStringList{"P \u00E9 hit", "P \u0085 hit"};
    QTest::newRow("UTF-8 file: rows from U+00A0 to U+00FF, and one with U+0100")
        << QByteArray("\xC3\xA9 hit\n\xC4\x80 hit") << 1 << "hit" << 0 << 0 << fileLine
        << QStringList{"P \u00E9 hit", "P \u0100 hit"};
    QTest::newRow("UTF-8 file whose rows are all ASCII")
        << QByteArray("caf\xC3\xA9\nhit one\nhit two\n") << 1 << "hit" << 0 << 0 << fileLine
        << QStringList{"P hit one", "P hit two"};
    QTest::newRow("UTF-8 mark is not text")
        << QByteArray("\xEF\xBB\xBFhit\r\n") << 1 << "" << 0 << 0 << line << QStringList{"hit"};
    QTest::newRow("UTF-8 mark before malformed bytes: replacement characters")
        << QByteArray("\xEF\xBB\xBF\xFFhit\n") << 1 << "hit" << 0 << 0 << line
        << QStringList{QString::fromUtf8("\xEF\xBF\xBDhit")};
    QTest::newRow("malformed UTF-8 without a mark is Windows-1252")
        << QByteArray("caf\xC3 hit\n") << 1 << "hit" << 0 << 0 << line
        << QStringList{QString::fromUtf8("cafÃ hit")};
    QTest::newRow("UTF-16 LE: Ä finds ä; an odd last byte is a replacement character")
        << QByteArray("\xFF\xFE\xE4\0\r\0\n\0x", 9) << 1 << QString::fromUtf8("Ä") << 0 << 0 << line
        << QStringList{QString::fromUtf8("ä")};
    QTest::newRow("UTF-16 BE, LF lines") << QByteArray("\xFE\xFF\0a\0\n\0h\0i\0t\0\n", 14) << 5
                                         << "HIT" << 0 << 0 << line << QStringList{"hit"};
    QTest::newRow("accented letters fold case")
        << QByteArray("caf\xC9 Au Lait\r\nX\r\n") << 1 << QString::fromUtf8("café") << 0 << 0
        << line << QStringList{QString::fromUtf8("cafÉ Au Lait")};
    QTest::newRow("a character with no byte never matches with match case")
        << QByteArray("a\r\n") << 1 << QString::fromUtf8("a\xE2\x82\xAC\xE2\x82\xAC") << 1 << 0
        << line << QStringList{};
    QTest::newRow("the euro sign is a byte of its own")
        << QByteArray("cost 5\x80\r\n") << 1 << QString::fromUtf8("5€") << 1 << 0 << line
        << QStringList{QString::fromUtf8("cost 5€")};
    QTest::newRow("NUL bytes stay in the row")
        << QByteArray("a\0b hit\r\n", 9) << 1 << "hit" << 0 << 0 << line
        << QStringList{QString::fromLatin1("a\0b hit", 7)};
}

void TestExtractionRun::regexRows_data()
{
    addRowColumns();

    const auto line = int(run::DisplayOption::LineOnly);
    const auto fileLine = int(run::DisplayOption::FileAndLine);
    const QByteArray log = "2024-01-05 start\r\nlog 2024-01-06\r\nend\r\n";
    const QByteArray utf16 = QByteArray("\xFF\xFE\xC9\0\r\0\n\0\x3D\xD8\x00\xDEx\0", 14);

    QTest::newRow("^ anchors at each line's start")
        << log << 1 << R"(^\d{4}-\d\d-\d\d)" << 0 << 0 << line << QStringList{"2024-01-05 start"};
    QTest::newRow("$ anchors before the line end")
        << log << 1 << R"(\d$)" << 0 << 0 << fileLine << QStringList{"P log 2024-01-06"};
    QTest::newRow("alternation, one line below")
        << QByteArray("error here\r\nx\r\nwarn\r\ny\r\n") << 5 << "error|warn" << 0 << 0 << line
        << QStringList{"error here", "x", "warn", "y"};
    QTest::newRow("match case makes the pattern exact")
        << QByteArray("Error\r\nerror\r\n") << 1 << "^e" << 1 << 0 << line << QStringList{"error"};
    QTest::newRow("Windows-1252: classes and caseless accented letters")
        << QByteArray("Caf\xC9 cr\xE8me\r\ncafe creme\r\n") << 1 << R"(caf[é]\s+CR\wME)" << 0 << 0
        << line << QStringList{QString::fromUtf8("CafÉ crème")};
    QTest::newRow("UTF-8: \\w takes accented letters")
        << QByteArray("na\xC3\xAFve\nx-y\n") << 1 << R"(^\w+$)" << 0 << 0 << line
        << QStringList{QString::fromUtf8("naïve")};
    QTest::newRow("UTF-8: . is one character")
        << QByteArray("\xE6\x97\xA5\xE6\x9C\xAC\nabcdef\n") << 1 << "^..$" << 0 << 0 << line
        << QStringList{QString::fromUtf8("日本")};
    QTest::newRow("UTF-16: é caseless finds É") << utf16 << 1 << QString::fromUtf8("é") << 0 << 0
                                                << line << QStringList{QString::fromUtf8("É")};
    QTest::newRow("UTF-16: é with match case does not")
        << utf16 << 1 << QString::fromUtf8("é") << 1 << 0 << line << QStringList{};
    QTest::newRow("UTF-16: a surrogate pair is one character")
        << utf16 << 1 << "^.x$" << 1 << 0 << line << QStringList{QString::fromUtf8("😀x")};
    // UTF-16 LE with a mark, from units that need not be well-formed.
    const auto le = [](std::u16string_view units) {
        QByteArray bytes("\xFF\xFE");
        for (const char16_t u : units) {
            bytes.append(char(u & 0xFF));
            bytes.append(char(u >> 8));
        }
        return bytes;
    };
    QTest::newRow("UTF-16: a lone surrogate matches nothing, the rest of its line does")
        << le(u"ab\xDC00"
              u"c\r\nabc")
        << 1 << "b.c|^a.*c$" << 0 << 0 << line << QStringList{"abc"};
    QTest::newRow("UTF-16: around a lone surrogate") << le(u"ab\xDC00"
                                                           u"c")
                                                     << 1 << "c$" << 0 << 0 << line
                                                     << QStringList{QString::fromUtf16(u"ab\xDC00"
                                                                                       u"c",
                                                                                       4)};
    QTest::newRow("empty lines never match, not even ^$")
        << QByteArray("a\r\n\r\nb\r\n") << 1 << "^$|x*" << 0 << 0 << line << QStringList{"a", "b"};
    QTest::newRow("LF file: the CR before LF is not in the line")
        << QByteArray("x\nabc\r\nabd\n") << 1 << R"(c\r|d$)" << 0 << 0 << line
        << QStringList{"abd"};
    QTest::newRow("a lone CR inside a CR LF line is a character")
        << QByteArray("a\rb\r\nab\r\n") << 1 << "a.b" << 0 << 0 << line << QStringList{"a\rb"};
    QTest::newRow("all lines above, one line")
        << QByteArray("a\r\nb\r\nc\r\n") << 12 << "B$" << 0 << 1 << line << QStringList{"a b "};
    QTest::newRow("X/Y mode with a required literal")
        << QByteArray("u\r\nuser=ann@example.org\r\nv\r\nuser=x@example.com\r\n") << 0
        << R"(user=\w+@example\.org)" << 0 << 0 << line
        << QStringList{"u", "user=ann@example.org", "v"};
}

void TestExtractionRun::regexRows()
{
    m_request.regex = true;
    rows();
}

using Lines = QList<qulonglong>;

void TestExtractionRun::rowLines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("regex");
    QTest::addColumn<int>("oneLine");
    QTest::addColumn<int>("display");
    QTest::addColumn<Lines>("expected");

    const QByteArray text = "a\r\nhit 1\r\n\r\nb\r\nhit 2\r\nc\r\n";
    const auto line = int(run::DisplayOption::LineOnly);
    const auto fileLine = int(run::DisplayOption::FileAndLine);
    const auto fileOnly = int(run::DisplayOption::FileOnly);
    QTest::newRow("line only: each row its own line")
        << text << 9 << false << 0 << line << Lines{1, 2, 4, 5, 6};
    QTest::newRow("filename and line: the same lines")
        << text << 9 << false << 0 << fileLine << Lines{1, 2, 4, 5, 6};
    QTest::newRow("filename only: the matching line for each row")
        << text << 9 << false << 0 << fileOnly << Lines{2, 2, 5, 5, 5};
    QTest::newRow("filename only, the matching line outside the block")
        << text << 10 << false << 0 << fileOnly << Lines{5};
    QTest::newRow("one line: the first line of the first block")
        << text << 9 << false << 1 << line << Lines{1};
    QTest::newRow("one line, first block empty: the next block's first line")
        << QByteArray("hit\r\n\r\nx\r\nhit\r\ny\r\n") << 10 << false << 1 << fileLine << Lines{5};
    QTest::newRow("one line, no block with a line: the first matching line")
        << QByteArray("a\r\nhit") << 10 << false << 1 << line << Lines{2};
    QTest::newRow("one line, filename only: the first matching line")
        << text << 9 << false << 1 << fileOnly << Lines{2};
    QTest::newRow("regular expression, LF lines")
        << QByteArray("x\nhit\n\nhit\n") << 1 << true << 0 << line << Lines{2, 4};
    QTest::newRow("UTF-8 rows beyond ASCII, added one by one")
        << QByteArray("\xC3\xA9\n\xC3\xA9 hit\nhit\n") << 2 << false << 0 << fileLine
        << Lines{1, 2, 2, 3};
    QTest::newRow("UTF-16 BE with CR LF lines")
        << QByteArray("\xFE\xFF\0a\0\r\0\n\0\r\0\n\0h\0i\0t", 18) << 1 << false << 0 << line
        << Lines{3};
    QByteArray pieces;
    while (pieces.size() < 65536 * 2)
        pieces += "hit line\r\n";
    QTest::newRow("across pieces, one row per piece")
        << pieces << 1 << false << 1 << line << Lines{1, 6554, 13107};
    QTest::newRow("across pieces, a row per line") << QByteArray(65534, 'x') + "\r\nx\r\nhit\r\n"
                                                   << 1 << false << 0 << line << Lines{3};
}

// Each row knows the line it starts with, whatever the display: the path alone stands for
// the line that matched.
void TestExtractionRun::rowLines()
{
    QFETCH(QByteArray, content);
    QFETCH(int, mode);
    QFETCH(bool, regex);
    QFETCH(int, oneLine);
    QFETCH(int, display);
    QFETCH(Lines, expected);
    m_request.paths = {write(QStringLiteral("lines.txt"), content)};
    m_request.mode = listedModes.at(size_t(mode));
    m_request.searchText = QStringLiteral("hit");
    m_request.regex = regex;
    m_request.oneLine = oneLine;
    m_request.display = run::DisplayOption(display);
    click();
    QCOMPARE(m_sink.lines, expected);
    QCOMPARE(m_sink.files, QList<qsizetype>(expected.size(), 0));
    QCOMPARE(m_end, run::RunEnd::Finished);

    // Unnumbered, the same rows come, each standing for line 0.
    const QStringList rows = m_sink.rows;
    m_sink = RecordingSink();
    m_request.lineNumbers = false;
    click();
    QCOMPARE(m_sink.rows, rows);
    QCOMPARE(m_sink.lines, Lines(expected.size(), 0));
}

void TestExtractionRun::patternThatGivesUpIsReportedOncePerRun()
{
    const QByteArray hopeless = QByteArray(40, 'a') + "!\r\n";
    const QString first = write("first.txt", hopeless + "hit\r\n" + hopeless);
    const QString second = write("second.txt", "hit\r\n" + hopeless);
    m_request.paths = {first, write("fine.txt", "hit\r\n"), second};
    m_request.regex = true;
    m_request.searchText = QStringLiteral("(a+)+$|hit");
    for (const int workers : {1, 3}) {
        m_run->setWorkerCount(workers);
        m_sink.rows.clear();
        m_reporter.reports.clear();
        click();
        QCOMPARE(m_sink.rows, (QStringList{"hit", "hit", "hit"}));
        QCOMPARE(m_reporter.reports,
                 QStringList{"Quillon2021/08/31.ExtractState.ExtractSearchWordLine|100|Regular "
                             "expression too complex: it reached its match limit on some lines "
                             "of 2 files (the first: " +
                             first + "); those lines are taken as not matching"});
        QCOMPARE(m_end, run::RunEnd::Finished);
    }
}

void TestExtractionRun::rows()
{
    QFETCH(QByteArray, content);
    QFETCH(int, mode);
    QFETCH(QString, search);
    QFETCH(int, matchCase);
    QFETCH(int, oneLine);
    QFETCH(int, display);
    QFETCH(QStringList, expected);

    const QString path = write(QStringLiteral("in put.txt"), content);
    m_request.paths = {path};
    m_request.mode = listedModes.at(size_t(mode));
    m_request.searchText = search;
    m_request.matchCase = matchCase;
    m_request.oneLine = oneLine;
    m_request.display = run::DisplayOption(display);
    click();

    for (QString &row : expected) {
        if (row == QLatin1String("P"))
            row = path;
        else if (row.startsWith(QLatin1String("P ")))
            row = path + row.mid(1);
    }
    QCOMPARE(m_sink.rows, expected);
    QCOMPARE(m_reporter.reports, QStringList());
    QCOMPARE(m_end, run::RunEnd::Finished);
}

void TestExtractionRun::progressNamesEachFile()
{
    m_request.paths = {write("a.txt", "x\r\n"), m_dir->filePath("gone"), write("b.txt", "x\r\n")};
    click();
    QCOMPARE(m_sink.progressShown,
             (QStringList{"33 Processing: a.txt", "67 Processing: gone", "100 Processing: b.txt"}));
    QCOMPARE(m_sink.ends, QList<run::RunEnd>{run::RunEnd::Finished});
}

void TestExtractionRun::longFileGivesOneRowPerPieceOnOneLine()
{
    // 100,000 bytes: two pieces, so two joined rows.
    QByteArray content;
    while (content.size() < 100000)
        content += "hit line\r\n";
    content.truncate(100000);
    m_request.paths = {write("long.txt", content)};
    m_request.searchText = QStringLiteral("hit");
    m_request.oneLine = 1;
    click();
    // The first piece ends after the last line end among its 65,536 bytes: no line is cut.
    QCOMPARE(m_sink.rows.size(), 2);
    QCOMPARE(m_sink.rows[0], QString("hit line ").repeated(6553));
    QCOMPARE(m_sink.rows[1], QString("hit line ").repeated(3447));
}

void TestExtractionRun::unreadableFileIsReportedAndTheRunGoesOn()
{
    m_request.paths = {m_dir->filePath("gone.txt"), m_dir->path(), write("ok.txt", "hit\r\n")};
    m_request.searchText = QStringLiteral("hit");
    click();
    QCOMPARE(m_sink.rows, QStringList{"hit"});
    QCOMPARE(m_sink.files, QList<qsizetype>{2});
    QStringList steps;
    for (const QString &report : m_reporter.reports) {
        QVERIFY2(report.startsWith("Quillon2021/08/31.ExtractState.ReadFileToStringFSO|"),
                 qPrintable(report));
        steps.append(report.section('|', 1, 1));
    }
    // A missing file fails four steps, a folder three.
    QCOMPARE(steps.size(), 7);
    QCOMPARE(m_end, run::RunEnd::Finished);
}

void TestExtractionRun::stopBetweenFilesSkipsTheRest()
{
    m_request.paths = {write("1.txt", "hit 1\r\n"), write("2.txt", "hit 2\r\n"),
                       write("3.txt", "hit 3\r\n")};
    m_request.searchText = QStringLiteral("hit");
    m_yield.onYield = [&](int) {
        if (m_sink.rows.size() == 1)
            m_run->stop();
    };
    click();
    QCOMPARE(m_sink.rows, QStringList{"hit 1"});
    QCOMPARE(m_sink.progressShown.size(), 1);
    QCOMPARE(m_end, run::RunEnd::Stopped);
    QVERIFY(m_run->stopRequested());
}

void TestExtractionRun::stopDuringRowsKeepsWhatWasAdded()
{
    // The rows of a piece are added together; three pieces of two rows each.
    QByteArray content;
    for (const char *rows : {"hit a\r\nhit b\r\n", "hit c\r\nhit d\r\n", "hit e\r\nhit f\r\n"}) {
        const QByteArray part = rows;
        content += part + QByteArray(65536 - part.size() - 2, 'x') + "\r\n";
    }
    m_request.paths = {write("1.txt", content)};
    m_request.searchText = QStringLiteral("hit");
    m_yield.onYield = [&](int) {
        if (m_sink.rows.size() == 2)
            m_run->stop();
    };
    click();
    // The piece whose yield handled the click is still added, the third never is.
    QCOMPARE(m_sink.rows, (QStringList{"hit a", "hit b", "hit c", "hit d"}));
    QCOMPARE(m_end, run::RunEnd::Stopped);
}

void TestExtractionRun::stopAmongRowsAddedOneByOne_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("display");
    QTest::addColumn<QStringList>("expected"); // "P" stands for the file's path
    const auto utf16 = [](const char *text) {
        QByteArray bytes("\xFF\xFE");
        for (const QChar unit : QString::fromUtf8(text))
            bytes.append(char(unit.unicode() & 0xFF)).append(char(unit.unicode() >> 8));
        return bytes;
    };
    const auto line = int(run::DisplayOption::LineOnly);
    QTest::newRow("UTF-16 text") << utf16("hit 1\r\nhit 2\r\nhit 3\r\nhit 4\r\nhit 5\r\n") << line
                                 << QStringList{"hit 1", "hit 2", "hit 3"};
    QTest::newRow("UTF-8 text beyond U+00FF")
        << QByteArray("\xC5\x82 hit 1\n\xC5\x82 hit 2\n\xC5\x82 hit 3\n\xC5\x82 hit 4\n") << line
        << QStringList{"ł hit 1", "ł hit 2", "ł hit 3"};
    QTest::newRow("filename only")
        << QByteArray("hit 1\r\nhit 2\r\nhit 3\r\nhit 4\r\n") << int(run::DisplayOption::FileOnly)
        << QStringList{"P", "P", "P"};
}

// Rows that are not taken over a piece at a time are added one by one, each after a yield:
// the row whose yield handled the stop is the last one.
void TestExtractionRun::stopAmongRowsAddedOneByOne()
{
    QFETCH(QByteArray, content);
    QFETCH(int, display);
    QFETCH(QStringList, expected);
    const QString path = write("rows.txt", content);
    m_request.paths = {path, write("more.txt", "hit 6\r\n")};
    m_request.searchText = QStringLiteral("hit");
    m_request.display = run::DisplayOption(display);
    m_yield.onYield = [&](int) {
        if (m_sink.rows.size() == 2)
            m_run->stop();
    };
    click();
    expected.replaceInStrings(QRegularExpression("^P$"), path);
    QCOMPARE(m_sink.rows, expected);
    QCOMPARE(m_end, run::RunEnd::Stopped);
}

void TestExtractionRun::newStartAfterStopDoesNotRevivePreviousRun()
{
    m_request.paths = {write("1.txt", "one\r\n"), write("2.txt", "two\r\n"),
                       write("3.txt", "three\r\n")};
    bool restarted = false;
    run::RunEnd newer = run::RunEnd::Stopped;
    m_yield.onYield = [&](int) {
        if (!restarted && m_sink.rows == QStringList{"one"}) {
            restarted = true;
            m_run->stop();
            // Start again while the stopped loop is still on the stack.
            newer = m_run->run(m_request, m_sink);
        }
    };
    click();
    // The new run reads all three files; the stopped one must not go on with 2 and 3.
    QCOMPARE(m_sink.rows, (QStringList{"one", "one", "two", "three"}));
    QCOMPARE(newer, run::RunEnd::Finished);
    QCOMPARE(m_end, run::RunEnd::Superseded);
    QVERIFY(!m_run->running());
}

void TestExtractionRun::readEveryFileAsWindows1252_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("LF lines are one line")
        << QByteArray("alpha\nbeta hit\ngamma\n") << QStringList{"alpha\nbeta hit\ngamma\n"};
    QTest::newRow("UTF-8 bytes are characters each")
        << QByteArray("caf\xC3\xA9 hit\r\n") << QStringList{QString::fromUtf8("cafÃ© hit")};
    QTest::newRow("a byte-order mark is text")
        << QByteArray("\xEF\xBB\xBFhit\r\n") << QStringList{QString::fromUtf8("ï»¿hit")};
    // A tar's header of 512 bytes lies before its first member's text.
    const QByteArray tar = fakes::packed(fakes::Packing::Tar, {{"n", "hit\r\n"}});
    QTest::newRow("an archive is its bytes")
        << tar << QStringList{QString::fromLatin1(tar.left(512)) + QStringLiteral("hit")};
    QTest::newRow("a compressed file is its bytes")
        << fakes::packed(fakes::Packing::Gzip, {{"n", QByteArray("hit\r\n").repeated(99)}})
        << QStringList{};
}

// The old rule reads every file as Windows-1252 with CR LF lines, whatever it holds.
void TestExtractionRun::readEveryFileAsWindows1252()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    m_request.paths = {write("old.txt", content)};
    m_request.searchText = QStringLiteral("hit");
    m_request.readRule = engine::ReadRule::Windows1252CrLf;
    click();
    QCOMPARE(m_sink.rows, expected);
    // Their lines are the bytes' lines: no row names a member.
    QCOMPARE(m_sink.members, QStringList(expected.size(), QString()));
}

void TestExtractionRun::stopBetweenPiecesOfOneFile()
{
    QByteArray content;
    for (int piece = 1; piece <= 3; ++piece) {
        QByteArray part = "hit " + QByteArray::number(piece) + "\r\n";
        content += part + QByteArray(65536 - part.size() - 2, 'x') + "\r\n";
    }
    m_request.paths = {write("three pieces.txt", content)};
    m_request.searchText = QStringLiteral("hit");
    m_yield.onYield = [&](int) {
        if (m_sink.rows.size() == 1)
            m_run->stop();
    };
    click();
    // The click is handled in the yield after the first piece; the row the next piece was
    // already emitting is kept, the third piece is never searched.
    QCOMPARE(m_sink.rows, (QStringList{"hit 1", "hit 2"}));
    QCOMPARE(m_end, run::RunEnd::Stopped);
}

// Workers finish files in any order; the rows must still come in list order, whatever the
// number of workers.
void TestExtractionRun::oneWorkerAndManyGiveTheSameRows()
{
    std::mt19937 random(17);
    const QList<QByteArray> parts = {"hit",      "Hit ",         "x",    "\r\n", "\n",
                                     "\xC3\xA9", "caf\xC3\xA9 ", "\xE9", " ",    "\r"};
    for (int round = 0; round < 12; ++round) {
        QStringList files;
        for (int f = 0; f < 25; ++f) {
            QByteArray content;
            const int length = int(random() % 200);
            for (int k = 0; k < length; ++k)
                content += parts[int(random() % parts.size())];
            if (random() % 7 == 0)
                content = content.repeated(400); // several pieces
            files << write(QStringLiteral("r%1-%2.txt").arg(round).arg(f), content);
        }
        files << m_dir->filePath("missing.txt");
        m_request.paths = files;
        m_request.mode = listedModes.at(random() % listedModes.size());
        m_request.searchText = QStringList{"hit", "", "\xC3\xA9", "x\r"}.at(int(random() % 4));
        m_request.oneLine = int(random() % 2);
        m_request.display = run::DisplayOption(1 + random() % 3);
        QStringList rowsBy[2];
        QList<qulonglong> linesBy[2];
        QList<qsizetype> filesBy[2];
        QStringList reportsBy[2];
        for (const int workers : {1, 4}) {
            m_run->setWorkerCount(workers);
            m_sink = RecordingSink();
            m_reporter.reports.clear();
            click();
            rowsBy[workers == 4] = m_sink.rows;
            linesBy[workers == 4] = m_sink.lines;
            filesBy[workers == 4] = m_sink.files;
            reportsBy[workers == 4] = m_reporter.reports;
        }
        QCOMPARE(rowsBy[1], rowsBy[0]);
        QCOMPARE(linesBy[1], linesBy[0]);
        QCOMPARE(filesBy[1], filesBy[0]);
        QVERIFY(std::is_sorted(filesBy[0].begin(), filesBy[0].end()));
        QCOMPARE(reportsBy[1], reportsBy[0]);
        QCOMPARE(reportsBy[0].size(), 4); // the missing file, four steps
    }
}

void TestExtractionRun::moreFilesThanTheWorkersReadAhead_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("slowFile"); // a file of many rows among the quick ones, or -1
    QTest::addColumn<int>("rowsEach"); // of every other file
    QTest::addColumn<bool>("asText");  // rows written as text, a sink's on workers
    QTest::newRow("more than the read-ahead") << 2500 << -1 << 1 << false;
    QTest::newRow("a slow file among quick ones") << 60 << 21 << 1 << false;
    QTest::newRow("a slow file first") << 40 << 0 << 1 << false;
    // Rows waiting as text hold a few mebibytes at most while the next file is ready, and as
    // much as any outcomes may while it is still being searched.
    QTest::newRow("as text, a slow file first") << 40 << 0 << 20000 << true;
    QTest::newRow("as text, many rows each") << 60 << -1 << 20000 << true;
}

// Workers wait for room once far enough ahead (over a thousand files), ask for small files
// several at a time and hand each on as it is read once they take long, and wake one another
// in batches: no file may be lost or left waiting, whatever the order they finish in.
void TestExtractionRun::moreFilesThanTheWorkersReadAhead()
{
    QFETCH(int, files);
    QFETCH(int, slowFile);
    QFETCH(int, rowsEach);
    QFETCH(bool, asText);
    if (asText)
        m_sink.asText = run::TextRows{"\n", false, nullptr};
    QStringList expected;
    for (int f = 0; f < files; ++f) {
        const QByteArray row = "hit " + QByteArray::number(f);
        const int repeats = f == slowFile ? 400000 : rowsEach;
        m_request.paths << write(QStringLiteral("f%1.txt").arg(f),
                                 (row + "\r\n").repeated(repeats));
        for (int r = 0; r < repeats; ++r)
            expected << QString::fromLatin1(row);
    }
    m_request.searchText = QStringLiteral("hit");
    // The window thread dawdles at first, so the workers run as far ahead as they may.
    bool dawdled = false;
    m_yield.onYield = [&](int) {
        if (!std::exchange(dawdled, true))
            QThread::msleep(100);
    };
    for (const int workers : {1, 3}) {
        m_run->setWorkerCount(workers);
        m_sink.rows.clear();
        dawdled = false;
        click();
        QCOMPARE(m_sink.rows, expected);
        QCOMPARE(m_end, run::RunEnd::Finished);
    }
}

void TestExtractionRun::folderRunsAsTheFilesFoundForIt_data()
{
    QTest::addColumn<int>("files");   // in the folder, f0.txt on
    QTest::addColumn<int>("batch");   // files handed on at a time; 0: the same ones until stopped
    QTest::addColumn<int>("pauseMs"); // between batches
    QTest::addColumn<int>("stopAt");  // the run is stopped at this row; -1: never
    QTest::newRow("in one batch") << 5 << 10 << 0 << -1;
    QTest::newRow("a file at a time, found slower than they are read") << 4 << 1 << 3 << -1;
    QTest::newRow("a folder without files") << 0 << 1 << 0 << -1;
    QTest::newRow("many files, batches of 7, on the workers' heels") << 300 << 7 << 0 << -1;
    QTest::newRow("stopped while the files are still being found") << 3 << 0 << 1 << 4;
}

// The files of a folder among the paths are found on a thread of their own and run in its
// place as they come; what the finder has to say follows them, and a stop ends the finder.
void TestExtractionRun::folderRunsAsTheFilesFoundForIt()
{
    QFETCH(int, files);
    QFETCH(int, batch);
    QFETCH(int, pauseMs);
    QFETCH(int, stopAt);
    QDir(m_dir->path()).mkdir("tree");
    QStringList inTree;
    for (int f = 0; f < files; ++f)
        inTree << write(QStringLiteral("tree/f%1.txt").arg(f), "hit " + QByteArray::number(f));
    m_request.paths = {write("a.txt", "hit a"), m_dir->filePath("tree"), write("b.txt", "hit b")};
    m_request.searchText = QStringLiteral("hit");
    std::atomic<bool> finderStopped{false};
    m_run->setFolderFiles([&](const QString &folder, const run::ExtractionRun::FoundFiles &found,
                              const std::atomic<bool> &stop) -> std::function<void()> {
        if (folder != m_request.paths[1])
            return {};
        for (qsizetype at = 0; !stop && (batch == 0 || at < inTree.size());) {
            const qsizetype take = batch == 0 ? inTree.size() : batch;
            found(inTree.mid(batch == 0 ? 0 : at, take));
            at += take;
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
        finderStopped = stop.load();
        return [this] { m_sink.rows.append(QStringLiteral("(said)")); };
    });
    m_sink.onRow = [&] {
        if (m_sink.rows.size() == stopAt)
            m_run->stop();
    };
    click();
    QStringList rows{"hit a"};
    QList<qsizetype> positions{0};
    if (stopAt < 0) {
        for (int f = 0; f < files; ++f) {
            rows << QStringLiteral("hit %1").arg(f);
            positions << 3 + f;
        }
        rows << "(said)"
             << "hit b";
        positions << 2;
        QCOMPARE(m_end, run::RunEnd::Finished);
    } else {
        for (int f = 0; rows.size() < stopAt; f = (f + 1) % files) {
            rows << QStringLiteral("hit %1").arg(f);
            positions << 3 + rows.size() - 2;
        }
        rows << "(said)";
        QCOMPARE(m_end, run::RunEnd::Stopped);
        QVERIFY(finderStopped);
    }
    QCOMPARE(m_sink.rows, rows);
    QCOMPARE(m_sink.files, positions);
    QCOMPARE(m_reporter.reports, QStringList());
}

QTEST_GUILESS_MAIN(TestExtractionRun)
#include "tst_extractionrun.moc"

void TestExtractionRun::packedRowsEqualPlainRows_data()
{
    QTest::addColumn<int>("packing");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("piped");
    const std::vector<std::pair<const char *, fakes::Packing>> packings = {
        {"gzip", fakes::Packing::Gzip},      {"two gzip streams", fakes::Packing::GzipTwoMembers},
        {"bzip2", fakes::Packing::Bzip2},    {"xz", fakes::Packing::Xz},
        {"lzma", fakes::Packing::Lzma},      {"zstd", fakes::Packing::Zstd},
        {"lz4", fakes::Packing::Lz4},        {"zip", fakes::Packing::Zip},
        {"tar", fakes::Packing::Tar},        {"tar.gz", fakes::Packing::TarGz},
        {"tar.zst", fakes::Packing::TarZst}, {"7z", fakes::Packing::SevenZip},
        {"cpio", fakes::Packing::Cpio},      {"ar", fakes::Packing::Ar},
    };
    const std::vector<std::pair<const char *, QByteArray>> texts = {
        {"UTF-8, LF", "alpha\nhit \xC3\xA9t\xC3\xA9\nbeta\nHIT \xC3\x89T\xC3\x89\n"},
        {"UTF-8 with its mark, CR LF", "\xEF\xBB\xBFhit \xE2\x82\xAC\r\nb\r\nhit 2\r\n"},
        {"Windows-1252, CR LF", "a\r\nhit caf\xE9\r\nHIT\xA0\x80\r\n"},
        {"UTF-16 LE, CR LF", QByteArray("\xFF\xFEh\0i\0t\0\xE9\0\r\0\n\0x\0\r\0\n\0", 20)},
        {"UTF-16 BE, LF", QByteArray("\xFE\xFF\0a\0\n\0h\0i\0t\0\n", 14)},
        {"no line end", "one hit"},
    };
    for (const auto &[packingName, packing] : packings) {
        for (const auto &[textName, text] : texts) {
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(packingName, textName)))
                << int(packing) << text << 1 << false;
            QTest::newRow(qPrintable(QStringLiteral("%1, %2, decompressed beside the search")
                                         .arg(packingName, textName)))
                << int(packing) << text << 1 << true;
        }
    }
    QTest::newRow("gzip, all lines below stay within a piece")
        << int(fakes::Packing::Gzip) << QByteArray("a\nhit\nb\nc\n") << 13 << false;
    QTest::newRow("zip, 1 line above")
        << int(fakes::Packing::Zip) << QByteArray("a\r\nhit\r\nb\r\n") << 2 << false;
}

void TestExtractionRun::packedRowsEqualPlainRows()
{
    QFETCH(int, packing);
    QFETCH(QByteArray, text);
    QFETCH(int, mode);
    QFETCH(bool, piped);
    const size_t pipedFrom = run::setPipedFrom(piped ? 0 : SIZE_MAX);
    const auto restore = qScopeGuard([pipedFrom] { run::setPipedFrom(pipedFrom); });
    const auto how = fakes::Packing(packing);
    const QByteArray second = "hit in the second member\n";
    // Folders inside an ar archive have no names of their own.
    const QByteArray name = how == fakes::Packing::Ar ? "first.log" : "var/log/first.log";
    const QString plain = write(QStringLiteral("plain.txt"), text);
    const QString other = write(QStringLiteral("second.txt"), second);
    const QString packedPath =
        write(QStringLiteral("packed"), fakes::packed(how, {{name, text}, {"second.txt", second}}));
    m_request.paths = {plain, other, packedPath};
    m_request.mode = listedModes.at(size_t(mode));
    m_request.searchText = QStringLiteral("hit");
    m_request.display = run::DisplayOption::FileAndLine;
    click();
    QVERIFY2(m_reporter.reports.isEmpty(), qPrintable(m_reporter.reports.join(u'\n')));
    QStringList plainRows;
    QStringList packedRows;
    QList<qulonglong> plainLines;
    QList<qulonglong> packedLines;
    const QString firstMember = fakes::isStream(how) ? "#0" : QString::fromLatin1(name) + "#0";
    for (qsizetype i = 0; i < m_sink.rows.size(); ++i) {
        const QString &row = m_sink.rows[i];
        if (row.startsWith(plain + u' ')) {
            plainRows.append(row.mid(plain.size()));
            plainLines.append(m_sink.lines[i]);
            QCOMPARE(m_sink.members[i], QString());
        } else if (!row.startsWith(other + u' ')) {
            packedRows.append(row);
            // Each row names the member it was read from, and its place among the members.
            QCOMPARE(m_sink.members[i], row.startsWith(packedPath + QStringLiteral("{second.txt}"))
                                            ? QStringLiteral("second.txt#1")
                                            : firstMember);
            if (!row.startsWith(packedPath + QStringLiteral("{second.txt}")))
                packedLines.append(m_sink.lines[i]);
        }
    }
    // The rows of a member number the member's own lines.
    QCOMPARE(packedLines, plainLines);
    QVERIFY(!plainRows.isEmpty());
    QStringList expected;
    const QString member =
        fakes::isStream(how) ? packedPath : packedPath + u'{' + QString::fromLatin1(name) + u'}';
    for (const QString &row : std::as_const(plainRows))
        expected.append(member + row);
    if (!fakes::isStream(how))
        expected.append(packedPath + QStringLiteral("{second.txt} ") +
                        QString::fromLatin1(second.chopped(1)));
    QCOMPARE(packedRows, expected);
}

void TestExtractionRun::bombIsSearchedInBoundedMemory_data()
{
    QTest::addColumn<bool>("piped");
    QTest::newRow("read on the worker") << false;
    QTest::newRow("decompressed beside the search") << true;
}

void TestExtractionRun::bombIsSearchedInBoundedMemory()
{
    // 64 MiB of text in a gzip of some 64 KiB, with one match at its very end.
    const QByteArray text = QByteArray("nothing to see here\n").repeated((64 << 20) / 20) + "hit\n";
    const QString bomb =
        write(QStringLiteral("bomb.gz"), fakes::packed(fakes::Packing::Gzip, {{"t", text}}));
    QVERIFY(QFileInfo(bomb).size() < text.size() / 100);
    const run::SearchPlan plan(engine::Mode::ExtractSearchWordLine, u"hit", false, 1, 1);
    // Read on the worker, and decompressed beside it; stopped before it starts, the thread
    // beside it ends at once too.
    const size_t pipedFrom = run::setPipedFrom(0);
    const auto restore = qScopeGuard([pipedFrom] { run::setPipedFrom(pipedFrom); });
    const std::atomic<bool> stopped{true};
    const auto none = run::SearchWorkers::process(bomb.toStdString(), plan,
                                                  engine::ReadRule::Automatic, &stopped);
    QVERIFY(none->members.size() <= 1 && none->heldBytes() < (size_t(1) << 20));
    QFETCH(bool, piped);
    run::setPipedFrom(piped ? 0 : SIZE_MAX);
    const auto outcome =
        run::SearchWorkers::process(bomb.toStdString(), plan, engine::ReadRule::Automatic, nullptr);
    QVERIFY(outcome->reports.empty());
    QCOMPARE(outcome->members.size(), size_t(1));
    const std::vector<run::FileBlocks> &parts = outcome->members.front().parts;
    // Read a part at a time; what is kept of the parts is their rows.
    QVERIFY(parts.size() >= size_t(text.size()) / engine::StreamText::kPartSize);
    QVERIFY2(outcome->heldBytes() < (size_t(1) << 20),
             qPrintable(QString::number(outcome->heldBytes())));
    QCOMPARE(parts.back().bytePieces.back().lines().size(), size_t(1));
    QCOMPARE(parts.back().bytePieces.back().lines().front(), std::string_view("hit"));
    // Its line is counted through every part before it.
    QCOMPARE(parts.back().bytePieces.back().lineNumbers().front(), uint64_t(text.count('\n')));
}
