// The Start/Stop button through the real main window: what a start takes from the controls,
// what the window shows while a run goes and after it, and that the window gets the rows a
// run with no window gets.

#include "run/ExtractionRun.h"
#include "run/ModeTable.h"
#include "shell/MainWindow.h"
#include "support/Fakes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <random>

namespace {

// What a test does to the window while a run goes.
enum class Change {
    SearchText,
    MatchCase,
    Mode,
    StoredLineCounts,
    DisplayOption,
    OneLine,
    FirstFileRemoved,
};

// Collects a windowless run's rows.
class RowsSink : public run::RunSink {
public:
    void progress(int, const QString &) override {}
    explicit RowsSink(const QStringList &paths) : m_paths(paths) {}
    void addRow(const QString &prefix, QStringView text, run::RowSource source) override
    {
        rows.append(prefix + text.toString());
        origins.append(m_paths.at(source.file) + QLatin1Char(':') + QString::number(source.line));
    }
    QStringList rows;
    QStringList origins; // path:line

private:
    QStringList m_paths;
};

} // namespace

class TestRunControl : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void emptyListSaysSoAndRunsNothing();
    void invalidPatternStopsTheStart_data();
    void invalidPatternStopsTheStart();
    void whatTheWindowShowsDuringAndAfterARun();
    void stopClickKeepsTheRowsAndSaysNothing();
    void controlsChangedDuringARunCountFromTheNextStart_data();
    void controlsChangedDuringARunCountFromTheNextStart();
    void storedLineCountTheDialogRefusesIsReportedOnce_data();
    void storedLineCountTheDialogRefusesIsReportedOnce();
    void windowAndWindowlessRunsGiveTheSameRows();

private:
    QString write(const QString &name, const QByteArray &bytes);
    void click() { m_window->startButton->click(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<fakes::TestServices> m_fakes;
    std::unique_ptr<shell::MainWindow> m_window;
};

void TestRunControl::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_fakes = std::make_unique<fakes::TestServices>();
    m_window =
        std::make_unique<shell::MainWindow>(m_fakes->services(), QStringLiteral("/nonexistent"));
    m_window->startUp();
    m_window->modeList->setCurrentIndex(1);
    m_window->lineOnlyOption->click();
    m_window->searchBox->setText(QStringLiteral("hit"));
}

void TestRunControl::cleanup()
{
    m_window.reset();
}

QString TestRunControl::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestRunControl::emptyListSaysSoAndRunsNothing()
{
    click();
    QCOMPARE(m_fakes->prompts.texts(), QStringList{"No files added."});
    QCOMPARE(m_fakes->prompts.messages.front().title, QStringLiteral("Lumbrex"));
    QCOMPARE(m_window->startButton->text(), shell::startCaption);
    QCOMPARE(m_window->activity(), run::Activity::Idle);
}

void TestRunControl::invalidPatternStopsTheStart_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("message");
    QTest::newRow("unclosed group") << "(abc"
                                    << "missing closing parenthesis at offset 4.";
    QTest::newRow("range out of order") << "[z-a]"
                                        << "range out of order in character class at offset 3.";
    QTest::newRow("lone backslash") << "\\"
                                    << "\\ at end of pattern at offset 1.";
}

void TestRunControl::invalidPatternStopsTheStart()
{
    QFETCH(QString, search);
    QFETCH(QString, message);
    m_window->files().append(write("a.txt", "(abc\r\n"));
    m_window->regexBox->setChecked(true);
    m_window->searchBox->setText(search);
    m_window->modeList->setCurrentIndex(0);
    click();
    QCOMPARE(m_fakes->prompts.texts(),
             QStringList{"The search text is not a valid regular expression: " + message});
    QCOMPARE(m_fakes->prompts.messages.front().icon, platform::Icon::Warning);
    // Nothing ran: no dialog, no rows; the search text stays as typed.
    QVERIFY(!m_window->linesDialogPrepared());
    QCOMPARE(m_window->results().count(), 0);
    QCOMPARE(m_window->startButton->text(), shell::startCaption);
    QCOMPARE(m_window->searchBox->text(), search);
}

