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

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Cells = QMap<QString, QString>;

using fakes::fill;

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
    void longCellCutOnceReported_data();
    void longCellCutOnceReported();
    void moreRowsThanASheetHolds();
    void literalEscapesStoredEscaped();
    void fullDiskReportedAndNothingOpened_data();
    void fullDiskReportedAndNothingOpened();
    void missingTemporaryFolderReported();
};

void TestSpreadsheetWriter::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("unzip is needed to read the workbooks back");
}

void TestSpreadsheetWriter::cellsReadBack_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<Cells>("cells");
    QTest::addColumn<int>("lastRow");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("three rows in list order")
        << QStringList{QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third")}
        << Cells{{QStringLiteral("A1"), QStringLiteral("Results")},
                 {QStringLiteral("A2"), QStringLiteral("first")},
                 {QStringLiteral("A3"), QStringLiteral("second")},
                 {QStringLiteral("A4"), QStringLiteral("third")}}
        << 4 << QStringList();
    QTest::newRow("formula-looking and number-looking texts stay text")
        << QStringList{QStringLiteral("=1+1"), QStringLiteral("+1"), QStringLiteral("-2"),
                       QStringLiteral("@SUM(A1)"), QStringLiteral("00123")}
        << Cells{{QStringLiteral("A1"), QStringLiteral("Results")},
                 {QStringLiteral("A2"), QStringLiteral("=1+1")},
                 {QStringLiteral("A3"), QStringLiteral("+1")},
                 {QStringLiteral("A4"), QStringLiteral("-2")},
                 {QStringLiteral("A5"), QStringLiteral("@SUM(A1)")},
                 {QStringLiteral("A6"), QStringLiteral("00123")}}
        << 6 << QStringList();
    QTest::newRow("blanks, other scripts, tabs and line breaks kept")
        << QStringList{QStringLiteral("  lead and trail  "), QString::fromUtf8("中文 😀 é"),
                       QStringLiteral("tab\tline\nreturn\rend"), QStringLiteral("<&>\"'")}
        << Cells{{QStringLiteral("A1"), QStringLiteral("Results")},
                 {QStringLiteral("A2"), QStringLiteral("  lead and trail  ")},
                 {QStringLiteral("A3"), QString::fromUtf8("中文 😀 é")},
                 {QStringLiteral("A4"), QStringLiteral("tab\tline\nreturn\rend")},
                 {QStringLiteral("A5"), QStringLiteral("<&>\"'")}}
        << 5 << QStringList();
    const QString replaced = QString(QChar::ReplacementCharacter);
    QTest::newRow("NUL: the whole row kept, the NUL replaced, said once")
        << QStringList{QString::fromLatin1("\0bin hit\x01 after", 15),
                       QString::fromLatin1("a\0b\0c", 5)}
        << Cells{{QStringLiteral("A1"), QStringLiteral("Results")},
                 {QStringLiteral("A2"), replaced + "bin hit" + replaced + " after"},
                 {QStringLiteral("A3"), "a" + replaced + "b" + replaced + "c"}}
        << 3
        << QStringList{QStringLiteral("2 cells held characters a spreadsheet cannot store (NUL "
                                      "or other control characters); they are shown as ") +
                       replaced + QStringLiteral(" there.")};
    QTest::newRow("control characters XML forbids, and U+FFFF")
        << QStringList{QStringLiteral("bell\x07 esc\x1b end\uFFFF")}
        << Cells{{QStringLiteral("A1"), QStringLiteral("Results")},
                 {QStringLiteral("A2"), "bell" + replaced + " esc" + replaced + " end" + replaced}}
        << 2
        << QStringList{QStringLiteral("1 cell held characters a spreadsheet cannot store (NUL "
                                      "or other control characters); it is shown as ") +
                       replaced + QStringLiteral(" there.")};
    QTest::newRow("literal escapes read as typed")
        << QStringList{QStringLiteral("_x0041_hit"), QStringLiteral("__x00e9__x12G4_ _x005F_")}
        << Cells{{QStringLiteral("A1"), QStringLiteral("Results")},
                 {QStringLiteral("A2"), QStringLiteral("_x0041_hit")},
                 {QStringLiteral("A3"), QStringLiteral("__x00e9__x12G4_ _x005F_")}}
        << 3 << QStringList();
}

