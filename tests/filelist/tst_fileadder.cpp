#include "support/FakeFileListHost.h"
#include "support/FakeFileSystem.h"

#include "filelist/FileAdder.h"
#include "filelist/FolderScan.h"

#include <QMimeData>
#include <QTest>
#include <QUrl>

namespace {

const QString extensionPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)");
const QString tooManyText = QStringLiteral(
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");

// A folder tree, a host and the adder over them.
struct Rig {
    Rig() : host(fs, "/prog"), scan(fs, host.yield, host.reports), adder(host, scan)
    {
        fs.addFile("/docs/readme");
        fs.addFile("/docs/a.txt");
        fs.addFile("/docs/b.doc");
        fs.addFile("/docs/~$b.doc");
        fs.addFile("/docs/sub/c.TXT");
    }
    fakes::FakeFileSystem fs;
    fakes::FakeFileListHost host;
    filelist::FolderScan scan;
    filelist::FileAdder adder;
};

QStringList pathsOfLength(int count, int nameLength, const QString &folder = "/d")
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        QString name = QString::number(i);
        name = QString(nameLength - name.size(), u'x') + name;
        paths.append(folder + u'/' + name);
    }
    return paths;
}

} // namespace

class tst_FileAdder : public QObject {
    Q_OBJECT

private slots:
    void addAllInFolder_data();
    void addAllInFolder();
    void addAllAsksWithStoredValues();
    void addAllStaysBusyWhileScanning_data();
    void addAllStaysBusyWhileScanning();
    void addFiles_data();
    void addFiles();
    void dialogAnswerLength_data();
    void dialogAnswerLength();
    void tooManyFiles_data();
    void tooManyFiles();
    void acceptsDrop_data();
    void acceptsDrop();
    void dropFoldersAndFiles();
    void givenPaths_data();
    void givenPaths();
    void leftOutSaidInOneMessage_data();
    void leftOutSaidInOneMessage();
};

void tst_FileAdder::addAllInFolder_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QString>("storedExtension");
    QTest::addColumn<QString>("storedFolder");
    QTest::newRow("star adds every file but ~ names")
        << "*"
        << "/docs" << QStringList{"/docs/readme", "/docs/a.txt", "/docs/b.doc", "/docs/sub/c.TXT"}
        << "*"
        << "/docs";
    QTest::newRow("txt matches either case")
        << "txt"
        << "/docs" << QStringList{"/docs/a.txt", "/docs/sub/c.TXT"} << "txt"
        << "/docs";
    QTest::newRow("an extension and a pattern, stored as typed")
        << "doc; *.txt"
        << "/docs" << QStringList{"/docs/a.txt", "/docs/b.doc", "/docs/sub/c.TXT"} << "doc; *.txt"
        << "/docs";
    QTest::newRow("cancelled extension stores nothing")
        << ""
        << "/docs" << QStringList{} << QString() << QString();
    QTest::newRow("cancelled browser keeps the new extension")
        << "doc"
        << "" << QStringList{} << "doc" << QString();
}

void tst_FileAdder::addAllInFolder()
{
    QFETCH(QString, extension);
    QFETCH(QString, folder);
    QFETCH(QStringList, added);
    QFETCH(QString, storedExtension);
    QFETCH(QString, storedFolder);
    Rig rig;
    rig.host.prompts.inputAnswers.push_back(extension);
    rig.host.dialogs.nextFolder = folder;
    rig.adder.addFolder();
    QCOMPARE(rig.host.texts(), added);
    QCOMPARE(rig.host.settings.value("Extension"), storedExtension);
    QCOMPARE(rig.host.settings.value("LastFolder"), storedFolder);
    QCOMPARE(rig.host.dialogs.titles.size(), extension.isEmpty() ? 0 : 1);
    QCOMPARE(rig.host.doing, run::Activity::Idle);
    QVERIFY(rig.host.prompts.messages.empty());
    QVERIFY(rig.host.reports.reports.isEmpty());
}

void tst_FileAdder::addAllAsksWithStoredValues()
{
    Rig rig;
    rig.adder.addFolder();
    QCOMPARE(rig.host.prompts.inputPrompts, QStringList{extensionPrompt});
    QCOMPARE(rig.host.prompts.inputDefaults, QStringList{"*"});

    rig.host.settings.set("Extension", "log");
    rig.host.settings.set("LastFolder", "/var/log");
    rig.host.prompts.inputAnswers.push_back("log");
    rig.adder.addFolder();
    QCOMPARE(rig.host.prompts.inputDefaults.last(), "log");
    QCOMPARE(rig.host.dialogs.titles, QStringList{"Please select folder:"});
    QCOMPARE(rig.host.dialogs.startFolders, QStringList{"/var/log"});
}

