#include "platform/ListModel.h"
#include "run/SearchMarks.h"
#include "shell/MatchDelegate.h"
#include "shell/ReportView.h"

#include <QScrollBar>
#include <QtTest>

namespace {

// Rows that exist only as a count, so a list can hold hundreds of millions of them.
class CountedRows : public QAbstractTableModel {
public:
    explicit CountedRows(int rows) : m_rows(rows) {}
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : m_rows;
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : 1;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("row %1").arg(index.row()))
                                       : QVariant();
    }
    QVariant headerData(int, Qt::Orientation, int role) const override
    {
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("Results")) : QVariant();
    }
    void append(int rows)
    {
        beginInsertRows({}, m_rows, m_rows + rows - 1);
        m_rows += rows;
        endInsertRows();
    }

private:
    int m_rows;
};

constexpr int kShownRows = 10;

} // namespace

class TestReportView : public QObject {
    Q_OBJECT
private slots:
    void keysAndClicksFindTheRow_data();
    void keysAndClicksFindTheRow();
    void marksLeaveTheRestOfTheRowAsItWas_data();
    void marksLeaveTheRestOfTheRowAsItWas();
    void lineNumbersTakeAColumnOfTheirOwn();
};

void TestReportView::keysAndClicksFindTheRow_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("clickedRow"); // rows below the first shown; -1: no click
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("firstShown");
    const int many = 200'000'000;
    QTest::newRow("down three") << 50 << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << -1
                                << 3 << 0;
    QTest::newRow("up at the top stays") << 50 << QList<int>{Qt::Key_Up} << -1 << 0 << 0;
    QTest::newRow("page down moves a page")
        << 50 << QList<int>{Qt::Key_PageDown} << -1 << kShownRows << 1;
    QTest::newRow("end, then home") << 50 << QList<int>{Qt::Key_End, Qt::Key_Home} << -1 << 0 << 0;
    QTest::newRow("end of a short list does not scroll")
        << 4 << QList<int>{Qt::Key_End} << -1 << 3 << 0;
    QTest::newRow("end of 200 million rows")
        << many << QList<int>{Qt::Key_End} << -1 << many - 1 << many - kShownRows;
    QTest::newRow("click after end of 200 million rows")
        << many << QList<int>{Qt::Key_End} << 4 << many - kShownRows + 4 << many - kShownRows;
    QTest::newRow("click below the last row selects nothing") << 4 << QList<int>{} << 6 << -1 << 0;
    QTest::newRow("click on the third row shown")
        << 50 << QList<int>{Qt::Key_PageDown} << 2 << 3 << 1;
}

void TestReportView::keysAndClicksFindTheRow()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, keys);
    QFETCH(int, clickedRow);
    QFETCH(int, current);
    QFETCH(int, firstShown);
    CountedRows model(0);
    shell::ReportView view;
    view.setModel(&model);
    // Rows come after the view is shown, as a run appends them.
    view.resize(300, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.resize(view.width(),
                view.height() - view.viewport()->height() + kShownRows * view.rowHeight());
    if (rows > 0)
        model.append(rows);
    view.setFocus();
    view.selectionModel()->setCurrentIndex(model.index(0, 0), QItemSelectionModel::NoUpdate);
    for (int key : keys)
        QTest::keyClick(&view, Qt::Key(key));
    if (clickedRow >= 0) {
        view.selectionModel()->clear();
        const QPoint at(20, clickedRow * view.rowHeight() + view.rowHeight() / 2);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at);
    }
    const QModelIndexList selected = view.selectionModel()->selectedRows();
    const int shown = clickedRow >= 0 ? (selected.isEmpty() ? -1 : selected.front().row())
                                      : view.currentIndex().row();
    QCOMPARE(shown, current);
    QCOMPARE(view.verticalScrollBar()->value(), firstShown);
    if (current >= 0) {
        // The row is where the list says it is, however far down.
        const QModelIndex index = model.index(current, 0);
        QVERIFY(view.viewport()->rect().contains(view.visualRect(index)));
        QCOMPARE(view.indexAt(view.visualRect(index).center()), index);
    }
}

void TestReportView::marksLeaveTheRestOfTheRowAsItWas_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("marked"); // whether a mark shows
    QTest::newRow("a mark in the middle") << "a row with a hit in it" << false << true;
    QTest::newRow("a mark on a selected row") << "hit at the start" << true << true;
    QTest::newRow("no mark") << "nothing to see here" << false << false;
    QTest::newRow("a mark on a row cut at the edge")
        << "hit " + QString(200, QLatin1Char('w')) + " hit" << false << true;
    QTest::newRow("a mark only past the edge")
        << QString(200, QLatin1Char('w')) + " hit" << false << false;
}

