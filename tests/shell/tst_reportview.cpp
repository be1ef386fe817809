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

QTEST_MAIN(TestReportView)
#include "tst_reportview.moc"
