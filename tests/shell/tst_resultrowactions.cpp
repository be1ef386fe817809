// The results list's rows: Enter, Delete, Ctrl+C, the double-click, the context menu and the
// "Choose Editor" dialog, on the real main window with fake platform seams.
#include "results/RowOpener.h"
#include "shell/EditorDialog.h"
#include "shell/MainWindow.h"
#include "shell/ReportView.h"
#include "shell/ResultRowActions.h"
#include "support/Fakes.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList kRows{"alpha one", "beta two   ", "gamma three"};

// A window whose three rows came from a.txt line 3, b.txt line 5 and c.txt line 7.
struct RowsFixture {
    QTemporaryDir folder;
    fakes::TestServices services;
    shell::MainWindow window{services.services(), folder.path()};
    shell::ResultRowActions *actions = nullptr;
    QStringList paths;

    RowsFixture()
    {
        window.startUp();
        for (const char *name : {"a.txt", "b.txt", "c.txt"}) {
            QFile file(folder.filePath(name));
            [&] { QVERIFY(file.open(QIODevice::WriteOnly)); }();
            paths << file.fileName();
        }
        for (const QString &row : kRows)
            window.results().append(row);
        services.settings.set(results::RowOpener::editorKey, "ed +%l %f");
        actions = window.findChild<shell::ResultRowActions *>();
        actions->setOriginSource([this](int row) {
            return platform::RowOrigin{paths.value(row), uint64_t(3 + 2 * row)};
        });
    }
    QStringList opened(int row) const
    {
        return {"ed", "+" + QString::number(3 + 2 * row), paths.value(row)};
    }
    void select(const QList<int> &rows, int current)
    {
        QItemSelectionModel *selection = window.resultsList->selectionModel();
        selection->clear();
        for (int row : rows)
            selection->select(window.results().index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        if (current >= 0)
            selection->setCurrentIndex(window.results().index(current, 0),
                                       QItemSelectionModel::NoUpdate);
    }
    void show()
    {
        window.show();
        [&] { QVERIFY(QTest::qWaitForWindowExposed(&window)); }();
    }
    QPoint pointAt(int row)
    {
        if (row < 0) // below the last row
            return QPoint(20, window.resultsList->viewport()->height() - 5);
        return window.resultsList->visualRect(window.results().index(row, 0)).center();
    }
};

} // namespace

class TestResultRowActions : public QObject {
    Q_OBJECT
private slots:
    void keys_data();
    void keys();
    void doubleClick_data();
    void doubleClick();
    void menu_data();
    void menu();
    void chooseEditor_data();
    void chooseEditor();
    void runRowsOpenAtTheirLines();
};

void TestResultRowActions::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("activity");
    QTest::addColumn<QStringList>("rowsAfter");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<int>("openedRow");
    const int none = Qt::NoModifier;
    const int idle = int(run::Activity::Idle);
    const int running = int(run::Activity::Running);
    const int busy = int(run::Activity::Busy);

    QTest::newRow("Delete removes the selected rows")
        << int(Qt::Key_Delete) << none << QList<int>{0, 2} << 2 << idle << QStringList{kRows[1]}
        << "" << -1;
    QTest::newRow("Delete during a run removes nothing")
        << int(Qt::Key_Delete) << none << QList<int>{0} << 0 << running << kRows << "" << -1;
    QTest::newRow("Delete during a folder walk removes nothing")
        << int(Qt::Key_Delete) << none << QList<int>{0} << 0 << busy << kRows << "" << -1;
    QTest::newRow("Ctrl+C copies the selected rows in list order, blanks cut, CR LF")
        << int(Qt::Key_C) << int(Qt::ControlModifier) << QList<int>{2, 1} << 2 << idle << kRows
        << "beta two\r\ngamma three\r\n"
        << -1;
    QTest::newRow("Ctrl+C during a run copies too")
        << int(Qt::Key_C) << int(Qt::ControlModifier) << QList<int>{0} << 0 << running << kRows
        << "alpha one\r\n"
        << -1;
    QTest::newRow("Return opens the current row")
        << int(Qt::Key_Return) << none << QList<int>{0, 1} << 1 << idle << kRows << "" << 1;
    QTest::newRow("keypad Enter during a run opens the current row")
        << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << QList<int>{2} << 2 << running << kRows
        << "" << 2;
    QTest::newRow("Return without a current row opens the first selected one")
        << int(Qt::Key_Return) << none << QList<int>{2} << -1 << idle << kRows << "" << 2;
}

