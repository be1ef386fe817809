// The file list inside the real main window: buttons, mouse, keys and drops reach the list.
#include "support/Fakes.h"

#include "platform/ListModel.h"
#include "shell/LinesDialog.h"
#include "shell/MainWindow.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

struct Fixture {
    Fixture()
    {
        QDir().mkpath(program.filePath("Samples"));
        for (const char *name : {"Ledger.txt", "Notes.txt"}) {
            QFile file(program.filePath(QStringLiteral("Samples/") + QLatin1String(name)));
            if (file.open(QIODevice::WriteOnly))
                file.write("Dozida\r\n");
        }
        window = std::make_unique<shell::MainWindow>(services.services(), program.path());
        window->startUp();
        window->show();
        view = window->findChild<QAbstractItemView *>(QStringLiteral("ListView1"));
    }
    QPoint rowCentre(int row) const
    {
        return view->visualRect(window->files().index(row, 0)).center();
    }
    void fill(int rows)
    {
        for (int i = 1; i <= rows; ++i)
            window->files().append(QStringLiteral("/f/%1.txt").arg(i));
    }

    QTemporaryDir program;
    fakes::TestServices services;
    std::unique_ptr<shell::MainWindow> window;
    QAbstractItemView *view = nullptr;
};

void sendMove(QWidget *target, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
}

} // namespace

class tst_FileListWiring : public QObject {
    Q_OBJECT

private slots:
    void startUpRecordsSamplesAndButtonLoadsThem();
    void doubleClickOnBlankAreaRemovesSelected_data();
    void doubleClickOnBlankAreaRemovesSelected();
    void deleteKeyRemovesUnlessBusy_data();
    void deleteKeyRemovesUnlessBusy();
    void mouseDragExchangesTexts();
    void dropAddsLocalFilesOnly_data();
    void dropAddsLocalFilesOnly();
};

void tst_FileListWiring::startUpRecordsSamplesAndButtonLoadsThem()
{
    Fixture f;
    QVERIFY(!f.services.settings.value("Snapshot").isEmpty());
    f.services.prompts.answers.push_back(platform::Answer::No);
    f.window->loadSamplesButton->click();
    QCOMPARE(f.window->files().texts(), (QStringList{f.program.path() + "/Samples/Ledger.txt",
                                                     f.program.path() + "/Samples/Notes.txt"}));
    QCOMPARE(f.window->linesDialog().linesAboveList->currentText(), "2");
    QCOMPARE(f.window->linesDialog().linesBelowList->currentText(), "1");
    QCOMPARE(f.window->searchBox->text(), "Dozida");
    QCOMPARE(f.services.settings.value("Combo2"), "2");
    QCOMPARE(f.services.settings.value("Combo3"), "1");
    QCOMPARE(f.services.settings.value("Text1"), "Dozida");
    QVERIFY(f.services.desktop.openedFolders.isEmpty());
    QVERIFY(f.services.prompts.errors().isEmpty());
}

void tst_FileListWiring::doubleClickOnBlankAreaRemovesSelected_data()
{
    QTest::addColumn<bool>("onRow");
    QTest::addColumn<QStringList>("remaining");
    QTest::newRow("below the last row: the selected entry goes")
        << false << QStringList{"/f/1.txt", "/f/3.txt"};
    QTest::newRow("on a row: that row, selected by the press, goes")
        << true << QStringList{"/f/2.txt", "/f/3.txt"};
}

void tst_FileListWiring::doubleClickOnBlankAreaRemovesSelected()
{
    // The whole sequence a mouse sends: press, release, double-click, release.
    QFETCH(bool, onRow);
    QFETCH(QStringList, remaining);
    Fixture f;
    f.fill(3);
    f.view->setCurrentIndex(f.window->files().index(1, 0));
    const QPoint at = onRow ? f.view->visualRect(f.window->files().index(0, 0)).center()
                            : QPoint(5, f.view->viewport()->height() - 5);
    QCOMPARE(f.view->indexAt(at).isValid(), onRow);
    QWidget *viewport = f.view->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at);
    QMouseEvent twice(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &twice);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(f.window->files().texts(), remaining);
}

void tst_FileListWiring::deleteKeyRemovesUnlessBusy_data()
{
    QTest::addColumn<int>("activity");
    QTest::addColumn<int>("remaining");
    QTest::newRow("idle") << int(run::Activity::Idle) << 2;
    QTest::newRow("busy") << int(run::Activity::Busy) << 3;
}

void tst_FileListWiring::deleteKeyRemovesUnlessBusy()
{
    QFETCH(int, activity);
    QFETCH(int, remaining);
    Fixture f;
    f.fill(3);
    f.view->setCurrentIndex(f.window->files().index(0, 0));
    f.window->setActivity(run::Activity(activity));
    QTest::keyClick(f.view, Qt::Key_Delete);
    QCOMPARE(f.window->files().count(), remaining);
}

void tst_FileListWiring::mouseDragExchangesTexts()
{
    Fixture f;
    f.fill(6);
    QWidget *viewport = f.view->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, f.rowCentre(0));
    sendMove(viewport, f.rowCentre(4), Qt::LeftButton);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, f.rowCentre(4));
    QCOMPARE(f.window->files().texts(),
             (QStringList{"/f/5.txt", "/f/2.txt", "/f/3.txt", "/f/4.txt", "/f/1.txt", "/f/6.txt"}));
    QCOMPARE(f.view->currentIndex().row(), 4);
    sendMove(viewport, f.rowCentre(0), Qt::NoButton);
    QCOMPARE(f.window->files().text(0), "/f/5.txt");
}

void tst_FileListWiring::dropAddsLocalFilesOnly_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("file list") << "text/uri-list" << true;
    QTest::newRow("plain text") << "text/plain" << false;
}

void tst_FileListWiring::dropAddsLocalFilesOnly()
{
    QFETCH(QString, format);
    QFETCH(bool, accepted);
    Fixture f;
    QMimeData mime;
    const QString file = f.program.filePath("Samples/Notes.txt");
    if (format == "text/uri-list")
        mime.setUrls(
            {QUrl::fromLocalFile(f.program.filePath("Samples")), QUrl::fromLocalFile(file)});
    else
        mime.setText(file);
    QWidget *viewport = f.view->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    QTRY_COMPARE(f.window->files().count(), accepted ? 3 : 0);
    if (accepted)
        QCOMPARE(f.window->files().texts(),
                 (QStringList{f.program.path() + "/Samples/Ledger.txt",
                              f.program.path() + "/Samples/Notes.txt", file}));
}

QTEST_MAIN(tst_FileListWiring)
#include "tst_filelistwiring.moc"
