#include "run/SearchMarks.h"

#include <QtTest>

namespace {

// Writes spans as "start+length" each, space-separated.
QString shown(const std::vector<platform::TextSpan> &spans)
{
    QStringList parts;
    for (const platform::TextSpan &span : spans)
        parts << QStringLiteral("%1+%2").arg(span.start).arg(span.length);
    return parts.join(QLatin1Char(' '));
}

} // namespace

// Where a run's rows show what found them: the stretches painted in a row.
class TestSearchMarks : public QObject {
    Q_OBJECT
private slots:
    void spans_data();
    void spans();
    void searchesThatShowNothing_data();
    void searchesThatShowNothing();
};

void TestSearchMarks::spans_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<bool>("regex");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain, case-blind") << "hit" << false << false << "Hit hit HIT"
                                       << "0+3 4+3 8+3";
    QTest::newRow("plain, match case") << "hit" << true << false << "Hit hit HIT"
                                       << "4+3";
    QTest::newRow("occurrences do not overlap") << "aa" << false << false << "aaaaa"
                                                << "0+2 2+2";
    QTest::newRow("accented letters, case-blind")
        << QString::fromUtf8("é") << false << false << QString::fromUtf8("Café CAFÉ") << "3+1 8+1";
    QTest::newRow("accented letters, match case")
        << QString::fromUtf8("É") << true << false << QString::fromUtf8("Café CAFÉ") << "8+1";
    QTest::newRow("Ÿ and ÿ, Š and š")
        << QString::fromUtf8("ÿš") << false << false << QString::fromUtf8("xŸŠ ÿš") << "1+2 4+2";
    QTest::newRow("a search text that never shows") << "zz" << false << false << "abc"
                                                    << "";
    QTest::newRow("regex: each match") << R"(\d+)" << false << true << "a1b22c333"
                                       << "1+1 3+2 6+3";
    QTest::newRow("regex: ^ anchors at the line's start") << "^ab" << false << true << "ab ab"
                                                          << "0+2";
    QTest::newRow("regex: caseless accented letters")
        << QString::fromUtf8(R"(é\w+)") << false << true << QString::fromUtf8("ÉCOLE école")
        << "0+5 6+5";
    QTest::newRow("regex: match case") << "^E" << true << true << "Ea e"
                                       << "0+1";
    QTest::newRow("regex: empty matches mark nothing") << "x*" << false << true << "axxb"
                                                       << "1+2";
    QTest::newRow("regex: a surrogate pair is one character")
        << ".x" << false << true << QString::fromUtf8("😀x😀") << "0+3";
    QTest::newRow("regex: empty matches step over a surrogate pair")
        << "y*" << false << true << QString::fromUtf8("😀y") << "2+1";
    QTest::newRow("regex: lookbehind sees the text before") << "(?<=a)b" << false << true << "abb"
                                                            << "1+1";
}

void TestSearchMarks::spans()
{
    QFETCH(QString, search);
    QFETCH(bool, matchCase);
    QFETCH(bool, regex);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    run::RunRequest request;
    request.searchText = search;
    request.matchCase = matchCase;
    request.regex = regex;
    const auto marks = run::SearchMarks::of(request);
    QVERIFY(marks);
    QCOMPARE(shown(marks->find(text)), expected);
}

void TestSearchMarks::searchesThatShowNothing_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("regex");
    QTest::addColumn<int>("display");
    const auto fileLine = int(run::DisplayOption::FileAndLine);
    QTest::newRow("empty search text") << "" << false << fileLine;
    QTest::newRow("empty pattern") << "" << true << fileLine;
    QTest::newRow("a pattern that does not compile") << "(a" << true << fileLine;
    QTest::newRow("rows of the path alone") << "a" << false << int(run::DisplayOption::FileOnly);
    QTest::newRow("no rows at all") << "a" << false << int(run::DisplayOption::None);
}

// Rows that show nothing of the search get no marks at all.
void TestSearchMarks::searchesThatShowNothing()
{
    QFETCH(QString, search);
    QFETCH(bool, regex);
    QFETCH(int, display);
    run::RunRequest request;
    request.searchText = search;
    request.regex = regex;
    request.display = run::DisplayOption(display);
    QVERIFY(!run::SearchMarks::of(request));
}

QTEST_APPLESS_MAIN(TestSearchMarks)
#include "tst_searchmarks.moc"