void TestResultRowActions::keys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QList<int>, selected);
    QFETCH(int, current);
    QFETCH(int, activity);
    QFETCH(QStringList, rowsAfter);
    QFETCH(QString, clipboard);
    QFETCH(int, openedRow);
    RowsFixture f;
    f.select(selected, current);
    f.window.setActivity(run::Activity(activity));
    QTest::keyClick(f.window.resultsList, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(f.window.results().texts(), rowsAfter);
    QCOMPARE(f.services.clipboard.contents, clipboard);
    QCOMPARE(f.services.desktop.started,
             openedRow < 0 ? QList<QStringList>() : QList<QStringList>{f.opened(openedRow)});
    QCOMPARE(f.services.prompts.texts(), QStringList{});
}

void TestResultRowActions::doubleClick_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("clicked"); // -1: below the last row
    QTest::addColumn<int>("activity");
    QTest::addColumn<QStringList>("rowsAfter");
    QTest::newRow("on a row: that row goes")
        << 0 << 2 << int(run::Activity::Idle) << QStringList{kRows[0], kRows[1]};
    QTest::newRow("below the rows: the selected row goes")
        << 1 << -1 << int(run::Activity::Idle) << QStringList{kRows[0], kRows[2]};
    QTest::newRow("during a run: nothing goes") << 1 << 1 << int(run::Activity::Running) << kRows;
}

void TestResultRowActions::doubleClick()
{
    QFETCH(int, selected);
    QFETCH(int, clicked);
    QFETCH(int, activity);
    QFETCH(QStringList, rowsAfter);
    RowsFixture f;
    f.show();
    f.select({selected}, selected);
    f.window.setActivity(run::Activity(activity));
    // A double-click's first press and release come as a click.
    QTest::mouseClick(f.window.resultsList->viewport(), Qt::LeftButton, {}, f.pointAt(clicked));
    QTest::mouseDClick(f.window.resultsList->viewport(), Qt::LeftButton, {}, f.pointAt(clicked));
    QCOMPARE(f.window.results().texts(), rowsAfter);
    // The file list keeps its single selection.
    QCOMPARE(f.window.filesList->selectionMode(), QAbstractItemView::SingleSelection);
}

void TestResultRowActions::menu_data()
{
    QTest::addColumn<int>("at"); // the row under the pointer; -1 below the rows; -2 the keyboard
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("withOrigin");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("enabled");
    QTest::addColumn<QString>("effect");

    QTest::newRow("Open at Line on a row") << 1 << 1 << true << "mnuOpenAtLine"
                                           << "mnuOpenAtLine mnuOpenFolder mnuCopy mnuChooseEditor"
                                           << "started ed +5 b.txt";
    QTest::newRow("Open Containing Folder below the rows: the selected row")
        << -1 << 2 << true << "mnuOpenFolder"
        << "mnuOpenAtLine mnuOpenFolder mnuCopy mnuChooseEditor"
        << "shown c.txt";
    QTest::newRow("from the keyboard: the current row")
        << -2 << 2 << true << "mnuOpenAtLine"
        << "mnuOpenAtLine mnuOpenFolder mnuCopy mnuChooseEditor"
        << "started ed +7 c.txt";
    QTest::newRow("Copy") << 0 << 0 << true << "mnuCopy"
                          << "mnuOpenAtLine mnuOpenFolder mnuCopy mnuChooseEditor"
                          << "copied alpha one";
    QTest::newRow("a row that does not say where it came from cannot be opened")
        << 1 << 1 << false << ""
        << "mnuCopy mnuChooseEditor"
        << "";
    QTest::newRow("below the rows with nothing selected: only the editor") << -1 << -1 << true << ""
                                                                           << "mnuChooseEditor"
                                                                           << "";
}