void TestRunControl::whatTheWindowShowsDuringAndAfterARun()
{
    m_window->files().append(write("a.txt", "hit\r\n"));
    m_window->files().append(write("b.txt", "hit\r\n"));
    QStringList seen;
    m_fakes->yield.onYield = [&](int) {
        const QString state =
            m_window->startButton->text() + QLatin1Char('/') +
            (m_window->pointer() == shell::MainWindow::Pointer::Busy ? QStringLiteral("busy")
                                                                     : QStringLiteral("arrow"));
        if (seen.isEmpty() || seen.back() != state)
            seen.append(state);
    };
    click();
    // The busy pointer from the first file on, as the run has always shown it.
    QCOMPARE(seen, (QStringList{"Stop Extracting/arrow", "Stop Extracting/busy"}));
    QCOMPARE(m_window->startButton->text(), shell::startCaption);
    QCOMPARE(m_window->pointer(), shell::MainWindow::Pointer::Arrow);
    QCOMPARE(m_window->activity(), run::Activity::Idle);
    QCOMPARE(m_fakes->prompts.texts(), QStringList{"Done."});
    QCOMPARE(m_window->results().texts(), (QStringList{"hit", "hit"}));
    // A second run appends to the rows of the first.
    click();
    QCOMPARE(m_window->results().count(), 4);
}

void TestRunControl::stopClickKeepsTheRowsAndSaysNothing()
{
    for (int f = 1; f <= 3; ++f)
        m_window->files().append(write(QStringLiteral("%1.txt").arg(f), "hit\r\n"));
    m_fakes->yield.onYield = [&](int) {
        if (m_window->results().count() == 1 && m_window->activity() == run::Activity::Running)
            click();
    };
    click();
    QCOMPARE(m_window->results().texts(), QStringList{"hit"});
    QVERIFY(m_fakes->prompts.texts().isEmpty());
    QCOMPARE(m_window->startButton->text(), shell::startCaption);
    QVERIFY(!m_window->extraction().running());
}

void TestRunControl::controlsChangedDuringARunCountFromTheNextStart_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<QStringList>("nextRun"); // the rows of the next start's first file
    QTest::newRow("search text") << int(Change::SearchText) << QStringList{"HIT"};
    QTest::newRow("Match Case") << int(Change::MatchCase) << QStringList{"hit"};
    QTest::newRow("mode") << int(Change::Mode) << QStringList{"hit", "HIT", "HIT"};
    QTest::newRow("stored lines above and below")
        << int(Change::StoredLineCounts) << QStringList{"hit", "HIT", "HIT"};
    QTest::newRow("display option") << int(Change::DisplayOption) << QStringList{"P", "P"};
    QTest::newRow("one line") << int(Change::OneLine) << QStringList{"hit HIT "};
    QTest::newRow("first file removed from the list")
        << int(Change::FirstFileRemoved) << QStringList{"hit", "HIT"};
}

// Each start takes the controls once: one list never holds rows of two searches.
void TestRunControl::controlsChangedDuringARunCountFromTheNextStart()
{
    QFETCH(int, change);
    QFETCH(QStringList, nextRun);
    const QByteArray content = "hit\r\nHIT\r\n";
    QStringList paths;
    for (const char *name : {"a.txt", "b.txt", "c.txt"}) {
        paths << write(QLatin1String(name), content);
        m_window->files().append(paths.back());
    }
    shell::MainWindow &w = *m_window;
    if (change == int(Change::StoredLineCounts)) {
        w.modeList->setCurrentIndex(0);
        w.m_linesDialogClosedWithClose = true;
        m_fakes->settings.set(QStringLiteral("Combo2"), QStringLiteral("0"));
        m_fakes->settings.set(QStringLiteral("Combo3"), QStringLiteral("0"));
    }
    bool changed = false;
    m_fakes->yield.onYield = [&](int) {
        if (w.results().count() == 0 || std::exchange(changed, true))
            return;
        switch (Change(change)) {
        case Change::SearchText:
            w.searchBox->setText(QStringLiteral("HIT"));
            w.matchCaseBox->setChecked(true);
            break;
        case Change::MatchCase:
            w.matchCaseBox->setChecked(true);
            break;
        case Change::Mode:
            w.modeList->setCurrentIndex(5); // and the line below
            break;
        case Change::StoredLineCounts:
            m_fakes->settings.set(QStringLiteral("Combo3"), QStringLiteral("1"));
            break;
        case Change::DisplayOption:
            w.fileOnlyOption->click();
            break;
        case Change::OneLine:
            w.oneLineBox->setChecked(true);
            break;
        case Change::FirstFileRemoved:
            w.files().removeAt(0);
            break;
        }
    };
    click();
    const QStringList asStarted{"hit", "HIT"};
    QCOMPARE(w.results().texts(), asStarted + asStarted + asStarted);
    QCOMPARE(m_fakes->prompts.texts(), QStringList{"Done."});
    m_fakes->yield.onYield = nullptr;
    w.results().clear();
    click();
    const QString firstFile = w.files().text(0);
    nextRun.replaceInStrings(QRegularExpression("^P$"), firstFile);
    QCOMPARE(w.results().texts().mid(0, nextRun.size()), nextRun);
}

