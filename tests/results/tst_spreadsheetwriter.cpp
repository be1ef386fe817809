// The spreadsheet export: the cells read back from the written .xlsx, the messages for a
// missing application, and a list longer than a sheet.
#include "platform/ListModel.h"
#include "results/ExportActions.h"
#include "results/SpreadsheetWriter.h"
#include "support/FakeResultsView.h"
#include "support/Fakes.h"
#include "support/ListFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

using Cells = QMap<QString, QString>;

using fakes::fill;
using fakes::Row;

QByteArray unzipped(const QString &archive, const QString &member)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, member});
    if (!unzip.waitForFinished(60000) || unzip.exitCode() != 0)
        return {};
    return unzip.readAllStandardOutput();
}

// What a sheet holds, read from the workbook's XML without the writer's help.
struct Sheet {
    QMap<QString, QString> cells; // "A1" -> text
    QStringList nonTextCells;     // references of cells that are not plain text
    QMap<int, double> widths;     // column (from 1) -> width
    int lastRow = 0;
    QString error;
};

QStringList sharedStrings(const QByteArray &xml)
{
    QStringList strings;
    QXmlStreamReader reader(xml);
    QString current;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("si"))
            current.clear();
        else if (reader.isStartElement() && reader.name() == QLatin1String("t"))
            current += reader.readElementText();
        else if (reader.isEndElement() && reader.name() == QLatin1String("si"))
            strings.append(current);
    }
    return strings;
}

// Undoes the _xHHHH_ escapes the format uses for control characters.
QString unescape(QString text)
{
    static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString out;
    qsizetype from = 0;
    auto it = escape.globalMatch(text);
    while (it.hasNext()) {
        const auto match = it.next();
        out += text.mid(from, match.capturedStart() - from);
        out += QChar(char16_t(match.captured(1).toUShort(nullptr, 16)));
        from = match.capturedEnd();
    }
    return out + text.mid(from);
}

Sheet readSheet(const QString &workbook)
{
    Sheet sheet;
    const QByteArray xml = unzipped(workbook, QStringLiteral("xl/worksheets/sheet1.xml"));
    if (xml.isEmpty()) {
        sheet.error = QStringLiteral("no sheet1.xml in ") + workbook;
        return sheet;
    }
    const QStringList strings =
        sharedStrings(unzipped(workbook, QStringLiteral("xl/sharedStrings.xml")));
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        if (reader.name() == QLatin1String("col")) {
            const auto a = reader.attributes();
            for (int c = a.value(QLatin1String("min")).toInt();
                 c <= a.value(QLatin1String("max")).toInt(); ++c)
                sheet.widths[c] = a.value(QLatin1String("width")).toDouble();
        } else if (reader.name() == QLatin1String("row")) {
            sheet.lastRow = reader.attributes().value(QLatin1String("r")).toInt();
        } else if (reader.name() == QLatin1String("c")) {
            const QString ref = reader.attributes().value(QLatin1String("r")).toString();
            const QString type = reader.attributes().value(QLatin1String("t")).toString();
            QString text;
            bool formula = false;
            while (reader.readNextStartElement()) {
                if (reader.name() == QLatin1String("f")) {
                    formula = true;
                    reader.skipCurrentElement();
                } else if (reader.name() == QLatin1String("v")) {
                    const QString v = reader.readElementText();
                    text = type == QLatin1String("s") ? strings.value(v.toInt()) : v;
                } else if (reader.name() == QLatin1String("is")) {
                    while (reader.readNextStartElement())
                        text += reader.readElementText();
                } else {
                    reader.skipCurrentElement();
                }
            }
            if (formula || (type != QLatin1String("s") && type != QLatin1String("inlineStr")))
                sheet.nonTextCells.append(ref);
            sheet.cells.insert(ref, unescape(text));
        }
    }
    if (reader.hasError())
        sheet.error = reader.errorString();
    return sheet;
}

struct SheetFixture {
    QTemporaryDir folder;
    fakes::TestServices services;
    fakes::FakeResultsView view;
    fakes::RecordingReporter reporter;
    platform::ListModel results;
    results::ExportActions actions{view, services.services(), reporter, results};

    SheetFixture() { actions.setSpreadsheetFolder(folder.path()); }
    QStringList workbooks() const
    {
        return QDir(folder.path()).entryList({QStringLiteral("*.xlsx")}, QDir::Files);
    }
};

} // namespace

Q_DECLARE_METATYPE(Row)

class TestSpreadsheetWriter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cellsReadBack_data();
    void cellsReadBack();
    void columnsFittedToWidestText();
    void missingApplicationGivesTwoMessages();
    void emptyListDoesNothing();
    void secondClickOpensSecondWorkbook();
    void longCellCutOnceReported();
    void moreRowsThanASheetHolds();
};

void TestSpreadsheetWriter::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("unzip is needed to read the workbooks back");
}

