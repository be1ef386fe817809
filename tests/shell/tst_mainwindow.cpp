#include "engine/Modes.h"
#include "run/ModeTable.h"
#include "shell/ErrorReport.h"
#include "shell/LinesDialog.h"
#include "shell/MainWindow.h"
#include "shell/Pointers.h"
#include "shell/ReportView.h"
#include "shell/StatusLine.h"
#include "support/Fakes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolTip>
#include <QtTest>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString xyCaption = QStringLiteral(
    "Extract line which contains search word and x line(s) above and y line(s) below");

enum class Closing { CloseButton, CloseBox };

// Closes the lines dialog as soon as it runs modally, and records what it showed.
struct DialogCloser {
    Closing how = Closing::CloseBox;
    int opened = 0;
    QString xShown;
    QString yShown;
    std::function<void(shell::LinesDialog &)> whileOpen;

    void arm()
    {
        QTimer::singleShot(0, [this] {
            auto *dialog = qobject_cast<shell::LinesDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return arm();
            ++opened;
            xShown = dialog->linesAboveList->currentText();
            yShown = dialog->linesBelowList->currentText();
            if (whileOpen)
                whileOpen(*dialog);
            if (how == Closing::CloseButton)
                dialog->closeButton->click();
            else
                dialog->close();
        });
    }
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstStartUsesEveryDefault();
    void modeListPositions_data();
    void modeListPositions();
    void restoresStoredValues_data();
    void restoresStoredValues();
    void storedValueThatCannotBeRestored_data();
    void storedValueThatCannotBeRestored();
    void optionChangesAreStoredAtOnce();
    void windowSizeIsRestored_data();
    void windowSizeIsRestored();
    void cutRowsShowTheirTextAsToolTip_data();
    void cutRowsShowTheirTextAsToolTip();
    void selectingXYModeByHandOpensTheDialogEveryTime();
    void closeButtonMarksTheDialogSeenCloseBoxDoesNot();
    void dialogStoresEveryPick();
    void dialogWithUnusableStoredValue();
    void runOpensTheDialogUntilClosedWithClose();
    void helpAndExamplesMessages();
    void errorReportText();
    void failedSettingWriteIsReportedOnce();
    void skinFile_data();
    void skinFile();
    void pointerFilesLoad_data();
    void pointerFilesLoad();
    void handPointerOverButtonsOnly();
    void resultsOutOfMemoryStopTheRunAndKeepTheRows();
    void applicationTitleKeepsWholeWords_data();
    void applicationTitleKeepsWholeWords();
    void samplesAreRecordedAtTheFirstStartOnly();
    void statusLineCountsRowsAndFiles();

private:
    void makeWindow();

    std::unique_ptr<fakes::TestServices> m_fakes;
    std::unique_ptr<shell::MainWindow> m_window;
};

void TestMainWindow::init()
{
    m_fakes = std::make_unique<fakes::TestServices>();
}

void TestMainWindow::cleanup()
{
    m_window.reset();
}

void TestMainWindow::resultsOutOfMemoryStopTheRunAndKeepTheRows()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizer's shadow memory does not fit under an address-space limit");
#endif
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("rows.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const int linesPerFile = 1000; // one piece: no line is cut
    for (int n = 0; n < linesPerFile; ++n)
        file.write(QStringLiteral("%1line %2 of the many rows one run collects")
                       .arg(n == 0 ? "" : "\r\n")
                       .arg(n)
                       .toUtf8());
    file.close();
    makeWindow();
    shell::MainWindow &w = *m_window;
    const int entries = 40000; // far more rows than fit
    for (int i = 0; i < entries; ++i)
        w.files().append(path);
    w.modeList->setCurrentIndex(1);
    w.searchBox->clear();
    w.lineOnlyOption->click();

    // Room for a few million rows, then the address space ends.
    QFile statm(QStringLiteral("/proc/self/statm"));
    QVERIFY(statm.open(QIODevice::ReadOnly));
    const rlim_t used =
        statm.readAll().split(' ').front().toULongLong() * rlim_t(sysconf(_SC_PAGESIZE));
    rlimit before{};
    QCOMPARE(getrlimit(RLIMIT_AS, &before), 0);
    rlimit tight = before;
    tight.rlim_cur = used + (rlim_t(256) << 20);
    QCOMPARE(setrlimit(RLIMIT_AS, &tight), 0);
    w.startButton->click();
    QCOMPARE(setrlimit(RLIMIT_AS, &before), 0);

    const QStringList errors = m_fakes->prompts.errors();
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.front().contains(QLatin1String("Out of memory")) &&
                 errors.front().contains(QLatin1String("PushButton3_Click at line 134")),
             qPrintable(errors.front()));
    QVERIFY(!m_fakes->prompts.texts().contains(QStringLiteral("Done.")));
    QCOMPARE(w.startButton->text(), shell::startCaption);
    const int rows = w.results().count();
    QVERIFY2(rows > linesPerFile && rows < entries * linesPerFile,
             qPrintable(QString::number(rows)));
    QCOMPARE(w.results().rowCount(), rows);
    for (const int r : {0, rows / 2, rows - 1})
        QCOMPARE(w.results().text(r),
                 QStringLiteral("line %1 of the many rows one run collects").arg(r % linesPerFile));
}

