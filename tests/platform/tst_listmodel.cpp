#include "engine/Steps.h"
#include "platform/ListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

class TestListModel : public QObject {
    Q_OBJECT
private slots:
    void deferredRowsJoinAtFlush();
    void removeRows_data();
    void removeRows();
    void outOfRangeFails();
    void subItemsAndCheckMarks();
    void longRowsAreShownByTheirStartButKeptWhole();
};

void TestListModel::deferredRowsJoinAtFlush()
{
    platform::ListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.addColumn("Results", 7000);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 5; ++i)
        model.appendDeferred(QString::number(i), true);
    // Counted and readable at once, shown to views in one insertion.
    QCOMPARE(model.count(), 5);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.text(4), QStringLiteral("4"));
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(inserted.size(), 1);
    model.append("5");
    QCOMPARE(model.texts().size(), 6);
    QVERIFY(model.checked(0));
    QVERIFY(!model.checked(5));
}

void TestListModel::removeRows_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("remove");
    QTest::newRow("nothing") << 5 << QList<int>{};
    QTest::newRow("one run") << 5 << QList<int>{1, 2, 3};
    QTest::newRow("two runs, unsorted, repeated") << 6 << QList<int>{5, 0, 1, 5};
    QTest::newRow("everything") << 4 << QList<int>{0, 1, 2, 3};
    QList<int> scattered;
    for (int r = 0; r < 200; r += 3)
        scattered.append(r);
    QTest::newRow("many scattered runs") << 200 << scattered;
}

void TestListModel::removeRows()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, remove);
    platform::ListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.addColumn("Results");
    QStringList expected;
    for (int r = 0; r < rows; ++r) {
        model.appendDeferred(QString::number(r), r % 2 == 0);
        if (!remove.contains(r))
            expected.append(QString::number(r));
    }
    model.setSubItem(0, 1, "sub");
    model.removeRowsSorted(std::vector<int>(remove.begin(), remove.end()));
    QCOMPARE(model.texts(), expected);
    QCOMPARE(model.rowCount(), int(expected.size()));
    // Kept rows keep their check marks and sub-items.
    for (int r = 0; r < model.count(); ++r) {
        QCOMPARE(model.checked(r), model.text(r).toInt() % 2 == 0);
        QCOMPARE(model.subItem(r, 1), model.text(r) == "0" ? QStringLiteral("sub") : QString());
    }
}

void TestListModel::outOfRangeFails()
{
    platform::ListModel model;
    model.append("a");
    QVERIFY_THROWS_EXCEPTION(engine::Failure, model.text(1));
    QVERIFY_THROWS_EXCEPTION(engine::Failure, model.removeAt(-1));
    QVERIFY_THROWS_EXCEPTION(engine::Failure, model.removeRowsSorted({0, 1}));
    QCOMPARE(model.count(), 1);
}

void TestListModel::subItemsAndCheckMarks()
{
    platform::ListModel model;
    model.addColumn("Name");
    model.addColumn("Size");
    model.append("a");
    model.setSubItem(0, 2, "third");
    QCOMPARE(model.subItemCount(0), 2);
    QCOMPARE(model.subItem(0, 1), QString());
    QCOMPARE(model.data(model.index(0, 1)).toString(), QString());
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Size"));
    model.clear();
    QCOMPARE(model.count(), 0);
}

void TestListModel::longRowsAreShownByTheirStartButKeptWhole()
{
    platform::ListModel model;
    model.addColumn("Results");
    const QString row(70000, 'x');
    model.append(row);
    QCOMPARE(model.data(model.index(0, 0)).toString().size(), 2000);
    QCOMPARE(model.text(0), row);
    QCOMPARE(model.texts().front(), row);
}

QTEST_APPLESS_MAIN(TestListModel)
#include "tst_listmodel.moc"