void tst_FileAdder::addAllStaysBusyWhileScanning_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("during");
    const int idle = int(run::Activity::Idle);
    const int running = int(run::Activity::Running);
    QTest::newRow("idle window is busy, then idle again") << idle << int(run::Activity::Busy);
    QTest::newRow("a scan inside a run leaves the run as it is") << running << running;
}

void tst_FileAdder::addAllStaysBusyWhileScanning()
{
    QFETCH(int, before);
    QFETCH(int, during);
    Rig rig;
    rig.host.doing = run::Activity(before);
    rig.host.prompts.inputAnswers.push_back("*");
    rig.host.dialogs.nextFolder = "/docs";
    QList<run::Activity> seen;
    rig.host.yield.onYield = [&](int) { seen.append(rig.host.doing); };
    rig.adder.addFolder();
    QVERIFY(!seen.isEmpty());
    QVERIFY(std::all_of(seen.begin(), seen.end(),
                        [&](run::Activity activity) { return activity == run::Activity(during); }));
    QCOMPARE(rig.host.doing, run::Activity(before));
}

void tst_FileAdder::addFiles_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("added");
    QTest::newRow("cancel adds nothing") << QStringList{} << QStringList{};
    QTest::newRow("one file is added as returned")
        << QStringList{"//srv//one.txt"} << QStringList{"//srv//one.txt"};
    QTest::newRow("several files are normalized")
        << QStringList{"/d//a.txt", "/d//~b.txt", "/d//.c.txt"}
        << QStringList{"/d/a.txt", "/d/~b.txt", "/d/.c.txt"};
    QTest::newRow("several files in the root")
        << QStringList{"//a.txt", "//b.txt"} << QStringList{"/a.txt", "/b.txt"};
    QTest::newRow("a listed file is added again")
        << QStringList{"/listed.txt"} << QStringList{"/listed.txt"};
    const QString shown = QString(QChar(QChar::ReplacementCharacter));
    QTest::newRow("a name the dialog could not decode is left out, and said once")
        << QStringList{"/d/caf" + shown + ".txt", "/d//a.txt", "/d/" + shown + shown}
        << QStringList{"/d/a.txt"};
    QTest::newRow("a file really named with the replacement character is added")
        << QStringList{"/exists/" + shown + ".txt"} << QStringList{"/exists/" + shown + ".txt"};
}

void tst_FileAdder::addFiles()
{
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, added);
    Rig rig;
    rig.host.list.append("/listed.txt");
    for (const QString &path : chosen)
        if (path.startsWith("/exists/"))
            rig.fs.addFile(path);
    rig.host.dialogs.nextOpenFiles = chosen;
    rig.adder.addFiles();
    QCOMPARE(rig.host.texts(), QStringList{"/listed.txt"} + added);
    QCOMPARE(rig.host.dialogs.titles,
             QStringList{"Add File(s) - Use Ctrl & Shift to select multiple files"});
    QVERIFY(rig.host.prompts.messages.empty());
    const qsizetype leftOut = chosen.size() - added.size();
    QCOMPARE(rig.host.reports.reports.size(), leftOut > 0 ? 1 : 0);
    if (leftOut > 0)
        QVERIFY(rig.host.reports.reports.front().contains("2 chosen files were left out"));
}

void tst_FileAdder::dialogAnswerLength_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<int>("length");
    QTest::newRow("nothing") << QStringList{} << 0;
    QTest::newRow("one path, its NUL and the closing NUL") << QStringList{"/d/abc"} << 8;
    QTest::newRow("folder and names each with a NUL, plus one")
        << QStringList{"/d/abc", "/d/xy"} << 2 + 1 + 3 + 1 + 2 + 1 + 1;
    QTest::newRow("root folder keeps its separator")
        << QStringList{"/abc", "/xy"} << 1 + 1 + 3 + 1 + 2 + 1 + 1;
}

void tst_FileAdder::dialogAnswerLength()
{
    QFETCH(QStringList, paths);
    QFETCH(int, length);
    QCOMPARE(filelist::FileAdder::dialogAnswerLength(paths), qsizetype(length));
}

void tst_FileAdder::tooManyFiles_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<bool>("refused");
    // "/d" NUL, then 100 names of 298 characters and a NUL each, then a closing NUL: 29904.
    QTest::newRow("just fits") << pathsOfLength(100, 298) << false;
    // Stretch one name so the total is exactly 30000, then one character more.
    QStringList exact = pathsOfLength(100, 298);
    exact.last() += QString(96, u'y');
    QTest::newRow("exactly 30000 fits") << exact << false;
    QStringList over = exact;
    over.last() += u'z';
    QTest::newRow("30001 is too many") << over << true;
    QTest::newRow("thousands of short names") << pathsOfLength(6000, 8) << true;
}