void TestRunControl::storedLineCountTheDialogRefusesIsReportedOnce_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("failure"); // empty: the count is taken
    QTest::addColumn<QStringList>("rowsOfAFile");
    const QStringList oneAbove{"a", "hit", "b"};
    QTest::newRow("no number") << "abc"
                               << "Type mismatch" << oneAbove;
    QTest::newRow("above 12") << "99"
                              << "Invalid property value" << oneAbove;
    QTest::newRow("below -1") << "-5"
                              << "Invalid property value" << oneAbove;
    QTest::newRow("beyond a whole number") << "99999999999"
                                           << "Overflow" << oneAbove;
    QTest::newRow("-1, nothing picked: no line above")
        << "-1" << QString() << QStringList{"hit", "b"};
    QTest::newRow("12 with blanks") << " 12 " << QString() << QStringList{"z", "a", "hit", "b"};
}

void TestRunControl::storedLineCountTheDialogRefusesIsReportedOnce()
{
    QFETCH(QString, stored);
    QFETCH(QString, failure);
    QFETCH(QStringList, rowsOfAFile);
    const QByteArray content = "z\r\na\r\nhit\r\nb\r\n";
    m_window->files().append(write("1.txt", content));
    m_window->files().append(write("2.txt", content));
    m_window->modeList->setCurrentIndex(0);
    m_window->m_linesDialogClosedWithClose = true;
    m_fakes->settings.set(QStringLiteral("Combo2"), stored);
    click();
    QCOMPARE(m_window->results().texts(), rowsOfAFile + rowsOfAFile);
    const QStringList errors = m_fakes->prompts.errors();
    if (failure.isEmpty()) {
        QCOMPARE(errors, QStringList());
        return;
    }
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.front().contains("Quillon2021/08/31.Form1.PushButton3_Click at line 132"),
             qPrintable(errors.front()));
    QVERIFY2(errors.front().startsWith(failure), qPrintable(errors.front()));
}

// The window is one sink of the run; a run with no window must give the same rows and reports.
void TestRunControl::windowAndWindowlessRunsGiveTheSameRows()
{
    std::mt19937 random(23);
    const QList<QByteArray> parts = {"hit", "Hit ", "x", "\r\n", "\n", "\xC3\xA9", "\xE9", " "};
    shell::MainWindow &w = *m_window;
    w.m_linesDialogClosedWithClose = true;
    for (int round = 0; round < 8; ++round) {
        run::RunRequest request;
        for (int f = 0; f < 12; ++f) {
            QByteArray content =
                random() % 5 == 0 ? QByteArray("\xFF\xFEh\0i\0t\0\n\0", 10) : QByteArray();
            for (int k = int(random() % 120); k > 0; --k)
                content += parts[int(random() % parts.size())];
            request.paths << write(QStringLiteral("r%1-%2.txt").arg(round).arg(f), content);
        }
        request.paths << m_dir->filePath(QStringLiteral("missing.txt"));
        const int position = int(random() % 14);
        request.mode = run::modeAt(position);
        request.searchText = QStringList{"hit", "", "\xC3\xA9", "i"}.at(int(random() % 4));
        request.matchCase = random() % 2;
        request.regex = random() % 3 == 0;
        request.oneLine = random() % 2;
        request.display = run::DisplayOption(1 + random() % 3);

        w.files().clear();
        for (const QString &path : request.paths)
            w.files().append(path);
        w.modeList->setCurrentIndex(position);
        w.searchBox->setText(request.searchText);
        w.matchCaseBox->setChecked(request.matchCase);
        w.regexBox->setChecked(request.regex);
        w.oneLineBox->setChecked(request.oneLine);
        (request.display == run::DisplayOption::LineOnly      ? w.lineOnlyOption
         : request.display == run::DisplayOption::FileAndLine ? w.fileAndLineOption
                                                              : w.fileOnlyOption)
            ->click();
        w.results().clear();
        m_fakes->prompts.messages.clear();
        click();
        const QStringList windowReports = m_fakes->prompts.errors();

        fakes::FakeYield yield;
        fakes::RecordingReporter reporter;
        run::ExtractionRun windowless(yield, reporter);
        RowsSink sink(request.paths);
        QCOMPARE(windowless.run(request, sink), run::RunEnd::Finished);
        QCOMPARE(w.results().texts(), sink.rows);
        QStringList origins;
        for (int r = 0; r < w.results().count(); ++r) {
            const platform::RowOrigin origin = w.results().origin(r);
            origins.append(origin.path + QLatin1Char(':') + QString::number(origin.line));
        }
        QCOMPARE(origins, sink.origins);
        QCOMPARE(windowReports.size(), reporter.reports.size());
        QCOMPARE(reporter.reports.size(), 4); // the missing file, four steps
    }
}

QTEST_MAIN(TestRunControl)
#include "tst_runcontrol.moc"