void TestMainWindow::makeWindow()
{
    m_window =
        std::make_unique<shell::MainWindow>(m_fakes->services(), QStringLiteral("/nonexistent"));
    m_window->startUp();
}

void TestMainWindow::firstStartUsesEveryDefault()
{
    makeWindow();
    shell::MainWindow &w = *m_window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Lumbrex"));
    QCOMPARE(w.modeList->count(), 14);
    QCOMPARE(w.modeList->currentIndex(), 0);
    QCOMPARE(w.modeList->itemText(13),
             QStringLiteral("Extract entire line which contains search word and all lines below"));
    // Every entry of the list stands for a mode of its own.
    QSet<int> modes;
    for (int i = 0; i < w.modeList->count(); ++i) {
        QCOMPARE(w.modeList->itemText(i), run::modeCaptions().at(i));
        modes.insert(int(run::modeAt(i).value()));
        QCOMPARE(run::positionOf(*run::modeAt(i)), i);
    }
    QCOMPARE(modes.size(), 14);
    QVERIFY(w.searchBox->text().isEmpty());
    QVERIFY(!w.matchCaseBox->isChecked());
    QVERIFY(!w.oneLineBox->isChecked());
    QVERIFY(!w.regexBox->isChecked());
    QVERIFY(!w.lineNumbersBox->isChecked());
    QVERIFY(!w.resultsList->lineNumbersShown());
    QVERIFY(!w.lineOnlyOption->isChecked());
    QVERIFY(w.fileAndLineOption->isChecked());
    QVERIFY(!w.fileOnlyOption->isChecked());
    QVERIFY(!w.restoringOptions);
    QVERIFY(!w.m_linesDialogClosedWithClose);
    QVERIFY(!w.linesDialogPrepared());
    QCOMPARE(w.files().header(), QStringLiteral("File(s)"));
    QCOMPARE(w.results().header(), QStringLiteral("Results"));
    // The designed 7,000 twips, as pixels at 15 twips each.
    QCOMPARE(w.resultsList->header()->sectionSize(0), 7000 / 15);
    QCOMPARE(w.startButton->text(), QStringLiteral("Start Extracting"));
    QCOMPARE(w.findChild<QWidget *>("ProgressBar1")->accessibleName(),
             QStringLiteral("Progress Bar"));
    QVERIFY(m_fakes->prompts.messages.empty());
    // Restoring writes each value straight back; nothing new lands in the store.
    QCOMPARE(m_fakes->settings.value("Combo1"), QStringLiteral("0"));
    QCOMPARE(m_fakes->settings.value("Option2"), QStringLiteral("True"));
}

void TestMainWindow::modeListPositions_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("routine"); // empty: no mode
    QTest::newRow("x and y")
        << 0 << "Extract line which contains search word and x line(s) above and y line(s) below"
        << "ExtractSearchWordLineUpXDownY";
    QTest::newRow("entire line") << 1 << "Extract entire line which contains search word"
                                 << "ExtractSearchWordLine";
    QTest::newRow("2 below") << 6
                             << "Extract entire line which contains search word and 2 lines below"
                             << "ExtractSearchWordLineDown2";
    QTest::newRow("3 above and 1 below")
        << 8 << "Extract entire line which contains search word and 3 lines above and 1 line below"
        << "ExtractSearchWordLineUp3Down1";
    QTest::newRow("1 above and 1 below")
        << 9 << "Extract entire line which contains search word and 1 line above and 1 line below"
        << "ExtractSearchWordLineUp1Down1";
    QTest::newRow("2nd below") << 11 << "Extract 2nd line below search word"
                               << "Extract2ndLineBelow";
    QTest::newRow("all above")
        << 12 << "Extract entire line which contains search word and all lines above"
        << "ExtractSearchWordLineUpAll";
    QTest::newRow("nothing chosen") << -1 << QString() << QString();
    QTest::newRow("beyond the list") << 14 << QString() << QString();
}