void TestSpreadsheetWriter::cellsReadBack_data()
{
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<QList<Row>>("rows");
    QTest::addColumn<Cells>("cells");
    QTest::addColumn<int>("lastRow");

    const QStringList results{QStringLiteral("Results")};
    QTest::newRow("three rows in list order")
        << results
        << QList<Row>{{{QStringLiteral("first")}},
                      {{QStringLiteral("second")}},
                      {{QStringLiteral("third")}}}
        << Cells{{QStringLiteral("A1"), QStringLiteral("Results")},
                 {QStringLiteral("A2"), QStringLiteral("first")},
                 {QStringLiteral("A3"), QStringLiteral("second")},
                 {QStringLiteral("A4"), QStringLiteral("third")}}
        << 4;
    QTest::newRow("formula-looking and number-looking texts stay text")
        << results
        << QList<Row>{{{QStringLiteral("=1+1")}},
                      {{QStringLiteral("+1")}},
                      {{QStringLiteral("-2")}},
                      {{QStringLiteral("@SUM(A1)")}},
                      {{QStringLiteral("00123")}}}
        << Cells{{QStringLiteral("A1"), QStringLiteral("Results")},
                 {QStringLiteral("A2"), QStringLiteral("=1+1")},
                 {QStringLiteral("A3"), QStringLiteral("+1")},
                 {QStringLiteral("A4"), QStringLiteral("-2")},
                 {QStringLiteral("A5"), QStringLiteral("@SUM(A1)")},
                 {QStringLiteral("A6"), QStringLiteral("00123")}}
        << 6;
    QTest::newRow("unchecked row leaves its sheet row empty")
        << results
        << QList<Row>{{{QStringLiteral("a")}},
                      {{QStringLiteral("hidden")}, false},
                      {{QStringLiteral("c")}}}
        << Cells{{QStringLiteral("A1"), QStringLiteral("Results")},
                 {QStringLiteral("A2"), QStringLiteral("a")},
                 {QStringLiteral("A4"), QStringLiteral("c")}}
        << 4;
    QTest::newRow("two columns, texts unchanged in both")
        << QStringList{QStringLiteral("File"), QStringLiteral("Line")}
        << QList<Row>{{{QStringLiteral("=a.txt"), QStringLiteral("=SUM(1;2) == x")}},
                      {{QStringLiteral("b.txt")}}}
        << Cells{{QStringLiteral("A1"), QStringLiteral("File")},
                 {QStringLiteral("B1"), QStringLiteral("Line")},
                 {QStringLiteral("A2"), QStringLiteral("=a.txt")},
                 {QStringLiteral("B2"), QStringLiteral("=SUM(1;2) == x")},
                 {QStringLiteral("A3"), QStringLiteral("b.txt")},
                 {QStringLiteral("B3"), QString()}}
        << 3;
    QTest::newRow("blanks, other scripts and control characters kept")
        << results
        << QList<Row>{{{QStringLiteral("  lead and trail  ")}},
                      {{QString::fromUtf8("中文 😀 é")}},
                      {{QStringLiteral("bell\x07tab\tend")}},
                      {{QStringLiteral("<&>\"'")}}}
        << Cells{{QStringLiteral("A1"), QStringLiteral("Results")},
                 {QStringLiteral("A2"), QStringLiteral("  lead and trail  ")},
                 {QStringLiteral("A3"), QString::fromUtf8("中文 😀 é")},
                 {QStringLiteral("A4"), QStringLiteral("bell\x07tab\tend")},
                 {QStringLiteral("A5"), QStringLiteral("<&>\"'")}}
        << 5;
}

void TestSpreadsheetWriter::cellsReadBack()
{
    QFETCH(QStringList, headers);
    QFETCH(QList<Row>, rows);
    QFETCH(Cells, cells);
    QFETCH(int, lastRow);

    SheetFixture f;
    fill(f.results, headers, rows);
    f.actions.PushButton12_Click();
    QCOMPARE(f.reporter.reports, QStringList{});
    QCOMPARE(f.services.desktop.openedSpreadsheets, QStringList{f.actions.lastWorkbook()});
    QVERIFY(f.actions.lastWorkbook().startsWith(f.folder.path()));
    const Sheet sheet = readSheet(f.actions.lastWorkbook());
    QVERIFY2(sheet.error.isEmpty(), qPrintable(sheet.error));
    QMap<QString, QString> nonEmpty;
    for (auto it = sheet.cells.cbegin(); it != sheet.cells.cend(); ++it)
        nonEmpty.insert(it.key(), it.value());
    for (auto it = cells.cbegin(); it != cells.cend(); ++it)
        if (it.value().isEmpty() && !nonEmpty.contains(it.key()))
            nonEmpty.insert(it.key(), QString());
    QCOMPARE(nonEmpty, cells);
    QCOMPARE(sheet.nonTextCells, QStringList{});
    QCOMPARE(sheet.lastRow, lastRow);
    QCOMPARE(f.view.pointers, (std::vector<int>{11, 0}));
    QVERIFY(f.services.prompts.messages.empty());
}

