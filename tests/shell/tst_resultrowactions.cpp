// The results list's rows on the real main window with fake platform seams: keys, the
// double-click, the context menu and the "Choose Editor" dialog. The three rows came from
// a.txt line 3, b.txt line 5 and c.txt line 7; the editor is "ed +%l %f".
#include "results/RowOpener.h"
#include "shell/CaptionProgressBar.h"
#include "shell/EditorDialog.h"
#include "shell/MainWindow.h"
#include "shell/ReportView.h"
#include "shell/ResultRowActions.h"
#include "shell/StatusLine.h"
#include "support/Fakes.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList kRows{"alpha one", "beta two   ", "gamma three"};

struct RowsFixture {
    QTemporaryDir folder;
    fakes::TestServices services;
    shell::MainWindow window{services.services(), folder.path()};
    shell::ResultRowActions *actions = window.findChild<shell::ResultRowActions *>();
    QWidget *viewport = window.resultsList->viewport();

    explicit RowsFixture(const QList<int> &selected = {}, int current = -1)
    {
        window.startUp();
        for (const QString &row : kRows)
            window.results().append(row);
        services.settings.set(results::RowOpener::editorKey, "ed +%l %f");
        actions->setOriginSource([this](int row) {
            QFile file(folder.filePath(QString(QChar('a' + row)) + ".txt"));
            file.open(QIODevice::WriteOnly);
            return platform::RowOrigin{file.fileName(), uint64_t(3 + 2 * row)};
        });
        window.show();
        [&] { QVERIFY(QTest::qWaitForWindowExposed(&window)); }();
        for (int row : selected)
            window.resultsList->selectionModel()->select(window.results().index(row, 0),
                                                         QItemSelectionModel::Select |
                                                             QItemSelectionModel::Rows);
        if (current >= 0)
            window.resultsList->selectionModel()->setCurrentIndex(
                window.results().index(current, 0), QItemSelectionModel::NoUpdate);
    }
    QPoint pointAt(int row) // -1: below the last row
    {
        return row < 0 ? QPoint(20, viewport->height() - 5)
                       : window.resultsList->visualRect(window.results().index(row, 0)).center();
    }
    // Returns what the rows led to: the rows left, the editor started, the clipboard.
    QString done()
    {
        QStringList all{window.results().texts().join(',')};
        for (const QStringList &call : services.desktop.started)
            all << call.join(' ').replace(folder.path() + '/', QString());
        for (const QString &file : services.desktop.shownFiles)
            all << "shown " + QString(file).replace(folder.path() + '/', QString());
        if (!services.clipboard.contents.isEmpty())
            all << "copied " + QString(services.clipboard.contents).replace("\r\n", "/");
        return all.join('|');
    }
};

const QString kAll = kRows.join(',');

} // namespace

class TestResultRowActions : public QObject {
    Q_OBJECT
private slots:
    void input_data();
    void input();
    void menu_data();
    void menu();
    void chooseEditor_data();
    void chooseEditor();
};

void TestResultRowActions::input_data()
{
    QTest::addColumn<QString>("input"); // a key, or a double-click on a row (-1: below them)
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("activity");
    QTest::addColumn<QString>("done");
    const int idle = int(run::Activity::Idle);
    const int running = int(run::Activity::Running);
    QTest::newRow("Delete removes the selected rows")
        << "Delete" << QList<int>{0, 2} << 2 << idle << kRows[1];
    QTest::newRow("Delete during a run removes nothing")
        << "Delete" << QList<int>{0} << 0 << running << kAll;
    QTest::newRow("Delete during a folder walk removes nothing")
        << "Delete" << QList<int>{0} << 0 << int(run::Activity::Busy) << kAll;
    QTest::newRow("a double-click on a row removes that row")
        << "double-click 2" << QList<int>{0} << 0 << idle << "alpha one,beta two   ";
    QTest::newRow("a double-click below the rows removes the selected row")
        << "double-click -1" << QList<int>{1} << 1 << idle << "alpha one,gamma three";
    QTest::newRow("a double-click during a run removes nothing")
        << "double-click 1" << QList<int>{1} << 1 << running << kAll;
    QTest::newRow("Ctrl+C copies the selected rows in list order, blanks cut, CR LF, in a run")
        << "Ctrl+C" << QList<int>{2, 1} << 2 << running << kAll + "|copied beta two/gamma three/";
    QTest::newRow("Return opens the current row")
        << "Return" << QList<int>{0, 1} << 1 << idle << kAll + "|ed +5 b.txt";
    QTest::newRow("keypad Enter during a run")
        << "Enter" << QList<int>{2} << 2 << running << kAll + "|ed +7 c.txt";
    QTest::newRow("Return without a current row opens the first selected one")
        << "Return" << QList<int>{2} << -1 << idle << kAll + "|ed +7 c.txt";
}