// The run takes its mode by the list's position: each caption must sit beside its routine.
void TestMainWindow::modeListPositions()
{
    QFETCH(int, position);
    QFETCH(QString, caption);
    QFETCH(QString, routine);
    const auto mode = run::modeAt(position);
    QCOMPARE(mode.has_value(), !routine.isEmpty());
    if (!mode)
        return;
    QCOMPARE(QString::fromLatin1(engine::modeRoutineName(*mode)), routine);
    QCOMPARE(run::modeCaptions().at(position), caption);
}

void TestMainWindow::restoresStoredValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected"); // objectName=state
    QTest::newRow("search text as typed") << "Text1"
                                          << "  two words "
                                          << "Text1=  two words ";
    QTest::newRow("match case on") << "Check1"
                                   << "1"
                                   << "Check1=1";
    QTest::newRow("regular expression on") << "Check4"
                                           << "1"
                                           << "Check4=1";
    QTest::newRow("one line on") << "Check2"
                                 << "1"
                                 << "Check2=1";
    QTest::newRow("line numbers on") << "Check5"
                                     << "1"
                                     << "Check5=1";
    QTest::newRow("mode position") << "Combo1"
                                   << "5"
                                   << "Combo1=5";
    QTest::newRow("no mode selected") << "Combo1"
                                      << "-1"
                                      << "Combo1=-1";
    QTest::newRow("option stored as 1") << "Option1"
                                        << "1"
                                        << "Option1=1";
    QTest::newRow("option stored as true") << "Option1"
                                           << "true"
                                           << "Option1=1";
}

void TestMainWindow::restoresStoredValues()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    m_fakes->settings.set(key, stored);
    if (key.startsWith("Option")) {
        m_fakes->settings.set("Option2", "False");
    }
    makeWindow();
    shell::MainWindow &w = *m_window;
    const QString name = expected.section('=', 0, 0);
    const QString state = expected.section('=', 1);
    if (name == "Text1")
        QCOMPARE(w.searchBox->text(), state);
    else if (name == "Combo1")
        QCOMPARE(w.modeList->currentIndex(), state.toInt());
    else if (auto *box = w.findChild<QCheckBox *>(name)) {
        QCOMPARE(box->isChecked(), state == "1");
        QCOMPARE(w.resultsList->lineNumbersShown(), name == "Check5" && state == "1");
        // The value came from the store; writing it back would be a needless write.
        QVERIFY(!m_fakes->settings.writes.join(' ').contains(name));
    } else if (auto *option = w.findChild<QRadioButton *>(name))
        QCOMPARE(option->isChecked(), state == "1");
    QVERIFY(!w.linesDialogPrepared());
    QVERIFY(m_fakes->prompts.errors().isEmpty());
}

void TestMainWindow::storedValueThatCannotBeRestored_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("step");
    QTest::newRow("match case not a number") << "Check1"
                                             << "abc" << 170;
    QTest::newRow("match case out of range") << "Check1"
                                             << "7" << 170;
    QTest::newRow("option not a Boolean") << "Option1"
                                          << "maybe" << 176;
    QTest::newRow("one line not a number") << "Check2"
                                           << "x" << 182;
    QTest::newRow("line numbers not a number") << "Check5"
                                               << "x" << 189;
    QTest::newRow("mode not a number") << "Combo1"
                                       << "abc" << 184;
    QTest::newRow("mode beyond the list") << "Combo1"
                                          << "14" << 184;
    QTest::newRow("mode far below the list") << "Combo1"
                                             << "-2" << 184;
}

void TestMainWindow::storedValueThatCannotBeRestored()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(int, step);
    m_fakes->settings.set(key, stored);
    m_fakes->settings.set("Text1", "later step");
    makeWindow();
    const QStringList errors = m_fakes->prompts.errors();
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.front().contains(
                 QStringLiteral("in Quillon2021/08/31.Form1.Form_Load at line %1").arg(step)),
             qPrintable(errors.front()));
    // Start-up goes on: later steps still restore, and the first mode stays selected.
    QCOMPARE(m_window->searchBox->text(), QStringLiteral("later step"));
    QCOMPARE(m_window->modeList->currentIndex(), 0);
    QVERIFY(!m_window->restoringOptions);
    QVERIFY(!m_window->linesDialogPrepared());
}