void TestSpreadsheetWriter::cellsReadBack()
{
    QFETCH(QStringList, rows);
    QFETCH(Cells, cells);
    QFETCH(int, lastRow);
    QFETCH(QStringList, messages);

    SheetFixture f;
    fill(f.results, QStringLiteral("Results"), rows);
    f.actions.saveAsSpreadsheet();
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
    QCOMPARE(f.view.activities,
             (std::vector<run::Activity>{run::Activity::Busy, run::Activity::Idle}));
    QCOMPARE(f.services.prompts.texts(), messages);
}

void TestSpreadsheetWriter::columnsFittedToWidestText()
{
    SheetFixture f;
    fill(f.results, QStringLiteral("Results"),
         {QStringLiteral("a"), QString(40, QLatin1Char('x')), QString(12, QLatin1Char('y'))});
    f.actions.saveAsSpreadsheet();
    const Sheet sheet = readSheet(f.actions.lastWorkbook());
    QVERIFY2(sheet.error.isEmpty(), qPrintable(sheet.error));
    QVERIFY2(sheet.widths.value(1) >= 40 && sheet.widths.value(1) < 44,
             qPrintable(QString::number(sheet.widths.value(1))));
}

void TestSpreadsheetWriter::missingApplicationGivesTwoMessages()
{
    SheetFixture f;
    fill(f.results, QStringLiteral("Results"), {QStringLiteral("a")});
    f.services.desktop.spreadsheetInstalled = false;
    f.actions.saveAsSpreadsheet();
    QCOMPARE(f.services.prompts.texts(),
             (QStringList{QStringLiteral("Excel is not installed on this computer. You need to "
                                         "have it installed to use this software without error."),
                          QStringLiteral("Excel is not installed on this computer. You need to "
                                         "have it installed to use this feature.")}));
    QVERIFY(f.workbooks().isEmpty());
    QVERIFY(f.services.desktop.openedSpreadsheets.isEmpty());
    QVERIFY(f.view.activities.empty());
}

void TestSpreadsheetWriter::emptyListDoesNothing()
{
    SheetFixture f;
    f.results.setHeader(QStringLiteral("Results"));
    f.actions.saveAsSpreadsheet();
    QVERIFY(f.services.prompts.messages.empty());
    QVERIFY(f.workbooks().isEmpty());
    QVERIFY(f.services.desktop.openedSpreadsheets.isEmpty());
    QVERIFY(f.view.activities.empty());
}

void TestSpreadsheetWriter::secondClickOpensSecondWorkbook()
{
    SheetFixture f;
    fill(f.results, QStringLiteral("Results"), {QStringLiteral("a")});
    f.actions.saveAsSpreadsheet();
    f.results.append(QStringLiteral("b"));
    f.actions.saveAsSpreadsheet();
    QCOMPARE(f.workbooks().size(), 2);
    QCOMPARE(f.services.desktop.openedSpreadsheets.size(), 2);
    QVERIFY(f.services.desktop.openedSpreadsheets[0] != f.services.desktop.openedSpreadsheets[1]);
    QCOMPARE(readSheet(f.services.desktop.openedSpreadsheets[0]).lastRow, 2);
    QCOMPARE(readSheet(f.services.desktop.openedSpreadsheets[1]).lastRow, 3);
}

void TestSpreadsheetWriter::longCellCutOnceReported_data()
{
    QTest::addColumn<int>("longCells");
    QTest::addColumn<QString>("message");
    QTest::newRow("one") << 1
                         << "1 result was longer than the 32767 characters a cell holds and was "
                            "cut short in the spreadsheet.";
    QTest::newRow("two") << 2
                         << "2 results were longer than the 32767 characters a cell holds and "
                            "were cut short in the spreadsheet.";
}

void TestSpreadsheetWriter::longCellCutOnceReported()
{
    QFETCH(int, longCells);
    QFETCH(QString, message);
    SheetFixture f;
    const QString longText = QString(40000, QLatin1Char('L'));
    QStringList rows{longText, QStringLiteral("short")};
    if (longCells == 2)
        rows.append(longText);
    fill(f.results, QStringLiteral("Results"), rows);
    f.actions.saveAsSpreadsheet();
    QCOMPARE(f.reporter.reports, QStringList{});
    QCOMPARE(f.services.prompts.texts(), QStringList{message});
    const Sheet sheet = readSheet(f.actions.lastWorkbook());
    QCOMPARE(sheet.cells.value(QStringLiteral("A2")), longText.left(32767));
    QCOMPARE(sheet.cells.value(QStringLiteral("A3")), QStringLiteral("short"));
}

