// The text filters: case rules, blanks, both senses, and what a change to the list during
// the scan does.
#include "engine/Steps.h"
#include "platform/ListModel.h"
#include "results/RowFilter.h"
#include "support/Fakes.h"

#include <QAbstractItemModelTester>
#include <QTest>

using results::RowFilter;

namespace {

void fillOneColumn(platform::ListModel &list, const QStringList &rows)
{
    list.setHeader(QStringLiteral("Results"));
    for (const QString &row : rows)
        list.append(row);
}

} // namespace

class TestRowFilter : public QObject {
    Q_OBJECT
private slots:
    void filters_data();
    void filters();
    void manyScatteredRemovalsKeepTheRest();
    void yieldsOncePerRow();
    void rowsAppendedDuringScanAreNotExamined();
    void listClearedDuringScanFailsWithoutRemoving();
};

void TestRowFilter::filters_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("containing");
    QTest::addColumn<QStringList>("left");

    const QStringList mixed{QStringLiteral("abc"), QStringLiteral("Abc"), QStringLiteral("aBC"),
                            QStringLiteral("xyz")};
    QTest::newRow("capitals remove any mix of case")
        << mixed << QStringLiteral("ABC") << true << QStringList{QStringLiteral("xyz")};
    QTest::newRow("lower case text removes capitals too")
        << mixed << QStringLiteral("abc") << true << QStringList{QStringLiteral("xyz")};
    QTest::newRow("not containing keeps every case mix")
        << mixed << QStringLiteral("aBc") << false
        << QStringList{QStringLiteral("abc"), QStringLiteral("Abc"), QStringLiteral("aBC")};
    QTest::newRow("whole text equal counts as containing")
        << QStringList{QStringLiteral("peter"), QStringLiteral("pete")} << QStringLiteral("Peter")
        << true << QStringList{QStringLiteral("pete")};
    QTest::newRow("containing an absent text removes none")
        << mixed << QStringLiteral("qqq") << true << mixed;
    QTest::newRow("not containing an absent text removes all")
        << mixed << QStringLiteral("qqq") << false << QStringList{};
    QTest::newRow("leading blank is part of the text")
        << QStringList{QStringLiteral("ab"), QStringLiteral("x ab")} << QStringLiteral(" ab")
        << true << QStringList{QStringLiteral("ab")};
    QTest::newRow("trailing blank is part of the text")
        << QStringList{QStringLiteral("ab"), QStringLiteral("ab c")} << QStringLiteral("ab ")
        << false << QStringList{QStringLiteral("ab c")};
    QTest::newRow("remaining rows keep their order")
        << QStringList{QStringLiteral("1 keep"), QStringLiteral("2 drop"), QStringLiteral("3 keep"),
                       QStringLiteral("4 drop"), QStringLiteral("5 keep")}
        << QStringLiteral("DROP") << true
        << QStringList{QStringLiteral("1 keep"), QStringLiteral("3 keep"),
                       QStringLiteral("5 keep")};
    QTest::newRow("accented capitals lower too")
        << QStringList{QStringLiteral("ÉCOLE"), QStringLiteral("ecole")} << QStringLiteral("école")
        << true << QStringList{QStringLiteral("ecole")};
    // Characters outside ASCII that lower to ASCII letters, or lower to a longer text.
    QTest::newRow("capital I with a dot lowers to i")
        << QStringList{QStringLiteral("\u0130"), QStringLiteral("Ankara")} << QStringLiteral("i")
        << true << QStringList{QStringLiteral("Ankara")};
    QTest::newRow("Kelvin sign lowers to k")
        << QStringList{QStringLiteral("300 \u212A"), QStringLiteral("300 C")}
        << QStringLiteral("0 k") << true << QStringList{QStringLiteral("300 C")};
    QTest::newRow("long s is not an s")
        << QStringList{QStringLiteral("Congre\u017Fs"), QStringLiteral("Congress")}
        << QStringLiteral("ss") << false << QStringList{QStringLiteral("Congress")};
    QTest::newRow("a needle longer than the row's rest")
        << QStringList{QStringLiteral("xxab"), QStringLiteral("abc")} << QStringLiteral("abc")
        << true << QStringList{QStringLiteral("xxab")};
    QTest::newRow("a path on the file list")
        << QStringList{QStringLiteral("/home/u/Notes/A.TXT"), QStringLiteral("/home/u/b.log")}
        << QStringLiteral("notes/") << false << QStringList{QStringLiteral("/home/u/Notes/A.TXT")};
}

void TestRowFilter::filters()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, text);
    QFETCH(bool, containing);
    QFETCH(QStringList, left);

    platform::ListModel list;
    fillOneColumn(list, rows);
    // The views must hear of every removal in a form they can follow.
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    fakes::FakeYield yield;
    if (containing)
        RowFilter::removeRowsContaining(list, text, yield);
    else
        RowFilter::removeRowsNotContaining(list, text, yield);
    QCOMPARE(list.texts(), left);
    QCOMPARE(list.rowCount(), int(left.size()));
}

void TestRowFilter::manyScatteredRemovalsKeepTheRest()
{
    // Enough separate runs of removed rows that the list is built anew: every kept row must
    // come back in its order.
    platform::ListModel list;
    QStringList rows;
    QStringList expected;
    for (int r = 0; r < 300; ++r) {
        rows.append((r % 3 == 0 ? QStringLiteral("f%1 drop") : QStringLiteral("f%1 keep")).arg(r));
        if (r % 3 != 0)
            expected.append(rows.back());
    }
    fillOneColumn(list, rows);
    fakes::FakeYield yield;
    RowFilter::removeRowsContaining(list, QStringLiteral("DROP"), yield);
    QCOMPARE(list.texts(), expected);
}

void TestRowFilter::yieldsOncePerRow()
{
    platform::ListModel list;
    fillOneColumn(list, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    fakes::FakeYield yield;
    RowFilter::removeRowsContaining(list, QStringLiteral("b"), yield);
    QCOMPARE(yield.count, 3);
}

void TestRowFilter::rowsAppendedDuringScanAreNotExamined()
{
    platform::ListModel list;
    fillOneColumn(list, {QStringLiteral("drop 1"), QStringLiteral("keep")});
    fakes::FakeYield yield;
    // A run appends a matching row during the first yield.
    yield.onYield = [&](int n) {
        if (n == 1)
            list.append(QStringLiteral("drop 2"));
    };
    RowFilter::removeRowsContaining(list, QStringLiteral("drop"), yield);
    QCOMPARE(list.texts(), (QStringList{QStringLiteral("keep"), QStringLiteral("drop 2")}));
}

void TestRowFilter::listClearedDuringScanFailsWithoutRemoving()
{
    platform::ListModel list;
    fillOneColumn(list, {QStringLiteral("drop"), QStringLiteral("drop"), QStringLiteral("x")});
    fakes::FakeYield yield;
    int clearedAt = 0;
    yield.onYield = [&](int n) {
        if (n == 2) {
            // "Clear List" then a new run refill the list during the scan.
            list.clear();
            list.append(QStringLiteral("drop new"));
            clearedAt = n;
        }
    };
    QVERIFY_THROWS_EXCEPTION(engine::Failure,
                             RowFilter::removeRowsContaining(list, QStringLiteral("drop"), yield));
    QCOMPARE(clearedAt, 2);
    QCOMPARE(list.texts(), QStringList{QStringLiteral("drop new")});
}

QTEST_MAIN(TestRowFilter)
#include "tst_rowfilter.moc"