void TestMainWindow::optionChangesAreStoredAtOnce()
{
    makeWindow();
    shell::MainWindow &w = *m_window;
    m_fakes->settings.writes.clear();
    w.fileOnlyOption->click();
    QCOMPARE(m_fakes->settings.writes,
             (QStringList{"Option1=False", "Option2=False", "Option3=True"}));
    QVERIFY(w.fileOnlyOption->isChecked() && !w.fileAndLineOption->isChecked());
    w.fileOnlyOption->click(); // clicking the selected option keeps it selected
    QVERIFY(w.fileOnlyOption->isChecked());
    // An accessibility action toggles without a click: still one selection, still stored.
    m_fakes->settings.writes.clear();
    w.lineOnlyOption->toggle();
    QCOMPARE(m_fakes->settings.writes,
             (QStringList{"Option1=True", "Option2=False", "Option3=False"}));
    QVERIFY(!w.fileOnlyOption->isChecked());
    w.lineOnlyOption->toggle(); // the selected option stays selected
    QVERIFY(w.lineOnlyOption->isChecked());
    w.fileOnlyOption->click();

    m_fakes->settings.writes.clear();
    QTest::keyClicks(w.searchBox, "ab");
    QCOMPARE(m_fakes->settings.writes, (QStringList{"Text1=a", "Text1=ab"}));
    m_fakes->settings.writes.clear();
    w.matchCaseBox->click();
    w.oneLineBox->click();
    w.regexBox->click();
    w.lineNumbersBox->click();
    QCOMPARE(m_fakes->settings.writes,
             (QStringList{"Check1=1", "Check2=1", "Check4=1", "Check5=1"}));
    QVERIFY(w.resultsList->lineNumbersShown());

    // A restart shows the same choices.
    m_window.reset();
    makeWindow();
    QVERIFY(m_window->fileOnlyOption->isChecked());
    QVERIFY(!m_window->fileAndLineOption->isChecked());
    QCOMPARE(m_window->searchBox->text(), QStringLiteral("ab"));
    QVERIFY(m_window->matchCaseBox->isChecked());
    QVERIFY(m_window->regexBox->isChecked());
    QVERIFY(m_window->lineNumbersBox->isChecked());
    QVERIFY(m_window->resultsList->lineNumbersShown());
    m_window->lineNumbersBox->click();
    QCOMPARE(m_fakes->settings.value("Check5"), QStringLiteral("0"));
    QVERIFY(!m_window->resultsList->lineNumbersShown());
}

void TestMainWindow::windowSizeIsRestored_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QSize>("expected"); // empty: the designed size
    QTest::newRow("first start") << "" << QSize();
    QTest::newRow("enlarged") << "1200x700" << QSize(1200, 700);
    QTest::newRow("larger than the screen") << "3000x2000" << QSize(1280, 800);
    QTest::newRow("below the designed size") << "300x200" << QSize();
    QTest::newRow("wider only") << "1100x10" << QSize(1100, 0);
    QTest::newRow("not a size") << "big" << QSize();
    QTest::newRow("negative") << "-5x-5" << QSize();
}

void TestMainWindow::windowSizeIsRestored()
{
    QFETCH(QString, stored);
    QFETCH(QSize, expected);
    if (!stored.isEmpty())
        m_fakes->settings.set("WindowSize", stored);
    makeWindow();
    const QSize designed = m_window->designedSize();
    expected = expected.expandedTo(designed);
    const QRect screen(0, 0, 1280, 800);
    m_window->placeOnScreen(screen);
    QCOMPARE(m_window->size(), expected);
    QCOMPARE(m_window->geometry().center(), screen.center());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(m_window->centralWidget()->size().width() >= designed.width());
    // Showing the window stores nothing.
    QTest::qWait(400);
    QVERIFY(!m_fakes->settings.writes.join(' ').contains("WindowSize"));
}

void TestMainWindow::cutRowsShowTheirTextAsToolTip_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("windowWidth"); // 0: the designed size
    QTest::addColumn<bool>("tip");
    QTest::newRow("short row") << 10 << 0 << false;
    QTest::newRow("row longer than the column") << 60 << 0 << true;
    QTest::newRow("the same row in a wider window") << 60 << 1600 << false;
    QTest::newRow("row wider than the widest window") << 400 << 1600 << true;
}

