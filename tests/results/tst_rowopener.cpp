// Opening a row's file with the desktop's default editor (its desktop entry found in the XDG
// folders), the notes and messages, and the file manager; rows of compressed files and archive
// members through decompressed copies. F is the row's file, D its folder, T the copies' folder.
#include "results/PackedCopies.h"
#include "results/RowOpener.h"
#include "support/FakeResultsView.h"
#include "support/Fakes.h"
#include "support/PackedSamples.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
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
            all << "started " + call.join(' ');
        for (const QString &shown : services.desktop.shownFiles)
            all << "shown " + shown;
        for (const QString &opened : services.desktop.openedFolders)
            all << "opened " + opened;
        for (const QString &note : notes)
            all << "note " + note;
        for (const auto &message : services.prompts.messages)
            all << message.title + ": " + message.text.section("\r\n", 0, 0);
        QString text = all.join('|').replace(file, "F").replace(dir.filePath("sub"), "D");
        const QString copies = opener.copies().folder();
        return copies.isEmpty() ? text : text.replace(copies, "T");
    }
    // Returns the files under the copies' folder, T/... each.
    QStringList copiesMade() const
    {
        QStringList made;
        const QString copies = opener.copies().folder();
        if (copies.isEmpty())
            return made;
        QDirIterator files(copies, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext())
            made << files.next().replace(copies, "T");
        return made;
    }
    // Opens a row and waits until a copy it makes is done.
    void openAndWait(const platform::RowOrigin &origin)
    {
        opener.openAtLine(origin);
        QTRY_VERIFY(!opener.copies().busy());
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
    void packedRow_data();
    void packedRow();
    void copyIsReusedWhileTheFileIsUnchanged();
    void copiesGoWithTheirOwner();
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

void TestRowOpener::packedRow_data()
{
    QTest::addColumn<QByteArray>("packed"); // the row's file, D/ + name
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("member");
    QTest::addColumn<int>("index"); // -1: the row was read from the file's own bytes
    QTest::addColumn<QString>("done");
    QTest::addColumn<QByteArray>("copy"); // the copy's text, or the message's last line
    using fakes::Packing;
    const QByteArray text = "one\ntwo\n";
    const QByteArray gzip = fakes::packed(Packing::Gzip, {{"n", text}});
    const QString decompressing = "note Decompressing %1 into a read-only copy\u2026";
    const QString refused =
        "|The window's title: The text of this row could not be copied out of D/%1 (%2):";
    QTest::newRow("a gzip file, named without its suffix")
        << gzip << "syslog.2.gz"
        << "" << 0 << "started ed +7 T/1/syslog.2|" + decompressing.arg("syslog.2.gz") << text;
    QTest::newRow("an xz file, its suffix in capitals")
        << fakes::packed(Packing::Xz, {{"n", text}}) << "NOTES.XZ"
        << "" << 0 << "started ed +7 T/1/NOTES|" + decompressing.arg("NOTES.XZ") << text;
    QTest::newRow("a compressed file named only its suffix")
        << gzip << ".zst"
        << "" << 0 << "started ed +7 T/1/text|" + decompressing.arg(".zst") << text;
    QTest::newRow("the same file read as its bytes opens itself")
        << gzip << "syslog.2.gz"
        << "" << -1 << "started ed +7 D/syslog.2.gz" << QByteArray();
    const QByteArray zip =
        fakes::packed(Packing::Zip, {{"a/first.log", "1\n"}, {"{b}/se{c}ond.log}", "2\n2\n"}});
    QTest::newRow("a zip member with braces in its name")
        << zip << "{x}.zip"
        << "{b}/se{c}ond.log}" << 1
        << "started ed +7 T/1/se{c}ond.log}|" + decompressing.arg("{b}/se{c}ond.log}")
        << QByteArray("2\n2\n");
    QTest::newRow("a tar.gz member")
        << fakes::packed(Packing::TarGz, {{"logs/x.txt", text}}) << "logs.tar.gz"
        << "logs/x.txt" << 0 << "started ed +7 T/1/x.txt|" + decompressing.arg("logs/x.txt")
        << text;
    QTest::newRow("a member that is itself gzip, named without its suffix")
        << fakes::packed(Packing::Tar, {{"old/app.log.gz", gzip}}) << "logs.tar"
        << "old/app.log.gz" << 0
        << "started ed +7 T/1/app.log|" + decompressing.arg("old/app.log.gz") << text;
    QTest::newRow("the second of two members of one name")
        << fakes::packed(Packing::Tar, {{"same.txt", "first\n"}, {"same.txt", "second\n"}})
        << "a.tar"
        << "same.txt" << 1 << "started ed +7 T/1/same.txt|" + decompressing.arg("same.txt")
        << QByteArray("second\n");
    QTest::newRow("a member moved since the run is found by its name")
        << fakes::packed(Packing::Tar, {{"new.txt", "new\n"}, {"m.txt", "m\n"}}) << "a.tar"
        << "m.txt" << 0 << "started ed +7 T/1/m.txt|" + decompressing.arg("m.txt")
        << QByteArray("m\n");
    QTest::newRow("a member no longer in the archive")
        << zip << "a.zip"
        << "gone.txt" << 3 << decompressing.arg("gone.txt") + refused.arg("a.zip", "gone.txt")
        << QByteArray("The member gone.txt is no longer in the archive");
    QTest::newRow("an encrypted member")
        << fakes::packed(Packing::Zip, {{"secret.txt", text}}, "pass") << "a.zip"
        << "secret.txt" << 0 << decompressing.arg("secret.txt") + refused.arg("a.zip", "secret.txt")
        << QByteArray("Member is encrypted (password protected)");
    // Most of a stream of 4 MiB, cut: the copy fails once much of it is written.
    const QByteArray big = fakes::packed(Packing::Gzip, {{"n", QByteArray(4 << 20, 'x')}});
    QTest::newRow("a compressed file cut short")
        << big.left(big.size() - 16) << "cut.gz"
        << "" << 0 << decompressing.arg("cut.gz") + refused.arg("cut.gz", "cut.gz")
        << QByteArray("truncated gzip input");
    QTest::newRow("a damaged archive")
        << QByteArray("PK\x03\x04 nothing that a zip holds") << "bad.zip"
        << "x.txt" << 0 << decompressing.arg("x.txt") + refused.arg("bad.zip", "x.txt")
        << QByteArray("Truncated ZIP file header");
    QTest::newRow("a disk with too little room left")
        << gzip << "full.gz"
        << "" << 0 << decompressing.arg("full.gz") + refused.arg("full.gz", "full.gz")
        << QByteArray("Too little free space is left in T/1 (4194304 MiB must stay free)");
}

void TestRowOpener::packedRow()
{
    QFETCH(QByteArray, packed);
    QFETCH(QString, name);
    QFETCH(QString, member);
    QFETCH(int, index);
    QFETCH(QString, done);
    QFETCH(QByteArray, copy);
    OpenerFixture f;
    const QString path = f.dir.filePath("sub/" + name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(packed);
    file.close();
    f.services.settings.set(results::RowOpener::editorKey, "ed +%l %f");
    if (name == "full.gz")
        f.opener.copies().setSpareBytes(qint64(1) << 42);
    f.openAndWait({path, 7, {member, index}});
    QCOMPARE(f.done(), done);
    if (!f.services.prompts.messages.empty()) {
        // Nothing is left of a copy that failed.
        QString detail = f.services.prompts.messages.back().text.section("\r\n", -1);
        QCOMPARE(detail.replace(f.opener.copies().folder(), "T"), QString(copy));
        QCOMPARE(f.copiesMade(), QStringList{});
    } else if (index >= 0) {
        QFile made(f.services.desktop.started.front().last());
        QVERIFY(made.open(QIODevice::ReadOnly));
        QCOMPARE(made.readAll(), copy);
    }
    QCOMPARE(f.reporter.reports, QStringList{});
}

void TestRowOpener::copyIsReusedWhileTheFileIsUnchanged()
{
    OpenerFixture f;
    f.services.settings.set(results::RowOpener::editorKey, "ed %f:%l");
    const QString path = f.dir.filePath("sub/a.tar");
    const auto writeArchive = [&](const QByteArray &text) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fakes::packed(fakes::Packing::Tar, {{"x.log", text}}));
    };
    writeArchive("first\n");
    f.opener.openAtLine({path, 1, {"x.log", 0}});
    // The copy is under way until the window thread hears that it ended.
    f.openAndWait({path, 9, {"x.log", 0}});
    f.openAndWait({path, 2, {"x.log", 0}});
    QCOMPARE(f.done(), "started ed T/1/x.log:1|started ed T/1/x.log:2|note Decompressing x.log "
                       "into a read-only copy\u2026|note A decompressed copy is still being made; "
                       "open this row again once it is open.");
    // The copy is read-only, in a folder only its owner may enter.
    const QString copy = f.opener.copies().folder() + "/1/x.log";
    const QString folder = f.opener.copies().folder();
    for (const auto &[made, mode] :
         {std::pair{copy, 0444}, {folder, 0700}, {folder + "/1", 0700}}) {
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(made).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(mode));
    }
    // The archive changed: a fresh copy replaces the old one.
    writeArchive("second, longer\n");
    f.openAndWait({path, 3, {"x.log", 0}});
    QCOMPARE(f.services.desktop.started.back(),
             (QStringList{"ed", f.opener.copies().folder() + "/2/x.log:3"}));
    QCOMPARE(f.copiesMade(), QStringList{"T/2/x.log"});
    QFile made(f.opener.copies().folder() + "/2/x.log");
    QVERIFY(made.open(QIODevice::ReadOnly));
    QCOMPARE(made.readAll(), QByteArray("second, longer\n"));
}