void TestSpreadsheetWriter::columnsFittedToWidestText()
{
    SheetFixture f;
    fill(f.results, {QStringLiteral("File"), QStringLiteral("Line")},
         {{{QStringLiteral("a"), QString(40, QLatin1Char('x'))}},
          {{QString(12, QLatin1Char('y')), QStringLiteral("b")}}});
    f.actions.PushButton12_Click();
    const Sheet sheet = readSheet(f.actions.lastWorkbook());
    QVERIFY2(sheet.error.isEmpty(), qPrintable(sheet.error));
    QVERIFY2(sheet.widths.value(1) >= 12 && sheet.widths.value(1) < 16,
             qPrintable(QString::number(sheet.widths.value(1))));
    QVERIFY2(sheet.widths.value(2) >= 40 && sheet.widths.value(2) < 44,
             qPrintable(QString::number(sheet.widths.value(2))));
}

void TestSpreadsheetWriter::missingApplicationGivesTwoMessages()
{
    SheetFixture f;
    fill(f.results, {QStringLiteral("Results")}, {{{QStringLiteral("a")}}});
    f.services.desktop.spreadsheetInstalled = false;
    f.actions.PushButton12_Click();
    QCOMPARE(f.services.prompts.texts(),
             (QStringList{QStringLiteral("Excel is not installed on this computer. You need to "
                                         "have it installed to use this software without error."),
                          QStringLiteral("Excel is not installed on this computer. You need to "
                                         "have it installed to use this feature.")}));
    QVERIFY(f.workbooks().isEmpty());
    QVERIFY(f.services.desktop.openedSpreadsheets.isEmpty());
    QVERIFY(f.view.pointers.empty());
}

void TestSpreadsheetWriter::emptyListDoesNothing()
{
    SheetFixture f;
    f.results.addColumn(QStringLiteral("Results"));
    f.actions.PushButton12_Click();
    QVERIFY(f.services.prompts.messages.empty());
    QVERIFY(f.workbooks().isEmpty());
    QVERIFY(f.services.desktop.openedSpreadsheets.isEmpty());
    QVERIFY(f.view.pointers.empty());
}

void TestSpreadsheetWriter::secondClickOpensSecondWorkbook()
{
    SheetFixture f;
    fill(f.results, {QStringLiteral("Results")}, {{{QStringLiteral("a")}}});
    f.actions.PushButton12_Click();
    f.results.append(QStringLiteral("b"), true);
    f.actions.PushButton12_Click();
    QCOMPARE(f.workbooks().size(), 2);
    QCOMPARE(f.services.desktop.openedSpreadsheets.size(), 2);
    QVERIFY(f.services.desktop.openedSpreadsheets[0] != f.services.desktop.openedSpreadsheets[1]);
    QCOMPARE(readSheet(f.services.desktop.openedSpreadsheets[0]).lastRow, 2);
    QCOMPARE(readSheet(f.services.desktop.openedSpreadsheets[1]).lastRow, 3);
}

void TestSpreadsheetWriter::longCellCutOnceReported()
{
    SheetFixture f;
    const QString longText = QString(40000, QLatin1Char('L'));
    fill(f.results, {QStringLiteral("Results")},
         {{{longText}}, {{QStringLiteral("short")}}, {{longText}}});
    f.actions.PushButton12_Click();
    QCOMPARE(f.reporter.reports, QStringList{});
    QCOMPARE(f.services.prompts.texts(),
             QStringList{QStringLiteral("2 results were longer than the 32767 characters a cell "
                                        "holds and were cut short in the spreadsheet.")});
    const Sheet sheet = readSheet(f.actions.lastWorkbook());
    QCOMPARE(sheet.cells.value(QStringLiteral("A2")), longText.left(32767));
    QCOMPARE(sheet.cells.value(QStringLiteral("A3")), QStringLiteral("short"));
}

void TestSpreadsheetWriter::moreRowsThanASheetHolds()
{
    // One header row and 1,048,575 list rows fill a sheet; five more rows do not fit, and
    // one of them is unchecked, so it would not have been written anyway.
    SheetFixture f;
    f.results.addColumn(QStringLiteral("Results"));
    const int rows = results::SpreadsheetWriter::kSheetRows - 1 + 5;
    for (int r = 0; r < rows; ++r)
        f.results.appendDeferred(QStringLiteral("r%1").arg(r + 2), r != rows - 2);
    f.results.flush();
    f.actions.PushButton12_Click();
    QCOMPARE(f.reporter.reports, QStringList{});
    QCOMPARE(f.services.prompts.texts(),
             QStringList{QStringLiteral("A sheet holds 1048576 rows, so the last 4 results did "
                                        "not fit and were left out of the spreadsheet.")});
    const QByteArray xml =
        unzipped(f.actions.lastWorkbook(), QStringLiteral("xl/worksheets/sheet1.xml"));
    // The last row of the sheet holds the last row that fits.
    QVERIFY(xml.contains("<row r=\"1048576\""));
    QVERIFY(!xml.contains("<row r=\"1048577\""));
    QVERIFY(xml.contains(">r1048576<"));
    QVERIFY(!xml.contains(">r1048577<"));
}

QTEST_MAIN(TestSpreadsheetWriter)
#include "tst_spreadsheetwriter.moc"