void TestMainWindow::cutRowsShowTheirTextAsToolTip()
{
    QFETCH(int, length);
    QFETCH(int, windowWidth);
    QFETCH(bool, tip);
    makeWindow();
    // Spaces and markup are shown as they stand.
    const QString row = QStringLiteral("<b>a  b</b>") + QString(length, QLatin1Char('m'));
    m_window->results().append(row);
    m_window->placeOnScreen(QRect(0, 0, 1920, 1080));
    if (windowWidth)
        m_window->resize(windowWidth, m_window->height());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    shell::ReportView &view = *m_window->resultsList;
    const QModelIndex index = view.model()->index(0, 0);
    QCOMPARE(view.isCut(index), tip);
    QToolTip::hideText();
    const QPoint at = view.visualRect(index).center();
    QHelpEvent help(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
    QApplication::sendEvent(view.viewport(), &help);
    if (tip) {
        QTRY_VERIFY(QToolTip::isVisible());
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        // Long rows break into lines; nothing is lost or added but the breaks.
        QString plain = shown.toPlainText();
        plain.remove(QChar::LineSeparator).remove(QLatin1Char('\n'));
        QCOMPARE(plain, row.left(2000));
    } else {
        // The list's own hint stays.
        QTRY_COMPARE(QToolTip::text(), view.toolTip());
    }
}

void TestMainWindow::selectingXYModeByHandOpensTheDialogEveryTime()
{
    m_fakes->settings.set("Combo1", "3");
    makeWindow();
    DialogCloser closer;
    for (int i = 1; i <= 2; ++i) {
        closer.how = i == 1 ? Closing::CloseButton : Closing::CloseBox;
        closer.arm();
        m_window->modeList->setCurrentIndex(0);
        emit m_window->modeList->activated(0);
        QCOMPARE(closer.opened, i);
    }
    QCOMPARE(m_fakes->settings.value("Combo1"), QStringLiteral("0"));
    // Another mode opens nothing.
    m_window->modeList->setCurrentIndex(1);
    emit m_window->modeList->activated(1);
    QCOMPARE(closer.opened, 2);
}

void TestMainWindow::closeButtonMarksTheDialogSeenCloseBoxDoesNot()
{
    makeWindow();
    DialogCloser closer;
    closer.how = Closing::CloseBox;
    closer.arm();
    m_window->modeChosen();
    QVERIFY(!m_window->m_linesDialogClosedWithClose);
    closer.how = Closing::CloseButton;
    closer.arm();
    m_window->modeChosen();
    QVERIFY(m_window->m_linesDialogClosedWithClose);
    QCOMPARE(closer.opened, 2);
}

void TestMainWindow::dialogStoresEveryPick()
{
    makeWindow();
    DialogCloser closer;
    closer.whileOpen = [](shell::LinesDialog &dialog) {
        // Each list fits inside its frame at its full height, below the frame's caption.
        for (QComboBox *list : {dialog.linesAboveList, dialog.linesBelowList}) {
            QVERIFY(list->height() >= list->sizeHint().height());
            QVERIFY(list->parentWidget()->contentsRect().contains(list->geometry()));
        }
        dialog.linesBelowList->setCurrentIndex(12);
        dialog.linesAboveList->setCurrentIndex(0);
    };
    closer.arm();
    m_window->modeChosen();
    QCOMPARE(closer.xShown, QStringLiteral("1"));
    QCOMPARE(closer.yShown, QStringLiteral("1"));
    QCOMPARE(m_fakes->settings.value("Combo3"), QStringLiteral("12"));
    QCOMPARE(m_fakes->settings.value("Combo2"), QStringLiteral("0"));

    // The next opening starts afresh and shows the stored picks.
    closer.whileOpen = nullptr;
    closer.arm();
    m_window->modeChosen();
    QCOMPARE(closer.xShown, QStringLiteral("0"));
    QCOMPARE(closer.yShown, QStringLiteral("12"));
}

void TestMainWindow::dialogWithUnusableStoredValue()
{
    m_fakes->settings.set("Combo2", "abc");
    makeWindow();
    shell::LinesDialog &dialog = m_window->linesDialog(); // prepared without being shown
    QCOMPARE(dialog.linesAboveList->currentIndex(), -1);
    QCOMPARE(dialog.linesBelowList->currentText(), QStringLiteral("1"));
    const QStringList errors = m_fakes->prompts.errors();
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.front().contains("in Quillon2021/08/31.Form2.Form_Load at line 120"));

    // Leaving the X list without a number asks for one and keeps the focus there.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();
    dialog.linesAboveList->setFocus();
    dialog.linesBelowList->setFocus();
    QTRY_VERIFY(m_fakes->prompts.texts().contains("Must be numeric entry."));
    const auto &shown = m_fakes->prompts.messages.back();
    QCOMPARE(shown.icon, platform::Icon::Warning);
    QCOMPARE(shown.title, QStringLiteral("Lumbrex"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(dialog.linesAboveList));
    dialog.close();
}

void TestMainWindow::runOpensTheDialogUntilClosedWithClose()
{
    QTemporaryDir dir;
    QFile file(dir.filePath("a.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("a\r\nhit\r\nb\r\nc\r\n");
    file.close();
    m_fakes->settings.set("Text1", "hit");
    makeWindow();
    m_window->files().append(file.fileName());
    DialogCloser closer;
    closer.how = Closing::CloseBox;
    closer.whileOpen = [](shell::LinesDialog &dialog) {
        dialog.linesBelowList->setCurrentIndex(2);
    };
    closer.arm();
    m_window->startButton->click();
    QCOMPARE(closer.opened, 1);
    QCOMPARE(m_window->results().texts(),
             (QStringList{file.fileName() + " a", file.fileName() + " hit", file.fileName() + " b",
                          file.fileName() + " c"}));
    closer.how = Closing::CloseButton;
    closer.whileOpen = nullptr;
    closer.arm();
    m_window->startButton->click();
    QCOMPARE(closer.opened, 2);
    m_window->startButton->click(); // closed with Close: no dialog any more
    QCOMPARE(closer.opened, 2);
    QCOMPARE(m_window->results().count(), 12);
}

void TestMainWindow::helpAndExamplesMessages()
{
    makeWindow();
    m_window->helpButton->click();
    m_window->searchHelpButton->click();
    const auto &messages = m_fakes->prompts.messages;
    QCOMPARE(int(messages.size()), 2);
    QCOMPARE(
        messages[0].text,
        QStringLiteral("Please email ") + shell::supportAddress +
            QStringLiteral(" if you have any questions or need features added.\r\n\r\n"
                           "Each file is read in its own encoding (UTF-8, UTF-16 with a "
                           "byte-order mark, else Windows-1252) and with its own line ends "
                           "(LF or CR LF). A compressed file (gzip, bzip2, xz, lzma, zstd, "
                           "lz4) is read as the text it holds, and an archive (zip, tar, "
                           "7z, cpio, ar) member by member, its rows named "
                           "archive{member}. Tick \"Read every file as Windows-1252 with CR "
                           "LF line ends\" to read every file byte by byte with lines "
                           "ending at CR LF, compressed files and archives as their bytes "
                           "too.\r\n\r\nTick \"Regular expression\" to take "
                           "the search text as a regular expression in the syntax of PCRE2 "
                           "(as grep -P and ripgrep take it): a line is extracted when the "
                           "expression matches within it, ^ and $ anchoring at the line's "
                           "start and end, and Match Case off ignores case.\r\n\r\n"
                           "Press Enter on a result row, or right-click it and choose "
                           "\"Open at Line\", to open its file at that line in your "
                           "editor; a row from a compressed file or an archive member "
                           "opens a read-only decompressed copy of its text, removed when "
                           "the program ends. \"Choose Editor\u2026\" in the same menu sets the "
                           "editor's command line (%f is the file, %l the line); until "
                           "then the desktop's application for text files opens it. The "
                           "menu also shows the file in its folder and copies the "
                           "selected rows (Ctrl+C); Delete or a double-click removes "
                           "them. \"Show line numbers\" shows each row's line in its "
                           "file before the row."));
    QCOMPARE(messages[1].text.split("\r\n"),
             (QStringList{"A search word or search words can be any set of characters. Here are "
                          "some examples of what you can write here:",
                          "a", "peter", "t was on", "Diagram #2",
                          "With \"Regular expression\" ticked, a pattern:", "error|warn",
                          "^\\d{4}-\\d\\d-\\d\\d"}));
    for (const auto &shown : messages) {
        QCOMPARE(shown.title, QStringLiteral("Lumbrex"));
        QCOMPARE(shown.icon, platform::Icon::None);
    }
}

void TestMainWindow::errorReportText()
{
    QCOMPARE(shell::errorReportText("Type mismatch", "Quillon2021/08/31.Form1.Combo1_Click", 104),
             QStringLiteral("Type mismatch\r\nin Quillon2021/08/31.Form1.Combo1_Click at line "
                            "104\r\rPlease email screenshot of this message to ") +
                 shell::supportAddress);
    fakes::FakePrompts prompts;
    shell::ErrorReport report(prompts);
    report.reportError("tag", 100, "File not found");
    QCOMPARE(prompts.messages.front().title, QStringLiteral("Application Error"));
    QCOMPARE(prompts.messages.front().icon, platform::Icon::Warning);
    QCOMPARE(prompts.messages.front().buttons, platform::Buttons::Ok);
}

void TestMainWindow::failedSettingWriteIsReportedOnce()
{
    makeWindow();
    m_fakes->settings.refuseWrites = true;
    QTest::keyClicks(m_window->searchBox, "abc");
    QCOMPARE(m_fakes->prompts.errors().size(), 1);
    QVERIFY(m_fakes->prompts.errors().front().contains("Permission denied"));
    m_fakes->settings.refuseWrites = false;
    QTest::keyClicks(m_window->searchBox, "d");
    QCOMPARE(m_fakes->settings.value("Text1"), QStringLiteral("abcd"));
}

void TestMainWindow::applicationTitleKeepsWholeWords_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("expected");
    QTest::newRow("short") << "Lumbrex"
                           << "Lumbrex";
    QTest::newRow("exactly 40") << QString(40, 'x') << QString(40, 'x');
    QTest::newRow("cut at a space") << "Lumbrex line extractor for many text files at once"
                                    << "Lumbrex line extractor for many text";
}

void TestMainWindow::applicationTitleKeepsWholeWords()
{
    QFETCH(QString, product);
    QFETCH(QString, expected);
    QCOMPARE(shell::applicationTitleFor(product), expected);
}

void TestMainWindow::skinFile_data()
{
    QTest::addColumn<QString>("skin"); // "" none, "folder" a folder in its place
    QTest::addColumn<bool>("applied");
    QTest::addColumn<int>("reports");
    QTest::newRow("no skin: design colours") << "" << false << 0;
    QTest::newRow("skin applied") << "QPushButton { color: rgb(1, 2, 3); }" << true << 0;
    QTest::newRow("unreadable skin is reported") << "folder" << false << 1;
}

void TestMainWindow::skinFile()
{
    QFETCH(QString, skin);
    QFETCH(bool, applied);
    QFETCH(int, reports);
    QTemporaryDir program;
    QDir(program.path()).mkpath("x");
    if (skin == "folder") {
        QDir(program.path()).mkpath("x/o.cjs");
    } else if (!skin.isEmpty()) {
        QFile file(program.filePath("x/o.cjs"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(skin.toUtf8());
    }
    m_window = std::make_unique<shell::MainWindow>(m_fakes->services(), program.path());
    m_window->startUp();
    QCOMPARE(m_window->styleSheet().contains("rgb(1, 2, 3)"), applied);
    QCOMPARE(m_window->modeFrame->autoFillBackground(), !skin.isEmpty());
    // The skin shows: button-face backgrounds instead of the white design background.
    const QColor background = m_window->displayFrame->palette().color(QPalette::Window);
    QCOMPARE(background,
             skin.isEmpty() ? QColor(Qt::white) : QApplication::palette().color(QPalette::Button));
    QVERIFY(QApplication::palette().color(QPalette::Button) != QColor(Qt::white));
    QCOMPARE(int(m_fakes->prompts.errors().size()), reports);
    if (reports)
        QVERIFY(m_fakes->prompts.errors().front().contains("Form1.Form_Load at line 100"));
    // Start-up goes on after a failed skin.
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Lumbrex"));
}

void TestMainWindow::pointerFilesLoad_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QPoint>("hotspot");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("pixels");
    QTest::newRow("hand") << "HAND-M.CUR" << QPoint(6, 0) << 1.0 << 32;
    QTest::newRow("drag") << "drag.ico" << QPoint(16, 16) << 1.0 << 32;
    QTest::newRow("hand on a double-density screen") << "HAND-M.CUR" << QPoint(12, 0) << 2.0 << 64;
    QTest::newRow("hand at 150%") << "HAND-M.CUR" << QPoint(12, 0) << 1.5 << 64;
}

void TestMainWindow::pointerFilesLoad()
{
    QFETCH(QString, file);
    QFETCH(QPoint, hotspot);
    QFETCH(qreal, ratio);
    QFETCH(int, pixels);
    const QString folder = qEnvironmentVariable("LUMBREX_SOURCE_DIR") + "/assets/program/";
    const QCursor cursor = shell::loadCursorFile(folder + file, ratio);
    QCOMPARE(cursor.pixmap().size(), QSize(pixels, pixels));
    // Every drawn pixel is repeated, never blended with its neighbours.
    const QImage image = cursor.pixmap().toImage();
    const QImage original = shell::loadCursorFile(folder + file, 1).pixmap().toImage();
    for (int y = 0; y < pixels; ++y)
        for (int x = 0; x < pixels; ++x)
            QCOMPARE(image.pixel(x, y), original.pixel(x * 32 / pixels, y * 32 / pixels));
    QCOMPARE(cursor.hotSpot(), hotspot);
    QVERIFY_THROWS_EXCEPTION(engine::Failure, shell::loadCursorFile(folder + "missing.cur"));
}

void TestMainWindow::handPointerOverButtonsOnly()
{
    m_window = std::make_unique<shell::MainWindow>(
        m_fakes->services(), qEnvironmentVariable("LUMBREX_SOURCE_DIR") + "/assets/program");
    m_window->startUp();
    QVERIFY(m_fakes->prompts.errors().isEmpty());
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(m_window->saveTextButton, &enter);
    QCOMPARE(m_window->pointer(), shell::MainWindow::Pointer::Hand);
    QCOMPARE(m_window->cursor().hotSpot(), QPoint(6, 0));
    QApplication::sendEvent(m_window->modeFrame, &enter);
    QCOMPARE(m_window->pointer(), shell::MainWindow::Pointer::Arrow);
    QApplication::sendEvent(m_window->resultsList, &enter);
    QCOMPARE(m_window->pointer(), shell::MainWindow::Pointer::Arrow);
    // Leaving a button for the background: no widget of its own there to enter.
    QApplication::sendEvent(m_window->saveTextButton, &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_window->saveTextButton, &leave);
    QCOMPARE(m_window->pointer(), shell::MainWindow::Pointer::Arrow);
    // While busy the hourglass stays.
    m_window->setActivity(run::Activity::Busy);
    QApplication::sendEvent(m_window->saveTextButton, &enter);
    QCOMPARE(m_window->pointer(), shell::MainWindow::Pointer::Busy);
    QCOMPARE(m_window->cursor().shape(), Qt::WaitCursor);
    // Back to idle, the pointer is the one the last move left.
    m_window->setActivity(run::Activity::Idle);
    QCOMPARE(m_window->pointer(), shell::MainWindow::Pointer::Arrow);
}

void TestMainWindow::samplesAreRecordedAtTheFirstStartOnly()
{
    QTemporaryDir programFolder;
    QVERIFY(QDir(programFolder.path()).mkdir(QStringLiteral("Samples")));
    QFile sample(programFolder.filePath(QStringLiteral("Samples/a.txt")));
    QVERIFY(sample.open(QIODevice::WriteOnly));
    sample.close();
    const auto snapshotWrites = [&] {
        return m_fakes->settings.writes.filter(QRegularExpression(QStringLiteral("^Snapshot=")))
            .size();
    };
    for (int start = 0; start < 2; ++start) {
        m_window = std::make_unique<shell::MainWindow>(m_fakes->services(), programFolder.path());
        m_window->startUp();
        QCOMPARE(snapshotWrites(), 1);
    }
}

// The line under the results counts rows and the files they came from, with the locale's
// digit grouping, as a run adds them and after each removal; a note follows the counts.
void TestMainWindow::statusLineCountsRowsAndFiles()
{
    QTemporaryDir folder;
    QStringList paths;
    for (const char *name : {"a.txt", "b.txt", "c.txt"}) {
        paths << folder.filePath(QLatin1String(name));
        QFile file(paths.back());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(name[0] == 'c' ? "nothing\r\n" : "hit\r\nx\r\nhit again\r\n");
    }
    makeWindow();
    shell::MainWindow &w = *m_window;
    QCOMPARE(w.statusLine->text(), QString());
    for (const QString &path : paths)
        w.files().append(path);
    w.modeList->setCurrentIndex(1);
    w.searchBox->setText(QStringLiteral("hit"));
    w.startButton->click();
    QTRY_COMPARE(w.statusLine->text(), QStringLiteral("4 rows from 2 files"));
    QCOMPARE(w.results().origin(3).path, paths.at(1));
    QCOMPARE(w.results().origin(3).line, uint64_t(3));
    w.results().removeRowsSorted({0, 1});
    QTRY_COMPARE(w.statusLine->text(), QStringLiteral("2 rows from 1 file"));
    w.showStatusNote(QStringLiteral("Opened without a line"));
    QCOMPARE(w.statusLine->text(),
             QStringLiteral("2 rows from 1 file \u2014 Opened without a line"));
    w.clearResultsButton->click();
    QTRY_COMPARE(w.statusLine->text(),
                 QStringLiteral("0 rows from 0 files \u2014 Opened without a line"));
    for (int r = 0; r < 12345; ++r)
        w.results().appendDeferred(QString(), u"row", paths.at(2), uint64_t(r + 1));
    w.results().flush();
    QTRY_VERIFY(w.statusLine->text().startsWith(QStringLiteral("12,345 rows from 1 file")));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
