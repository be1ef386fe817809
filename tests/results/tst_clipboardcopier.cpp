// The clipboard copy: its text rules, the retries and what the button says afterwards.
#include "platform/ListModel.h"
#include "results/ClipboardCopier.h"
#include "results/ExportActions.h"
#include "support/FakeResultsView.h"
#include "support/Fakes.h"
#include "support/ListFixture.h"

#include <QTest>

using results::ClipboardCopier;

namespace {

using fakes::fill;

const QString kCopied = QStringLiteral("Results have been copied to the clipboard.\r\rClick a text "
                                       "area where you normally type and press Ctrl+V to paste "
                                       "the clipboard.");

struct CopyFixture {
    fakes::TestServices services;
    fakes::FakeResultsView view;
    fakes::RecordingReporter reporter;
    platform::ListModel results;
    results::ExportActions actions{view, services.services(), reporter, results};

    CopyFixture() { results.setHeader(QStringLiteral("Results")); }
};

} // namespace

class TestClipboardCopier : public QObject {
    Q_OBJECT
private slots:
    void text_data();
    void text();
    void copiesAndSaysSo();
    void emptyListLeavesClipboardButStillSaysCopied();
    void busyClipboardIsRetried_data();
    void busyClipboardIsRetried();
    void refusingClipboardIsReportedNotCopied();
    void rowsRemovedDuringCopyReportedWithoutCopiedMessage();
};

void TestClipboardCopier::text_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("expected");

    QTest::newRow("rows of 3 and 12 characters: no header, no padding")
        << QStringList{QStringLiteral("abc"), QStringLiteral("abcdefghijkl")}
        << QStringLiteral("abc\r\nabcdefghijkl\r\n");
    QTest::newRow("trailing blanks removed")
        << QStringList{QStringLiteral("abc   "), QStringLiteral("  x")}
        << QStringLiteral("abc\r\n  x\r\n");
    QTest::newRow("empty and blank rows give empty lines")
        << QStringList{QString(), QStringLiteral("   "), QStringLiteral("z")}
        << QStringLiteral("\r\n\r\nz\r\n");
    QTest::newRow("trailing tab inside the text stops the trim")
        << QStringList{QStringLiteral("a\t ")} << QStringLiteral("a\t\r\n");
    QTest::newRow("characters outside Windows-1252 kept")
        << QStringList{QString::fromUtf8("中文 😀")} << QString::fromUtf8("中文 😀\r\n");
    QTest::newRow("a lone surrogate is a replacement character, as in the files")
        << QStringList{QString::fromUtf16(u"a\xD800"
                                          u"b\xDC00")}
        << QString::fromUtf16(u"a\xFFFD"
                              u"b\xFFFD\r\n");
}

void TestClipboardCopier::text()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, expected);
    platform::ListModel list;
    fill(list, QStringLiteral("Results"), rows);
    fakes::FakeYield yield;
    fakes::FakeClipboard clipboard;
    clipboard.contents = QStringLiteral("before");
    QCOMPARE(ClipboardCopier::copyToClipboard(list, clipboard, yield),
             ClipboardCopier::Outcome::Copied);
    QCOMPARE(clipboard.contents, expected);
}

void TestClipboardCopier::copiesAndSaysSo()
{
    CopyFixture f;
    f.results.append(QStringLiteral("one"));
    f.results.append(QStringLiteral("two"));
    f.actions.copyResults();
    QCOMPARE(f.services.clipboard.contents, QStringLiteral("one\r\ntwo\r\n"));
    QCOMPARE(f.services.prompts.texts(), QStringList{kCopied});
    QCOMPARE(f.services.prompts.messages.front().icon, platform::Icon::None);
    QCOMPARE(f.view.captions,
             (QStringList{QStringLiteral("Copying text to clipboard.. please wait.."),
                          QStringLiteral("Progress Bar")}));
    QCOMPARE(f.view.activities,
             (std::vector<run::Activity>{run::Activity::Busy, run::Activity::Idle}));
    QVERIFY(f.reporter.reports.isEmpty());
}

void TestClipboardCopier::emptyListLeavesClipboardButStillSaysCopied()
{
    CopyFixture f;
    f.services.clipboard.contents = QStringLiteral("untouched");
    f.actions.copyResults();
    QCOMPARE(f.services.clipboard.contents, QStringLiteral("untouched"));
    QCOMPARE(f.services.clipboard.setAttempts, 0);
    QCOMPARE(f.services.prompts.texts(), QStringList{kCopied});
}

void TestClipboardCopier::busyClipboardIsRetried_data()
{
    QTest::addColumn<int>("refusedSets");
    QTest::newRow("one refused set") << 1;
    QTest::newRow("999 refused sets") << 999;
}

void TestClipboardCopier::busyClipboardIsRetried()
{
    QFETCH(int, refusedSets);
    CopyFixture f;
    f.results.append(QStringLiteral("row"));
    f.services.clipboard.refuseSets = refusedSets;
    f.actions.copyResults();
    QCOMPARE(f.services.clipboard.setAttempts, refusedSets + 1);
    QCOMPARE(f.services.clipboard.contents, QStringLiteral("row\r\n"));
    QCOMPARE(f.services.prompts.texts(), QStringList{kCopied});
    QVERIFY(f.reporter.reports.isEmpty());
}

void TestClipboardCopier::refusingClipboardIsReportedNotCopied()
{
    CopyFixture f;
    f.results.append(QStringLiteral("row"));
    f.services.clipboard.refuseSets = 1000;
    f.actions.copyResults();
    QCOMPARE(f.services.clipboard.setAttempts, 1000);
    QCOMPARE(f.reporter.reports.size(), 1);
    QVERIFY2(f.reporter.reports.front().startsWith(
                 QStringLiteral("Quillon2021/08/31.Form1.PushButton18_Click|110|")),
             qPrintable(f.reporter.reports.front()));
    QVERIFY(!f.services.prompts.texts().contains(kCopied));
    QCOMPARE(f.view.activity, run::Activity::Idle);
    QCOMPARE(f.view.caption, QStringLiteral("Progress Bar"));
}

void TestClipboardCopier::rowsRemovedDuringCopyReportedWithoutCopiedMessage()
{
    CopyFixture f;
    for (int i = 0; i < 10; ++i)
        f.results.append(QStringLiteral("row"));
    f.services.clipboard.contents = QStringLiteral("untouched");
    f.services.yield.onYield = [&](int n) {
        if (n == 5)
            f.results.clear();
    };
    f.actions.copyResults();
    QCOMPARE(f.reporter.reports.size(), 1);
    QCOMPARE(f.services.clipboard.contents, QStringLiteral("untouched"));
    QVERIFY(!f.services.prompts.texts().contains(kCopied));
    QCOMPARE(f.view.activity, run::Activity::Idle);
}

QTEST_MAIN(TestClipboardCopier)
#include "tst_clipboardcopier.moc"