void tst_FileAdder::tooManyFiles()
{
    QFETCH(QStringList, chosen);
    QFETCH(bool, refused);
    Rig rig;
    QCOMPARE(filelist::FileAdder::dialogAnswerLength(chosen) > 30000, refused);
    rig.host.dialogs.nextOpenFiles = chosen;
    rig.adder.addFiles();
    if (refused) {
        QCOMPARE(rig.host.list.count(), 0);
        QCOMPARE(rig.host.prompts.texts(), QStringList{tooManyText});
        QCOMPARE(rig.host.prompts.messages.front().title, "Lumbrex");
        QCOMPARE(rig.host.prompts.messages.front().icon, platform::Icon::None);
    } else {
        QCOMPARE(rig.host.list.count(), chosen.size());
        QVERIFY(rig.host.prompts.messages.empty());
    }
    QVERIFY(rig.host.reports.reports.isEmpty());
}

void tst_FileAdder::acceptsDrop_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<int>("unreadable");
    QTest::newRow("local files") << "text/uri-list"
                                 << QByteArray("file:///d/a.txt\r\nfile:///d/b%20c.txt\r\n")
                                 << QStringList{"/d/a.txt", "/d/b c.txt"} << 0;
    QTest::newRow("plain text from an editor")
        << "text/plain" << QByteArray("/d/a.txt") << QStringList{} << 0;
    QTest::newRow("web addresses are refused")
        << "text/uri-list" << QByteArray("https://example.com/a.txt\r\n") << QStringList{} << 0;
    QTest::newRow("only the local entries of a mixed list")
        << "text/uri-list" << QByteArray("https://example.com/x\r\nfile:///d/a.txt\r\n")
        << QStringList{"/d/a.txt"} << 0;
    QTest::newRow("UTF-8 names kept")
        << "text/uri-list" << QByteArray("file:///d/%C3%A9t%C3%A9.txt\r\n")
        << QStringList{QString::fromUtf8("/d/été.txt")} << 0;
    QTest::newRow("a name that is not UTF-8 is counted, not listed, and the drop taken")
        << "text/uri-list" << QByteArray("file:///d/%E9t%E9.txt\r\n") << QStringList{} << 1;
}

void tst_FileAdder::acceptsDrop()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, paths);
    QFETCH(int, unreadable);
    QMimeData mime;
    mime.setData(format, data);
    int counted = 0;
    QCOMPARE(filelist::FileAdder::droppedPaths(mime, &counted), paths);
    QCOMPARE(counted, unreadable);
    QCOMPARE(filelist::FileAdder::acceptsDrop(mime), !paths.isEmpty() || unreadable > 0);
}

void tst_FileAdder::dropFoldersAndFiles()
{
    Rig rig;
    rig.fs.addFile("/more/d.txt");
    rig.fs.addFile("/loose/~$draft.doc");
    rig.host.settings.set("Extension", "txt");
    rig.host.list.append("/loose/~$draft.doc");
    rig.adder.dropPaths({"/docs/", "/loose/~$draft.doc", "/more", "/gone/missing.txt"});
    QCOMPARE(rig.host.texts(), (QStringList{"/loose/~$draft.doc", "/docs/readme", "/docs/a.txt",
                                            "/docs/b.doc", "/docs/sub/c.TXT", "/loose/~$draft.doc",
                                            "/more/d.txt", "/gone/missing.txt"}));
    QVERIFY(rig.host.activityChanges.isEmpty());
    QVERIFY(rig.host.prompts.messages.empty());

    // Names that could not be read back are said once, after what could be added.
    rig.adder.dropPaths({"/more"}, 2);
    QCOMPARE(rig.host.texts().last(), QStringLiteral("/more/d.txt"));
    QCOMPARE(rig.host.reports.reports.size(), 1);
    QVERIFY2(rig.host.reports.reports.front().contains("2 dropped files were left out"),
             qPrintable(rig.host.reports.reports.front()));
}