// A row with marks is drawn pixel for pixel as the list draws any row, but for the marks:
// the text stands where it stood, cut where it was cut.
void TestReportView::marksLeaveTheRestOfTheRowAsItWas()
{
    QFETCH(QString, row);
    QFETCH(bool, selected);
    QFETCH(bool, marked);
    platform::ListModel model;
    model.setHeader(QStringLiteral("Results"));
    run::RunRequest request;
    request.searchText = QStringLiteral("hit");
    model.startSection(run::SearchMarks::of(request));
    model.appendDeferred(QString(), row, QStringLiteral("/f.txt"), 1);
    model.flush();
    QImage shots[2];
    for (const bool withMarks : {false, true}) {
        shell::ReportView view;
        if (withMarks)
            view.setItemDelegate(new shell::MatchDelegate(&view));
        view.setModel(&model);
        view.resize(320, 120);
        view.header()->resizeSection(0, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        if (selected)
            view.selectionModel()->select(model.index(0, 0), QItemSelectionModel::Select);
        shots[withMarks] = view.viewport()->grab().toImage();
    }
    const QColor highlight = QApplication::palette().color(QPalette::Active, QPalette::Highlight);
    const QColor highlighted =
        QApplication::palette().color(QPalette::Active, QPalette::HighlightedText);
    const QColor markColour = selected ? highlighted : highlight;
    // Columns that hold a mark's background in the marked row.
    QSet<int> markColumns;
    for (int x = 0; x < shots[1].width(); ++x) {
        for (int y = 0; y < shots[1].height(); ++y) {
            if (QColor(shots[1].pixel(x, y)) == markColour &&
                QColor(shots[0].pixel(x, y)) != markColour)
                markColumns.insert(x);
        }
    }
    QCOMPARE(!markColumns.isEmpty(), marked);
    if (marked) {
        // The first mark starts where the text before it ends.
        const QFontMetrics metrics(QApplication::font());
        const int margin = QApplication::style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
        const int start =
            margin + metrics.horizontalAdvance(row.left(row.indexOf(QLatin1String("hit"))));
        const int first = *std::min_element(markColumns.begin(), markColumns.end());
        QVERIFY2(std::abs(first - start) <= 1,
                 qPrintable(QStringLiteral("%1, %2").arg(first).arg(start)));
    }
    for (int y = 0; y < shots[0].height(); ++y) {
        for (int x = 0; x < shots[0].width(); ++x) {
            if (shots[0].pixel(x, y) != shots[1].pixel(x, y))
                QVERIFY2(markColumns.contains(x),
                         qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        }
    }
}

// Line numbers stand in a column before the rows, which keep their width and their places.
void TestReportView::lineNumbersTakeAColumnOfTheirOwn()
{
    platform::ListModel model;
    model.setHeader(QStringLiteral("Results"));
    for (int r = 0; r < 30; ++r)
        model.appendDeferred(QString(), QStringLiteral("row %1").arg(r), QStringLiteral("/f.txt"),
                             r < 15 ? uint64_t(r + 1) : uint64_t(r) * 10000);
    model.append(QStringLiteral("no file"));
    shell::ReportView view;
    view.setModel(&model);
    view.resize(300, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QRect rows = view.viewport()->geometry();
    view.setLineNumbersShown(true);
    QVERIFY(view.lineNumbersShown());
    auto *column = view.findChild<QWidget *>(QStringLiteral("LineNumbers"));
    QVERIFY(column);
    QCOMPARE(view.viewport()->geometry().left(), rows.left() + column->width());
    QCOMPARE(column->geometry().right() + 1, view.viewport()->geometry().left());
    const int narrow = column->width();
    // A row further down needs a digit more once it is in sight.
    QTest::qWait(50);
    QCOMPARE(column->width(), narrow);
    view.verticalScrollBar()->setValue(20);
    QTRY_VERIFY(column->width() > narrow);
    QCOMPARE(column->geometry().right() + 1, view.viewport()->geometry().left());
    QCOMPARE(view.indexAt(QPoint(5, 2)), model.index(20, 0));
    view.setLineNumbersShown(false);
    QVERIFY(!view.findChild<QWidget *>(QStringLiteral("LineNumbers")));
    QCOMPARE(view.viewport()->geometry(), rows);
}

QTEST_MAIN(TestReportView)
#include "tst_reportview.moc"
