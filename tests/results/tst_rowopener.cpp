// Opening a row's file: the desktop's default editor with its line syntax, the notes, and the
// file manager.
#include "platform/SettingsStore.h"
#include "results/RowOpener.h"
#include "support/FakeResultsView.h"
#include "support/Fakes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kGoneNote =
    QStringLiteral("The file of this row is no longer there; its folder is shown.");

struct OpenerFixture {
    QTemporaryDir files;
    QTemporaryDir data;
    fakes::TestServices services;
    fakes::FakeResultsView view;
    fakes::RecordingReporter reporter;
    QStringList notes;
    results::RowOpener opener{view, services.services(), reporter,
                              [this](const QString &note) { notes << note; }};

    OpenerFixture()
    {
        // Desktop entries come from this folder only.
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(data.filePath("none")));
        qunsetenv("TERMINAL");
    }
    void addEntry(const QString &id, const QString &lines)
    {
        QDir().mkpath(data.filePath("applications"));
        QFile entry(data.filePath("applications/" + id));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write(("[Desktop Entry]\nType=Application\n" + lines + "\n").toUtf8());
    }
    QString file(const QString &name)
    {
        QFile made(files.filePath(name));
        [&] { QVERIFY(made.open(QIODevice::WriteOnly)); }();
        return made.fileName();
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
};

void TestRowOpener::defaultEditor_data()
{
    QTest::addColumn<QString>("id");          // xdg-mime's answer for text/plain
    QTest::addColumn<QString>("entry");       // that entry's lines; none when empty
    QTest::addColumn<QString>("terminal");    // $TERMINAL
    QTest::addColumn<QStringList>("started"); // FILE for the row's file
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QString>("message");

    QTest::newRow("gedit at the line")
        << "org.gnome.gedit.desktop"
        << "Name=gedit\nExec=gedit %U"
        << "" << QStringList{"gedit", "+4294967296", "FILE"} << QStringList{} << "";
    QTest::newRow("Vim in $TERMINAL")
        << "vim.desktop"
        << "Name=Vim\nExec=vim %F\nTerminal=true"
        << "kitty --single-instance"
        << QStringList{"kitty", "--single-instance", "-e", "vim", "+4294967296", "FILE"}
        << QStringList{} << "";
    QTest::newRow("nano in x-terminal-emulator")
        << "nano.desktop"
        << "Name=GNU nano\nExec=nano %F\nTerminal=true"
        << "" << QStringList{"x-terminal-emulator", "-e", "nano", "+4294967296", "FILE"}
        << QStringList{} << "";
    QTest::newRow("GNOME Text Editor opens at the top, said once")
        << "org.gnome.TextEditor.desktop"
        << "Name=Text Editor\nExec=gnome-text-editor %U"
        << "" << QStringList{"gnome-text-editor", "FILE"}
        << QStringList{"Text Editor takes no line number: the file opens at its top. \"Choose "
                       "Editor\u2026\" in the menu of the results list (right-click a row) sets "
                       "one."}
        << "";
    QTest::newRow("no default application")
        << ""
        << ""
        << "" << QStringList{} << QStringList{} << "No application is set to open text files.";
    QTest::newRow("the default application's entry is gone")
        << "ghost.desktop"
        << ""
        << "" << QStringList{} << QStringList{}
        << "The application set to open text files (ghost.desktop) cannot be found.";
}

void TestRowOpener::defaultEditor()
{
    QFETCH(QString, id);
    QFETCH(QString, entry);
    QFETCH(QString, terminal);
    QFETCH(QStringList, started);
    QFETCH(QStringList, notes);
    QFETCH(QString, message);
    OpenerFixture f;
    if (!entry.isEmpty())
        f.addEntry(id, entry);
    if (!terminal.isEmpty())
        qputenv("TERMINAL", terminal.toUtf8());
    f.services.desktop.defaultApplications.insert("text/plain", id);
    const QString path = f.file("the notes.txt");
    started.replaceInStrings("FILE", path);
    // Twice: a note is said once, the file opens each time.
    for (int i = 0; i < 2; ++i)
        f.opener.openAtLine({path, uint64_t(1) << 32});
    qunsetenv("TERMINAL");
    const QList<QStringList> twice =
        started.isEmpty() ? QList<QStringList>() : QList<QStringList>() << started << started;
    QCOMPARE(f.services.desktop.started, twice);
    QCOMPARE(f.notes, notes);
    QCOMPARE(f.reporter.reports, QStringList{});
    const QStringList shown = f.services.prompts.texts();
    QCOMPARE(shown.size(), message.isEmpty() ? 0 : 2);
    QVERIFY2(message.isEmpty() || shown.value(0).startsWith(message), qPrintable(shown.join(u'|')));
}

void TestRowOpener::containingFolder_data()
{
    QTest::addColumn<QString>("state"); // of the row's file
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QString>("message");

    QTest::newRow("the file, selected")
        << "there" << QStringList{"FILE"} << QStringList{} << QStringList{} << "";
    QTest::newRow("a file gone since: its folder")
        << "gone" << QStringList{} << QStringList{"FOLDER"} << QStringList{kGoneNote} << "";
    QTest::newRow("its folder gone too")
        << "folder gone" << QStringList{} << QStringList{} << QStringList{}
        << "The folder of this row is no longer there:";
    QTest::newRow("a row without a file") << "unknown" << QStringList{} << QStringList{}
                                          << QStringList{"This row does not say which file "
                                                         "it came from."}
                                          << "";
}

void TestRowOpener::containingFolder()
{
    QFETCH(QString, state);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, opened);
    QFETCH(QStringList, notes);
    QFETCH(QString, message);
    OpenerFixture f;
    const QString folder = f.files.filePath("sub");
    QDir().mkpath(folder);
    f.view.title = QStringLiteral("The window's title");
    QString path = f.file("sub/row.txt");
    if (state != "there")
        QFile::remove(path);
    if (state == "folder gone")
        QDir(folder).removeRecursively();
    f.opener.openContainingFolder(state == "unknown" ? platform::RowOrigin{}
                                                     : platform::RowOrigin{path, 3});
    QCOMPARE(f.services.desktop.shownFiles, shown.replaceInStrings("FILE", path));
    QCOMPARE(f.services.desktop.openedFolders, opened.replaceInStrings("FOLDER", folder));
    QCOMPARE(f.notes, notes);
    QCOMPARE(f.reporter.reports, QStringList{});
    QCOMPARE(f.services.prompts.texts().value(0).section("\r\n", 0, 0), message);
    for (const auto &shown : f.services.prompts.messages)
        QCOMPARE(shown.title, f.view.title);
}

QTEST_MAIN(TestRowOpener)
#include "tst_rowopener.moc"
