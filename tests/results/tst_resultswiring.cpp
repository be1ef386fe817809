// The results buttons of the real main window reach their handlers and its lists.
#include "shell/CaptionProgressBar.h"
#include "shell/MainWindow.h"
#include "support/Fakes.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct WindowFixture {
    QTemporaryDir programFolder;
    fakes::TestServices services;
    shell::MainWindow window{services.services(), programFolder.path()};

    WindowFixture()
    {
        window.startUp();
        for (const char *row : {"alpha one", "Beta two", "alpha three"})
            window.results().append(QString::fromLatin1(row));
        for (const char *file : {"/data/a.txt", "/data/b.log"})
            window.files().append(QString::fromLatin1(file));
    }
};

} // namespace

class TestResultsWiring : public QObject {
    Q_OBJECT
private slots:
    void filterButtons_data();
    void filterButtons();
    void clearListButton();
    void saveButtonWritesAndIdlesTheProgressBar();
    void copyButton();
    void spreadsheetButtonWithoutApplication();
};

void TestResultsWiring::filterButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QStringList>("files");
    const QStringList allResults{QStringLiteral("alpha one"), QStringLiteral("Beta two"),
                                 QStringLiteral("alpha three")};
    const QStringList allFiles{QStringLiteral("/data/a.txt"), QStringLiteral("/data/b.log")};
    QTest::newRow("PushButton19") << QStringLiteral("PushButton19") << QStringLiteral("ALPHA")
                                  << QStringList{QStringLiteral("Beta two")} << allFiles;
    QTest::newRow("PushButton20") << QStringLiteral("PushButton20") << QStringLiteral("ALPHA")
                                  << QStringList{QStringLiteral("alpha one"),
                                                 QStringLiteral("alpha three")}
                                  << allFiles;
    QTest::newRow("PushButton10") << QStringLiteral("PushButton10") << QStringLiteral(".TXT")
                                  << allResults << QStringList{QStringLiteral("/data/b.log")};
    QTest::newRow("PushButton11") << QStringLiteral("PushButton11") << QStringLiteral(".TXT")
                                  << allResults << QStringList{QStringLiteral("/data/a.txt")};
}

void TestResultsWiring::filterButtons()
{
    QFETCH(QString, button);
    QFETCH(QString, typed);
    QFETCH(QStringList, results);
    QFETCH(QStringList, files);
    WindowFixture f;
    f.services.prompts.inputAnswers = {typed};
    auto *pushButton = f.window.findChild<QPushButton *>(button);
    QVERIFY(pushButton);
    pushButton->click();
    QCOMPARE(f.window.results().texts(), results);
    QCOMPARE(f.window.files().texts(), files);
    QCOMPARE(f.window.pointer(), shell::MainWindow::Pointer::Arrow);
    QCOMPARE(f.services.prompts.errors(), QStringList{});
}

void TestResultsWiring::clearListButton()
{
    WindowFixture f;
    f.window.clearResultsButton->click();
    QCOMPARE(f.window.results().count(), 0);
    QCOMPARE(f.window.files().count(), 2);
}

void TestResultsWiring::saveButtonWritesAndIdlesTheProgressBar()
{
    WindowFixture f;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("saved.txt"));
    f.services.dialogs.nextSaveFile = path;
    f.window.saveTextButton->click();
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("Results    \t\r\nalpha one  \t\r\nBeta two   \t\r\n"
                                         "alpha three\t\r\n"));
    QCOMPARE(f.services.prompts.texts(), QStringList{QStringLiteral("Done.")});
    QCOMPARE(f.window.progressBar->text(), QStringLiteral("Progress Bar"));
    QCOMPARE(f.window.progressBar->value(), 0);
    QCOMPARE(f.window.pointer(), shell::MainWindow::Pointer::Arrow);
}

void TestResultsWiring::copyButton()
{
    WindowFixture f;
    f.window.copyResultsButton->click();
    QCOMPARE(f.services.clipboard.contents,
             QStringLiteral("alpha one\r\nBeta two\r\nalpha three\r\n"));
    QCOMPARE(f.window.progressBar->text(), QStringLiteral("Progress Bar"));
}

void TestResultsWiring::spreadsheetButtonWithoutApplication()
{
    WindowFixture f;
    f.services.desktop.spreadsheetInstalled = false;
    f.window.saveSpreadsheetButton->click();
    // The check that fails, then the button's own refusal.
    QCOMPARE(f.services.prompts.texts(),
             (QStringList{QStringLiteral("Excel is not installed on this computer. You need to "
                                         "have it installed to use this software without error."),
                          QStringLiteral("Excel is not installed on this computer. You need to "
                                         "have it installed to use this feature.")}));
    QVERIFY(f.services.desktop.openedSpreadsheets.isEmpty());
}

QTEST_MAIN(TestResultsWiring)
#include "tst_resultswiring.moc"