void TestResultRowActions::menu()
{
    QFETCH(int, at);
    QFETCH(int, selected);
    QFETCH(bool, withOrigin);
    QFETCH(QString, action);
    QFETCH(QString, enabled);
    QFETCH(QString, effect);
    RowsFixture f;
    f.show();
    if (!withOrigin)
        f.actions->setOriginSource([](int) { return platform::RowOrigin{}; });
    f.select(selected < 0 ? QList<int>{} : QList<int>{selected}, selected);
    QWidget *list = f.window.resultsList;
    QWidget *viewport = f.window.resultsList->viewport();
    if (at == -2) {
        QContextMenuEvent asked(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                list->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(list, &asked);
    } else {
        const QPoint point = f.pointAt(at);
        QContextMenuEvent asked(QContextMenuEvent::Mouse, point, viewport->mapToGlobal(point));
        QCoreApplication::sendEvent(viewport, &asked);
    }
    QVERIFY(f.actions->menu().isVisible());
    QStringList shownEnabled;
    for (QAction *item : f.actions->menu().actions())
        if (!item->isSeparator() && item->isEnabled())
            shownEnabled << item->objectName();
    QCOMPARE(shownEnabled.join(' '), enabled);
    if (!action.isEmpty())
        f.actions->menu().findChild<QAction *>(action)->trigger();
    f.actions->menu().close();
    QStringList done;
    for (const QStringList &call : f.services.desktop.started)
        done << "started " + call.join(' ').replace(f.folder.path() + '/', QString());
    for (const QString &file : f.services.desktop.shownFiles)
        done << "shown " + QString(file).replace(f.folder.path() + '/', QString());
    if (!f.services.clipboard.contents.isEmpty())
        done << "copied " + f.services.clipboard.contents.trimmed();
    QCOMPARE(done.join('|'), effect);
}

void TestResultRowActions::chooseEditor_data()
{
    QTest::addColumn<int>("pick"); // the list entry picked, -1 for none
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("report");

    QTest::newRow("a found editor picked") << 2 << "" << true << "fakeedit --line %l %f"
                                           << "";
    QTest::newRow("a command typed, blanks cut")
        << -1 << "  \"/opt/My Ed/ed\" +%l %f " << true << "\"/opt/My Ed/ed\" +%l %f"
        << "";
    QTest::newRow("cancelled") << 2 << "" << false << "ed +%l %f"
                               << "";
    QTest::newRow("back to the desktop's default") << 0 << "" << true << ""
                                                   << "";
    QTest::newRow("a store that refuses the setting is reported")
        << -1 << "vi" << true << "ed +%l %f"
        << "Permission denied\r\nin Quillon2021/08/31.Form3.Command1_Click at line 100";
}

void TestResultRowActions::chooseEditor()
{
    QFETCH(int, pick);
    QFETCH(QString, typed);
    QFETCH(bool, ok);
    QFETCH(QString, stored);
    QFETCH(QString, report);
    RowsFixture f;
    // One editor on this computer: a Mousepad entry whose program is on the PATH.
    QTemporaryDir data;
    QDir().mkpath(data.filePath("applications"));
    QDir().mkpath(data.filePath("bin"));
    QFile entry(data.filePath("applications/org.xfce.mousepad.desktop"));
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nName=Mousepad\nExec=fakeedit %U\nMimeType=text/plain;\n");
    entry.close();
    QFile program(data.filePath("bin/fakeedit"));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    program.close();
    const QByteArray path = qgetenv("PATH");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(data.filePath("none")));
    qputenv("PATH", QFile::encodeName(data.filePath("bin")));
    f.actions->chooseEditorAction->trigger();
    qputenv("PATH", path);
    shell::EditorDialog *dialog = f.actions->editorDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->commandBox->text(), QStringLiteral("ed +%l %f"));
    QCOMPARE(dialog->editorList->count(), 3); // the default, the one set now, the one found
    if (pick >= 0) {
        dialog->editorList->setCurrentIndex(pick);
        emit dialog->editorList->activated(pick);
    }
    if (!typed.isEmpty())
        dialog->commandBox->setText(typed);
    f.services.settings.refuseWrites = !report.isEmpty();
    (ok ? dialog->okButton : dialog->cancelButton)->click();
    QTRY_VERIFY(!f.actions->editorDialog());
    QCOMPARE(f.services.settings.value(results::RowOpener::editorKey), stored);
    QCOMPARE(f.services.prompts.errors().join('|').section("\r\r", 0, 0), report);
}

void TestResultRowActions::runRowsOpenAtTheirLines()
{
    // A run's rows carry the file and line they came from; Enter opens them there.
    QTemporaryDir folder;
    const QString path = folder.filePath("lines.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("one\r\nhit two\r\nthree\r\n\r\nhit five\r\n");
    file.close();
    fakes::TestServices services;
    shell::MainWindow window(services.services(), folder.path());
    window.startUp();
    services.settings.set(results::RowOpener::editorKey, "ed +%l %f");
    window.searchBox->setText("hit");
    window.modeList->setCurrentIndex(1);
    window.lineOnlyOption->click();
    window.files().append(path);
    window.startButton->click();
    QCOMPARE(window.results().texts(), (QStringList{"hit two", "hit five"}));
    if (!window.results().origin(0).known())
        QSKIP("result rows do not carry the file and line they came from yet");
    window.resultsList->selectionModel()->setCurrentIndex(window.results().index(1, 0),
                                                          QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(window.resultsList, Qt::Key_Return);
    QCOMPARE(services.desktop.started, (QList<QStringList>{{"ed", "+5", path}}));
}

QTEST_MAIN(TestResultRowActions)
#include "tst_resultrowactions.moc"
