#include "support/FakeFileListHost.h"
#include "support/FakeFileSystem.h"

#include "filelist/FileListController.h"
#include "filelist/FileListHost.h"

#include <QTest>

namespace {

void fill(fakes::FakeFileListHost &host, const QStringList &texts)
{
    for (const QString &text : texts)
        host.list.append(text);
}

const QStringList sixFiles{"/f/1.txt", "/f/2.txt", "/f/3.txt", "/f/4.txt", "/f/5.txt", "/f/6.txt"};

} // namespace

class tst_FileListController : public QObject {
    Q_OBJECT

private slots:
    void removeSelected_data();
    void removeSelected();
    void clearList_data();
    void clearList();
    void dragFirstToFifthExchangesOnlyThoseTwo();
    void dragOverSameTextExchangesNothing();
    void dragNeedsButtonDownAndCarriedEntry();
    void dragAutoScroll_data();
    void dragAutoScroll();
    void removedCarriedEntryIsNeverWritten();
    void movingShowsTheArrow();
};

void tst_FileListController::removeSelected_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("activity");
    QTest::addColumn<QStringList>("expected");
    const int idle = int(run::Activity::Idle);
    QTest::newRow("selected entry goes")
        << QStringList{"a", "b", "c"} << 1 << idle << QStringList{"a", "c"};
    QTest::newRow("refused while busy")
        << QStringList{"a", "b"} << 0 << int(run::Activity::Busy) << QStringList{"a", "b"};
    QTest::newRow("refused while a run goes")
        << QStringList{"a", "b"} << 0 << int(run::Activity::Running) << QStringList{"a", "b"};
    QTest::newRow("no selection changes nothing")
        << QStringList{"a", "b"} << -1 << idle << QStringList{"a", "b"};
    QTest::newRow("empty list changes nothing") << QStringList{} << -1 << idle << QStringList{};
    QTest::newRow("stale selection past the end changes nothing")
        << QStringList{"a"} << 3 << idle << QStringList{"a"};
}

void tst_FileListController::removeSelected()
{
    QFETCH(QStringList, texts);
    QFETCH(int, selected);
    QFETCH(int, activity);
    QFETCH(QStringList, expected);
    fakes::FakeFileSystem fs;
    fakes::FakeFileListHost host(fs, "/prog");
    fill(host, texts);
    host.selected = selected;
    host.doing = run::Activity(activity);
    filelist::FileListController controller(host);
    controller.removeSelected();
    QCOMPARE(host.texts(), expected);
    QVERIFY(host.reports.reports.isEmpty());
}

void tst_FileListController::clearList_data()
{
    QTest::addColumn<int>("activity");
    QTest::addColumn<int>("remaining");
    QTest::newRow("idle clears everything") << int(run::Activity::Idle) << 0;
    QTest::newRow("busy keeps everything") << int(run::Activity::Busy) << 6;
    QTest::newRow("a run keeps everything") << int(run::Activity::Running) << 6;
}

void tst_FileListController::clearList()
{
    QFETCH(int, activity);
    QFETCH(int, remaining);
    fakes::FakeFileSystem fs;
    fakes::FakeFileListHost host(fs, "/prog");
    fill(host, sixFiles);
    host.list.appendDeferred("/f/pending.txt");
    host.doing = run::Activity(activity);
    filelist::FileListController controller(host);
    controller.clearFiles();
    QCOMPARE(host.list.count(), remaining == 0 ? 0 : remaining + 1);
    // Once the run or scan is over, the same click empties the list.
    host.doing = run::Activity::Idle;
    controller.clearFiles();
    QCOMPARE(host.list.count(), 0);
}

