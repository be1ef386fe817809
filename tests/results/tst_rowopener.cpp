// Opening a row's file with the desktop's default editor (its desktop entry found in the XDG
// folders), the notes and messages, and the file manager. F is the row's file, D its folder.
#include "results/RowOpener.h"
#include "support/FakeResultsView.h"
#include "support/Fakes.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {

struct OpenerFixture {
    QTemporaryDir dir;
    fakes::TestServices services;
    fakes::FakeResultsView view;
    fakes::RecordingReporter reporter;
    QStringList notes;
    results::RowOpener opener{view, services.services(), reporter,
                              [this](const QString &note) { notes << note; }};
    QString file = dir.filePath("sub/row.txt");

    OpenerFixture()
    {
        // Desktop entries come from this folder only.
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(dir.filePath("none")));
        QDir().mkpath(dir.filePath("data/applications/kde4"));
        QDir().mkpath(dir.filePath("sub"));
        QFile made(file);
        [&] { QVERIFY(made.open(QIODevice::WriteOnly)); }();
        view.title = "The window's title";
    }
    // Returns what was done: programs started, notes and messages (title and first line).
    QString done() const
    {
        QStringList all;
        for (const QStringList &call : services.desktop.started)
            all << "started " + call.join(' ').replace(file, "F");
        for (const QString &shown : services.desktop.shownFiles)
            all << "shown " + QString(shown).replace(file, "F");
        for (const QString &opened : services.desktop.openedFolders)
            all << "opened " + QString(opened).replace(dir.filePath("sub"), "D");
        for (const QString &note : notes)
            all << "note " + note;
        for (const auto &message : services.prompts.messages)
            all << message.title + ": " + message.text.section("\r\n", 0, 0);
        return all.join('|');
    }
};

} // namespace

class TestRowOpener : public QObject {
    Q_OBJECT
private slots:
    void defaultEditor_data();
    void defaultEditor();
    void containingFolder_data();
    void containingFolder();
    void compressedFileIsNotOpenedAtALine();
};

void TestRowOpener::defaultEditor_data()
{
    QTest::addColumn<QString>("id");    // xdg-mime's answer for text/plain
    QTest::addColumn<QString>("entry"); // the file's lines; none when empty, FIFO for a FIFO
    QTest::addColumn<QString>("terminal");
    QTest::addColumn<QString>("done");
    const QString title = "The window's title: ";
    QTest::newRow("gedit, at a line past 2^32") << "org.gnome.gedit.desktop"
                                                << "Exec=gedit %U"
                                                << ""
                                                << "started gedit +4294967296 F";
    QTest::newRow("Vim in $TERMINAL") << "vim.desktop"
                                      << "Exec=vim %F\nTerminal=true"
                                      << "kitty --hold"
                                      << "started kitty --hold -e vim +4294967296 F";
    QTest::newRow("an entry in a sub-folder, in x-terminal-emulator")
        << "kde4-nano.desktop"
        << "Exec=nano %F\nTerminal=true"
        << ""
        << "started x-terminal-emulator -e nano +4294967296 F";
    QTest::newRow("GNOME Text Editor opens at the top, said once")
        << "org.gnome.TextEditor.desktop"
        << "Name=Text Editor\nExec=gnome-text-editor %U"
        << ""
        << "started gnome-text-editor F|note Text Editor takes no line number: the file opens at "
           "its top. \"Choose Editor\u2026\" in the menu of the results list (right-click a "
           "row) sets one.";
    QTest::newRow("no default application")
        << ""
        << ""
        << "" << title + "No application is set to open text files.";
    QTest::newRow("an entry that is a FIFO is not read")
        << "pipe.desktop"
        << "FIFO"
        << "" << title + "The application set to open text files (pipe.desktop) cannot be found.";
}

void TestRowOpener::defaultEditor()
{
    QFETCH(QString, id);
    QFETCH(QString, entry);
    QFETCH(QString, terminal);
    QFETCH(QString, done);
    OpenerFixture f;
    const QString entryFile =
        f.dir.filePath("data/applications/" + QString(id).replace("kde4-", "kde4/"));
    if (entry == "FIFO") {
        QCOMPARE(::mkfifo(QFile::encodeName(entryFile).constData(), 0600), 0);
    } else if (!entry.isEmpty()) {
        QFile file(entryFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(("[Desktop Entry]\nType=Application\n" + entry + "\n").toUtf8());
    }
    qputenv("TERMINAL", terminal.toUtf8());
    f.services.desktop.defaultApplications.insert("text/plain", id);
    const platform::RowOrigin origin{f.file, uint64_t(1) << 32};
    f.opener.openAtLine(origin);
    qunsetenv("TERMINAL");
    QCOMPARE(f.done(), done);
    QCOMPARE(f.reporter.reports, QStringList{});
    // Again: the file opens again, a note is not said again.
    const qsizetype started = f.services.desktop.started.size();
    f.opener.openAtLine(origin);
    QCOMPARE(f.services.desktop.started.size(), 2 * started);
    QCOMPARE(f.notes.size(), done.contains("|note ") ? 1 : 0);
}

void TestRowOpener::compressedFileIsNotOpenedAtALine()
{
    OpenerFixture f;
    QFile file(f.file);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\x1F\x8B\x08\0\0\0\0\0\0\x03", 10)); // a gzip stream's header
    file.close();
    f.services.desktop.defaultApplications.insert("text/plain", "org.gnome.gedit.desktop");
    f.opener.openAtLine({f.file, 12});
    QVERIFY2(f.done().startsWith("note This row comes from a compressed file"),
             qPrintable(f.done()));
}

void TestRowOpener::containingFolder_data()
{
    QTest::addColumn<QString>("state"); // of the row's file
    QTest::addColumn<QString>("done");
    QTest::newRow("a file gone since: its folder")
        << "gone"
        << "opened D|note The file of this row is no longer there; its folder is shown.";
    QTest::newRow("its folder gone too")
        << "folder gone"
        << "The window's title: The folder of this row is no longer there:";
}

void TestRowOpener::containingFolder()
{
    QFETCH(QString, state);
    QFETCH(QString, done);
    OpenerFixture f;
    const QString folder = f.dir.filePath("sub");
    QFile::remove(f.file);
    if (state == "folder gone")
        QDir(folder).removeRecursively();
    f.opener.openContainingFolder({f.file, 3});
    QCOMPARE(f.done(), done);
    QCOMPARE(f.reporter.reports, QStringList{});
}

QTEST_MAIN(TestRowOpener)
#include "tst_rowopener.moc"
