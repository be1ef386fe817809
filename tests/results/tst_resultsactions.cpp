// The filter buttons of both lists and "Clear List": prompts, messages, activity and reports.
#include "platform/ListModel.h"
#include "results/ResultsActions.h"
#include "support/FakeResultsView.h"
#include "support/Fakes.h"

#include <QTest>

namespace {

struct Fixture {
    fakes::TestServices services;
    fakes::FakeResultsView view;
    fakes::RecordingReporter reporter;
    platform::ListModel results;
    platform::ListModel files;
    results::ResultsActions actions{view, services.services(), reporter, results, files};

    Fixture()
    {
        results.setHeader(QStringLiteral("Results"));
        files.setHeader(QStringLiteral("File(s)"));
    }
};

using Handler = void (results::ResultsActions::*)();

} // namespace

Q_DECLARE_METATYPE(Handler)

class TestResultsActions : public QObject {
    Q_OBJECT
private slots:
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void emptyListSaysSo_data();
    void emptyListSaysSo();
    void filtersTheirOwnList_data();
    void filtersTheirOwnList();
    void failureDuringScanIsReportedAndPointerReset();
    void clearListEmptiesResultsOnly();
};

void TestResultsActions::cancelChangesNothing_data()
{
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<bool>("emptyList");
    QTest::newRow("results containing, rows")
        << &results::ResultsActions::removeResultsContaining << false;
    QTest::newRow("results not containing, empty list")
        << &results::ResultsActions::removeResultsNotContaining << true;
    QTest::newRow("files containing, empty list")
        << &results::ResultsActions::removeFilesContaining << true;
    QTest::newRow("files not containing, rows")
        << &results::ResultsActions::removeFilesNotContaining << false;
}

void TestResultsActions::cancelChangesNothing()
{
    QFETCH(Handler, handler);
    QFETCH(bool, emptyList);
    Fixture f;
    if (!emptyList) {
        f.results.append(QStringLiteral("abc"));
        f.files.append(QStringLiteral("/a/abc.txt"));
    }
    f.services.prompts.inputAnswers = {QString()};
    (f.actions.*handler)();
    QCOMPARE(f.services.prompts.inputPrompts.size(), 1);
    QVERIFY(f.services.prompts.messages.empty());
    QVERIFY(f.view.activities.empty());
    QCOMPARE(f.results.count(), emptyList ? 0 : 1);
    QCOMPARE(f.files.count(), emptyList ? 0 : 1);
}

void TestResultsActions::emptyListSaysSo_data()
{
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<QString>("prompt");
    QTest::newRow("results containing") << &results::ResultsActions::removeResultsContaining
                                        << QStringLiteral("Remove results containing this text: ");
    QTest::newRow("results not containing")
        << &results::ResultsActions::removeResultsNotContaining
        << QStringLiteral("Remove results not containing this text: ");
    QTest::newRow("files containing") << &results::ResultsActions::removeFilesContaining
                                      << QStringLiteral("Remove results containing this text: ");
    QTest::newRow("files not containing")
        << &results::ResultsActions::removeFilesNotContaining
        << QStringLiteral("Remove results not containing this text: ");
}

void TestResultsActions::emptyListSaysSo()
{
    QFETCH(Handler, handler);
    QFETCH(QString, prompt);
    Fixture f;
    f.services.prompts.inputAnswers = {QStringLiteral("x")};
    (f.actions.*handler)();
    QCOMPARE(f.services.prompts.inputPrompts, QStringList{prompt});
    QCOMPARE(f.services.prompts.texts(),
             QStringList{QStringLiteral("There are no results to remove.")});
    QCOMPARE(f.services.prompts.messages.front().title, QStringLiteral("Lumbrex"));
    QCOMPARE(f.view.activities,
             (std::vector<run::Activity>{run::Activity::Busy, run::Activity::Idle}));
    QVERIFY(f.reporter.reports.isEmpty());
}

void TestResultsActions::filtersTheirOwnList_data()
{
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<bool>("onFiles");
    QTest::addColumn<QStringList>("left");
    const QStringList kept{QStringLiteral("/b/two.log")};
    const QStringList removed{QStringLiteral("/a/One.TXT"), QStringLiteral("/c/three.txt")};
    QTest::newRow("results containing")
        << &results::ResultsActions::removeResultsContaining << false << kept;
    QTest::newRow("results not containing")
        << &results::ResultsActions::removeResultsNotContaining << false << removed;
    QTest::newRow("files containing")
        << &results::ResultsActions::removeFilesContaining << true << kept;
    QTest::newRow("files not containing")
        << &results::ResultsActions::removeFilesNotContaining << true << removed;
}

void TestResultsActions::filtersTheirOwnList()
{
    QFETCH(Handler, handler);
    QFETCH(bool, onFiles);
    QFETCH(QStringList, left);
    Fixture f;
    const QStringList rows{QStringLiteral("/a/One.TXT"), QStringLiteral("/b/two.log"),
                           QStringLiteral("/c/three.txt")};
    for (const QString &row : rows) {
        f.results.append(row);
        f.files.append(row);
    }
    f.services.prompts.inputAnswers = {QStringLiteral(".txt")};
    (f.actions.*handler)();
    QCOMPARE((onFiles ? f.files : f.results).texts(), left);
    QCOMPARE((onFiles ? f.results : f.files).texts(), rows);
    QVERIFY(f.services.prompts.messages.empty());
    QCOMPARE(f.view.activities,
             (std::vector<run::Activity>{run::Activity::Busy, run::Activity::Idle}));
}

void TestResultsActions::failureDuringScanIsReportedAndPointerReset()
{
    Fixture f;
    for (int i = 0; i < 5; ++i)
        f.results.append(QStringLiteral("row"));
    // "Clear List" runs inside a yield of the filter.
    f.services.yield.onYield = [&](int n) {
        if (n == 3)
            f.actions.clearResults();
    };
    f.services.prompts.inputAnswers = {QStringLiteral("row")};
    f.actions.removeResultsNotContaining();
    QCOMPARE(f.reporter.reports.size(), 1);
    QVERIFY2(f.reporter.reports.front().startsWith(
                 QStringLiteral("Quillon2021/08/31.Form1.PushButton20_Click|112|")),
             qPrintable(f.reporter.reports.front()));
    QCOMPARE(f.view.activity, run::Activity::Idle);
    QCOMPARE(f.results.count(), 0);
}

void TestResultsActions::clearListEmptiesResultsOnly()
{
    Fixture f;
    f.results.append(QStringLiteral("a"));
    f.results.append(QStringLiteral("b"));
    f.files.append(QStringLiteral("/x"));
    f.actions.clearResults();
    QCOMPARE(f.results.count(), 0);
    QCOMPARE(f.files.count(), 1);
    QVERIFY(f.services.prompts.messages.empty());
    QVERIFY(f.view.activities.empty());
}

QTEST_MAIN(TestResultsActions)
#include "tst_resultsactions.moc"