void TestRowOpener::copiesGoWithTheirOwner()
{
    // With the opener, or (a program ended by a signal) at removeAll().
    for (const bool bySignal : {false, true}) {
        auto f = std::make_unique<OpenerFixture>();
        f->services.settings.set(results::RowOpener::editorKey, "ed %f");
        QFile file(f->file);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fakes::packed(fakes::Packing::Gzip, {{"n", "text\n"}}));
        file.close();
        f->openAndWait({f->file, 1, {"", 0}});
        const QString folder = f->opener.copies().folder();
        QVERIFY(QFileInfo::exists(folder + "/1/row.txt"));
        if (bySignal)
            results::PackedCopies::removeAll();
        else
            f.reset();
        QVERIFY(!QFileInfo::exists(folder));
    }
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
    QTest::newRow("a member's archive is shown") << "member"
                                                 << "shown F";
}

void TestRowOpener::containingFolder()
{
    QFETCH(QString, state);
    QFETCH(QString, done);
    OpenerFixture f;
    const QString folder = f.dir.filePath("sub");
    if (state != "member")
        QFile::remove(f.file);
    if (state == "folder gone")
        QDir(folder).removeRecursively();
    f.opener.openContainingFolder({f.file, 3, {state == "member" ? "a/b.txt" : "", 0}});
    QCOMPARE(f.done(), done);
    QCOMPARE(f.reporter.reports, QStringList{});
}

QTEST_MAIN(TestRowOpener)
#include "tst_rowopener.moc"