void tst_FileListController::dragFirstToFifthExchangesOnlyThoseTwo()
{
    fakes::FakeFileSystem fs;
    fakes::FakeFileListHost host(fs, "/prog");
    fill(host, sixFiles);
    filelist::FileListController controller(host);
    host.selected = 0;
    controller.mouseDown();
    controller.itemClick();
    QVERIFY(host.dragPointer);
    controller.mouseMove(4, 330);
    QCOMPARE(host.texts(),
             (QStringList{"/f/5.txt", "/f/2.txt", "/f/3.txt", "/f/4.txt", "/f/1.txt", "/f/6.txt"}));
    QCOMPARE(host.selected, 4);
    QCOMPARE(controller.carriedRow(), 4);
    // Carrying on upwards moves the same entry again.
    controller.mouseMove(2, 330);
    QCOMPARE(host.texts(),
             (QStringList{"/f/5.txt", "/f/2.txt", "/f/1.txt", "/f/4.txt", "/f/3.txt", "/f/6.txt"}));
    controller.mouseUp();
    QVERIFY(!host.dragPointer);
    QVERIFY(!controller.isMouseDown());
    controller.mouseMove(5, 330);
    QCOMPARE(host.list.text(5), "/f/6.txt");
}

void tst_FileListController::dragOverSameTextExchangesNothing()
{
    fakes::FakeFileSystem fs;
    fakes::FakeFileListHost host(fs, "/prog");
    fill(host, {"/f/same.txt", "/f/other.txt", "/f/same.txt"});
    filelist::FileListController controller(host);
    host.selected = 0;
    controller.mouseDown();
    controller.itemClick();
    controller.mouseMove(2, 330);
    QCOMPARE(host.texts(), (QStringList{"/f/same.txt", "/f/other.txt", "/f/same.txt"}));
    QCOMPARE(host.selected, 0);
    QCOMPARE(controller.carriedRow(), 0);
    QVERIFY(host.scrolledTo.isEmpty());
}

void tst_FileListController::dragNeedsButtonDownAndCarriedEntry()
{
    fakes::FakeFileSystem fs;
    fakes::FakeFileListHost host(fs, "/prog");
    fill(host, sixFiles);
    filelist::FileListController controller(host);
    controller.mouseMove(3, 330);
    controller.mouseDown();
    controller.mouseMove(3, 330);
    controller.mouseMove(-1, 330);
    QCOMPARE(host.texts(), sixFiles);
    host.selected = 1;
    controller.itemClick();
    controller.mouseMove(-1, 330);
    QCOMPARE(host.texts(), sixFiles);
}

void tst_FileListController::dragAutoScroll_data()
{
    QTest::addColumn<int>("hovered");
    QTest::addColumn<int>("screenY");
    QTest::addColumn<QList<int>>("scrolled");
    QTest::newRow("above 305 shows the row above") << 3 << 304 << QList<int>{2};
    QTest::newRow("at 305 no scroll") << 3 << 305 << QList<int>{};
    QTest::newRow("at 364 no scroll") << 3 << 364 << QList<int>{};
    QTest::newRow("below 364 shows the row below") << 3 << 365 << QList<int>{4};
    QTest::newRow("first row has nothing above") << 0 << 100 << QList<int>{};
    QTest::newRow("last row has nothing below") << 5 << 700 << QList<int>{};
}

void tst_FileListController::dragAutoScroll()
{
    QFETCH(int, hovered);
    QFETCH(int, screenY);
    QFETCH(QList<int>, scrolled);
    fakes::FakeFileSystem fs;
    fakes::FakeFileListHost host(fs, "/prog");
    fill(host, sixFiles);
    filelist::FileListController controller(host);
    host.selected = hovered == 2 ? 1 : 2;
    controller.mouseDown();
    controller.itemClick();
    controller.mouseMove(hovered, screenY);
    QCOMPARE(host.scrolledTo, scrolled);
}

void tst_FileListController::removedCarriedEntryIsNeverWritten()
{
    fakes::FakeFileSystem fs;
    fakes::FakeFileListHost host(fs, "/prog");
    fill(host, {"a", "b", "c"});
    filelist::FileListController controller(host);
    host.selected = 2;
    controller.mouseDown();
    controller.itemClick();
    controller.removeSelected();
    QCOMPARE(controller.carriedRow(), -1);
    controller.mouseMove(0, 330);
    QCOMPARE(host.texts(), (QStringList{"a", "b"}));
}

void tst_FileListController::movingShowsTheArrow()
{
    fakes::FakeFileSystem fs;
    fakes::FakeFileListHost host(fs, "/prog");
    filelist::FileListController controller(host);
    controller.mouseMove(-1, 0);
    QCOMPARE(host.arrowsShown, 1);
}

QTEST_MAIN(tst_FileListController)
#include "tst_filelistcontroller.moc"