void tst_FileAdder::givenPaths_data()
{
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QString>("storedExtension"); // empty: none stored
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QString>("report"); // how the one report starts; empty: none
    QTest::newRow("one file, as it is given")
        << QStringList{"/docs//a.txt"} << QString() << QStringList{"/docs//a.txt"} << QString();
    QTest::newRow("several files, normalized as several picks are")
        << QStringList{"/docs//a.txt", "/docs/b.doc"} << QString()
        << QStringList{"/docs/a.txt", "/docs/b.doc"} << QString();
    QTest::newRow("a folder with no stored extension: every file but ~ names")
        << QStringList{"/docs"} << QString()
        << QStringList{"/docs/readme", "/docs/a.txt", "/docs/b.doc", "/docs/sub/c.TXT"}
        << QString();
    QTest::newRow("a folder with the stored extension, files around it in order")
        << QStringList{"/docs/b.doc", "/docs", "/docs/readme"} << "txt"
        << QStringList{"/docs/b.doc", "/docs/a.txt", "/docs/sub/c.TXT", "/docs/readme"}
        << QString();
    QTest::newRow("paths that name nothing are left out and said once")
        << QStringList{"/gone/x.txt", "/docs/a.txt", "/gone/y.txt"} << QString()
        << QStringList{"/docs/a.txt"}
        << "File not found: 2 of the given paths name nothing (the first: /gone/x.txt)";
    QTest::newRow("a name that was not valid UTF-8 is counted as such")
        << QStringList{"/docs/\uFFFD.txt", "/docs/a.txt"} << QString() << QStringList{"/docs/a.txt"}
        << "1 given file was left out: its name is not valid UTF-8";
}

// Paths given on the command line join the list as Add File(s) and Add All File(s) In Folder
// would add them.
void tst_FileAdder::givenPaths()
{
    QFETCH(QStringList, given);
    QFETCH(QString, storedExtension);
    QFETCH(QStringList, added);
    QFETCH(QString, report);
    Rig rig;
    if (!storedExtension.isEmpty())
        rig.host.settings.set("Extension", storedExtension);
    rig.adder.addGivenPaths(given);
    QCOMPARE(rig.host.texts(), added);
    QCOMPARE(rig.host.doing, run::Activity::Idle);
    QVERIFY(rig.host.prompts.messages.empty());
    // Nothing the user did not choose is stored.
    QCOMPARE(rig.host.settings.writes, QStringList());
    if (report.isEmpty()) {
        QCOMPARE(rig.host.reports.reports, QStringList());
        return;
    }
    QCOMPARE(rig.host.reports.reports.size(), 1);
    QVERIFY2(rig.host.reports.reports.front().contains(report),
             qPrintable(rig.host.reports.reports.front()));
}

void tst_FileAdder::leftOutSaidInOneMessage_data()
{
    QTest::addColumn<bool>("dropped"); // else chosen through "Add All File(s) In Folder"
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("message"); // empty: none
    const QString both = QStringLiteral(
        "2 folders could not be added:\r\r1 folder: the path is longer than the 4,096 bytes the "
        "system allows\r1 folder: permission denied, the folder may not be read");
    QTest::newRow("added from the button") << false << QStringList{"/tree"} << both;
    QTest::newRow("two folders dropped: one message for both")
        << true << QStringList{"/tree/locked", "/tree/deep"} << both;
    QTest::newRow("a normal folder: no message") << false << QStringList{"/docs"} << QString();
}

void tst_FileAdder::leftOutSaidInOneMessage()
{
    QFETCH(bool, dropped);
    QFETCH(QStringList, folders);
    QFETCH(QString, message);
    Rig rig;
    rig.fs.addFile("/tree/locked/secret.txt");
    rig.fs.failListing("/tree/locked", QStringLiteral("Permission denied"));
    QString deep = QStringLiteral("/tree/deep");
    while (deep.size() < 4100)
        deep += u'/' + QString(200, u'd');
    rig.fs.addFile(deep + QStringLiteral("/bottom.txt"));
    rig.fs.addFile(QStringLiteral("/tree/deep/top.txt"));
    if (dropped) {
        rig.adder.dropPaths(folders);
    } else {
        rig.host.prompts.inputAnswers.push_back(QStringLiteral("*"));
        rig.host.dialogs.nextFolder = folders.front();
        rig.adder.addFolder();
    }
    const QString kept = folders.front() == QLatin1String("/docs")
                             ? QStringLiteral("/docs/a.txt")
                             : QStringLiteral("/tree/deep/top.txt");
    QVERIFY(rig.host.texts().contains(kept));
    QVERIFY(rig.host.reports.reports.isEmpty());
    if (message.isEmpty()) {
        QVERIFY(rig.host.prompts.messages.empty());
        return;
    }
    QCOMPARE(rig.host.prompts.messages.size(), size_t(1));
    QCOMPARE(rig.host.prompts.messages.front().text, message);
    QCOMPARE(rig.host.prompts.messages.front().title, rig.host.applicationTitle());
    QCOMPARE(rig.host.prompts.messages.front().icon, platform::Icon::None);
    QCOMPARE(rig.host.doing, run::Activity::Idle);
}

QTEST_MAIN(tst_FileAdder)
#include "tst_fileadder.moc"