void TestResultRowActions::input()
{
    QFETCH(QString, input);
    QFETCH(QList<int>, selected);
    QFETCH(int, current);
    QFETCH(int, activity);
    QFETCH(QString, done);
    RowsFixture f(selected, current);
    f.window.setActivity(run::Activity(activity));
    if (input.startsWith("double-click")) {
        // Its first press and release come as a click.
        const QPoint at = f.pointAt(input.section(' ', 1).toInt());
        QTest::mouseClick(f.viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(f.viewport, Qt::LeftButton, {}, at);
    } else {
        QTest::keySequence(f.window.resultsList,
                           input == "Enter" ? QKeySequence(Qt::Key_Enter) : QKeySequence(input));
    }
    QCOMPARE(f.done(), done);
    QCOMPARE(f.services.prompts.texts(), QStringList{});
    QCOMPARE(f.window.filesList->selectionMode(), QAbstractItemView::SingleSelection);
}

void TestResultRowActions::menu_data()
{
    QTest::addColumn<int>("at"); // the row under the pointer; -1 below the rows; -2 the keyboard
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("withOrigin");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("done");
    const QString all = "mnuOpenAtLine mnuOpenFolder mnuCopy mnuChooseEditor";
    QTest::newRow("Open at Line on a row")
        << 1 << 1 << true << "mnuOpenAtLine" << all << kAll + "|ed +5 b.txt";
    QTest::newRow("Open Containing Folder below the rows: the selected row")
        << -1 << 2 << true << "mnuOpenFolder" << all << kAll + "|shown c.txt";
    QTest::newRow("from the keyboard: the current row")
        << -2 << 2 << true << "mnuOpenAtLine" << all << kAll + "|ed +7 c.txt";
    QTest::newRow("Copy") << 0 << 0 << true << "mnuCopy" << all << kAll + "|copied alpha one/";
    QTest::newRow("a row that does not say where it came from cannot be opened")
        << 1 << 1 << false << ""
        << "mnuCopy mnuChooseEditor" << kAll;
    QTest::newRow("below the rows with nothing selected: only the editor")
        << -1 << -1 << true << ""
        << "mnuChooseEditor" << kAll;
}

void TestResultRowActions::menu()
{
    QFETCH(int, at);
    QFETCH(int, selected);
    QFETCH(bool, withOrigin);
    QFETCH(QString, action);
    QFETCH(QString, enabled);
    QFETCH(QString, done);
    RowsFixture f(selected < 0 ? QList<int>{} : QList<int>{selected}, selected);
    if (!withOrigin)
        f.actions->setOriginSource([](int) { return platform::RowOrigin{}; });
    const QPoint point = at == -2 ? QPoint(5, 5) : f.pointAt(at);
    QWidget *target = at == -2 ? f.window.resultsList : f.viewport;
    QContextMenuEvent asked(at == -2 ? QContextMenuEvent::Keyboard : QContextMenuEvent::Mouse,
                            point, target->mapToGlobal(point));
    QCoreApplication::sendEvent(target, &asked);
    QVERIFY(f.actions->menu().isVisible());
    QStringList shownEnabled;
    for (QAction *item : f.actions->menu().actions())
        if (!item->isSeparator() && item->isEnabled())
            shownEnabled << item->objectName();
    QCOMPARE(shownEnabled.join(' '), enabled);
    if (!action.isEmpty())
        f.actions->menu().findChild<QAction *>(action)->trigger();
    f.actions->menu().close();
    QCOMPARE(f.done(), done);
    if (!withOrigin) {
        // Enter on it says why nothing opens.
        QTest::keyClick(f.window.resultsList, Qt::Key_Return);
        QVERIFY(f.window.statusLine->text().endsWith(
            QStringLiteral("This row does not say which file it came from.")));
    }
}

void TestResultRowActions::chooseEditor_data()
{
    QTest::addColumn<int>("pick"); // the list entry picked, -1 for none
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("stored");
    QTest::newRow("the editor found, picked") << 2 << "" << true << "fakeedit --line %l %f";
    QTest::newRow("a command typed, blanks cut")
        << -1 << "  \"/opt/My Ed/ed\" +%l %f " << true << "\"/opt/My Ed/ed\" +%l %f";
    QTest::newRow("cancelled") << 2 << "" << false << "ed +%l %f";
    QTest::newRow("back to the desktop's default") << 0 << "" << true << "";
    QTest::newRow("a store that refuses it: reported") << -1 << "vi" << true << "refused";
}

void TestResultRowActions::chooseEditor()
{
    QFETCH(int, pick);
    QFETCH(QString, typed);
    QFETCH(bool, ok);
    QFETCH(QString, stored);
    RowsFixture f;
    // On this computer: a Mousepad entry whose program is on the PATH.
    QDir().mkpath(f.folder.filePath("applications"));
    QFile entry(f.folder.filePath("applications/org.xfce.mousepad.desktop"));
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nName=Mousepad\nExec=fakeedit %U\nMimeType=text/plain;\n");
    entry.close();
    QFile program(f.folder.filePath("fakeedit"));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("XDG_DATA_HOME", QFile::encodeName(f.folder.path()));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(f.folder.filePath("none")));
    qputenv("PATH", QFile::encodeName(f.folder.path()));
    f.actions->chooseEditorAction->trigger();
    qputenv("PATH", path);
    shell::EditorDialog *dialog = f.actions->editorDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->commandBox->text(), QStringLiteral("ed +%l %f"));
    // The default, the command set now, the editor found.
    QCOMPARE(dialog->editorList->count(), 3);
    if (pick >= 0)
        emit dialog->editorList->activated(pick);
    if (!typed.isEmpty())
        dialog->commandBox->setText(typed);
    f.services.settings.refuseWrites = stored == "refused";
    (ok ? dialog->okButton : dialog->cancelButton)->click();
    QTRY_VERIFY(!f.actions->editorDialog());
    if (stored == "refused") {
        QCOMPARE(f.services.prompts.errors().value(0).section("\r\r", 0, 0),
                 "Permission denied\r\nin Quillon2021/08/31.Form3.Command1_Click at line 100");
        stored = "ed +%l %f";
    }
    QCOMPARE(f.services.settings.value(results::RowOpener::editorKey), stored);
}

QTEST_MAIN(TestResultRowActions)
#include "tst_resultrowactions.moc"