void TestSpreadsheetWriter::moreRowsThanASheetHolds()
{
    // One header row and 1,048,575 list rows fill a sheet; four more rows do not fit.
    SheetFixture f;
    f.results.setHeader(QStringLiteral("Results"));
    const int rows = results::SpreadsheetWriter::kSheetRows - 1 + 4;
    for (int r = 0; r < rows; ++r)
        f.results.appendDeferred(QStringLiteral("r%1").arg(r + 2));
    f.results.flush();
    f.actions.saveAsSpreadsheet();
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

void TestSpreadsheetWriter::literalEscapesStoredEscaped()
{
    // Read without decoding escapes: the underscore that would start one is itself escaped.
    SheetFixture f;
    fill(f.results, QStringLiteral("Results"),
         {QStringLiteral("_x0041_hit"), QStringLiteral("plain_x_text _x12_")});
    f.actions.saveAsSpreadsheet();
    const QByteArray xml =
        unzipped(f.actions.lastWorkbook(), QStringLiteral("xl/worksheets/sheet1.xml"));
    QVERIFY2(xml.contains(">_x005F_x0041_hit<"), xml.constData());
    QVERIFY2(xml.contains(">plain_x_text _x12_<"), xml.constData());
}

void TestSpreadsheetWriter::fullDiskReportedAndNothingOpened_data()
{
    // The most bytes a file may hold; 0 for just short of the finished sheet's XML, so the
    // rows fit and only the sheet assembled from them does not.
    QTest::addColumn<int>("fileLimit");
    QTest::newRow("the rows do not fit") << 64 * 1024;
    QTest::newRow("the rows fit, the sheet's end does not") << 0;
}

void TestSpreadsheetWriter::fullDiskReportedAndNothingOpened()
{
    // A child process whose files may not grow beyond a limit stands in for a full disk: the
    // export must say so, remove its file and open nothing.
    QFETCH(int, fileLimit);
    SheetFixture f;
    f.results.setHeader(QStringLiteral("Results"));
    for (int r = 0; r < 20000; ++r)
        f.results.appendDeferred(QStringLiteral("row %1 with some text to fill the disk").arg(r));
    f.results.flush();
    if (fileLimit == 0) {
        f.actions.saveAsSpreadsheet();
        fileLimit = int(
            unzipped(f.actions.lastWorkbook(), QStringLiteral("xl/worksheets/sheet1.xml")).size());
        QVERIFY(fileLimit > 20000 * 40);
        fileLimit -= 20;
        QVERIFY(QFile::remove(f.actions.lastWorkbook()));
        f.services.desktop.openedSpreadsheets.clear();
        f.view.activities.clear();
    }
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(fileLimit), rlim_t(fileLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        f.actions.saveAsSpreadsheet();
        int outcome = 0;
        if (f.reporter.reports.size() != 1)
            outcome |= 1;
        if (!f.services.desktop.openedSpreadsheets.isEmpty())
            outcome |= 2;
        if (!f.workbooks().isEmpty())
            outcome |= 4;
        if (!f.services.prompts.texts().isEmpty())
            outcome |= 8;
        if (f.view.activities !=
            std::vector<run::Activity>{run::Activity::Busy, run::Activity::Idle})
            outcome |= 16;
        ::_exit(outcome);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    // 1: not one report; 2: opened; 4: file left; 8: a message; 16: pointer not reset.
    QCOMPARE(WEXITSTATUS(status), 0);
    QVERIFY(f.workbooks().isEmpty());
}

void TestSpreadsheetWriter::missingTemporaryFolderReported()
{
    // The temporary folder named by TMPDIR does not exist: reported, and no workbook lands in
    // the current folder instead.
    SheetFixture f;
    fill(f.results, QStringLiteral("Results"), {QStringLiteral("a")});
    const QByteArray oldTmp = qgetenv("TMPDIR");
    const QString oldCurrent = QDir::currentPath();
    qputenv("TMPDIR", QFile::encodeName(f.folder.filePath(QStringLiteral("missing"))));
    QVERIFY(QDir::setCurrent(f.folder.path()));
    f.actions.setSpreadsheetFolder(QString());
    f.actions.saveAsSpreadsheet();
    QDir::setCurrent(oldCurrent);
    if (oldTmp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTmp);
    QCOMPARE(f.reporter.reports.size(), 1);
    QVERIFY2(f.reporter.reports.front().contains(QLatin1String("missing")),
             qPrintable(f.reporter.reports.front()));
    QVERIFY(f.workbooks().isEmpty());
    QVERIFY(f.services.desktop.openedSpreadsheets.isEmpty());
}

QTEST_MAIN(TestSpreadsheetWriter)
#include "tst_spreadsheetwriter.moc"
