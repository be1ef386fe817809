#include "support/DeepTree.h"
#include "support/FakeFileSystem.h"
#include "support/Fakes.h"

#include "engine/Steps.h"
#include "filelist/FolderScan.h"
#include "platform/ListModel.h"
#include "platform/QtFileSystem.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {

struct ScanResult {
    QStringList files;
    QStringList reports;
    int yields = 0;
    filelist::LeftOut leftOut;
};

ScanResult addTree(platform::FileSystem &fileSystem, const QString &folder,
                   const QStringList &patterns = {QStringLiteral("*.*")})
{
    fakes::FakeYield yield;
    fakes::RecordingReporter reporter;
    platform::ListModel list;
    filelist::FolderScan scan(fileSystem, yield, reporter);
    engine::Steps steps(reporter, "Form1", "PushButton1_Click");
    const filelist::LeftOut leftOut = scan.addFolderTree(folder, patterns, list, steps);
    return {list.texts(), reporter.reports, yield.count, leftOut};
}

QStringList subDirectories(platform::FileSystem &fileSystem, const QString &folder)
{
    fakes::FakeYield yield;
    fakes::RecordingReporter reporter;
    filelist::FolderScan scan(fileSystem, yield, reporter);
    QStringList folders{folder};
    scan.addSubFolders(folders, true);
    return folders;
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("line\r\n");
}

} // namespace

class tst_FolderScan : public QObject {
    Q_OBJECT

private slots:
    void matchesPattern_data();
    void matchesPattern();
    void hasUnsupportedChars_data();
    void hasUnsupportedChars();
    void extensionOnRealFolder_data();
    void extensionOnRealFolder();
    void breadthFirstOrder();
    void tildeNamesLeftOut();
    void hiddenFiles_data();
    void hiddenFiles();
    void folderTest_data();
    void folderTest();
    void chosenHiddenSystemFolderListsOnlyItsOwnFiles();
    void unlistableFolders_data();
    void unlistableFolders();
    void rootGivesSingleSeparators();
    void secondScanListsEverythingAgain();
    void unusableEntriesLeftOut();
    void pathLengthLimit_data();
    void pathLengthLimit();
    void treeDeeperThanThePlatformOpens();
    void linkLoopsEndAndLinksOutsideAreFollowed();
    void linksFollowedUnlessOnTheWayDown_data();
    void linksFollowedUnlessOnTheWayDown();
    void realFifoNeverBlocks();
    void largeTreeYieldsOften();
};

void tst_FolderScan::matchesPattern_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("star gives every name, even one without a dot") << "README"
                                                                   << "*.*" << true;
    QTest::newRow("capital TXT matches a small .txt") << "notes.txt"
                                                      << "*.TXT" << true;
    QTest::newRow("small txt matches a capital .TXT") << "NOTES.TXT"
                                                      << "*.txt" << true;
    QTest::newRow("txt misses .text") << "notes.text"
                                      << "*.txt" << false;
    QTest::newRow("txt misses a name that only ends in txt") << "notestxt"
                                                             << "*.txt" << false;
    QTest::newRow("doc misses docx") << "letter.docx"
                                     << "*.doc" << false;
    QTest::newRow("leading dot misses an ordinary name") << "notes.txt"
                                                         << "*..txt" << false;
    QTest::newRow("leading dot matches two dots in a row") << "notes..txt"
                                                           << "*..txt" << true;
    QTest::newRow("last dot decides after several") << "report.final.txt"
                                                    << "*.txt" << true;
    QTest::newRow("question mark is one character") << "a.t1t"
                                                    << "*.t?t" << true;
    QTest::newRow("question mark needs a character") << "a.tt"
                                                     << "*.t?t" << false;
    QTest::newRow("star inside an extension") << "data.csv2021"
                                              << "*.csv*" << true;
    QTest::newRow("accented letters fold too") << "CAFÉ.TXT"
                                               << "*.txt" << true;
    QTest::newRow("brackets are plain characters") << "a[b].txt"
                                                   << "*[b].*" << true;
    QTest::newRow("brackets are no character class") << "ab.txt"
                                                     << "a[b].*" << false;
    QTest::newRow("plus and parentheses are plain characters") << "x(1)+.txt"
                                                               << "x(1)+.*" << true;
    QTest::newRow("a dot is no wildcard") << "notesxtxt"
                                          << "notes.txt" << false;
}

void tst_FolderScan::matchesPattern()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(filelist::FolderScan::matchesPattern(name, pattern), matches);
}

void tst_FolderScan::hasUnsupportedChars_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("unsupported");
    QTest::newRow("plain letters") << "Reports 2021" << false;
    QTest::newRow("accented Western letters") << "Café Müller ÿ" << false;
    QTest::newRow("tab is a control character") << "a\tb" << true;
    QTest::newRow("DEL") << QString(QChar(127)) << true;
    QTest::newRow("euro sign sits at byte 128") << "€uro" << true;
    QTest::newRow("curly quote sits at byte 147") << "“quoted”" << true;
    QTest::newRow("no byte in the code page") << "日本" << true;
    QTest::newRow("question mark") << "what?" << true;
    QTest::newRow("non-breaking space at 160 is fine") << "a\u00A0b" << false;
}

void tst_FolderScan::hasUnsupportedChars()
{
    QFETCH(QString, name);
    QFETCH(bool, unsupported);
    QCOMPARE(filelist::FolderScan::hasUnsupportedChars(name), unsupported);
}

void tst_FolderScan::extensionOnRealFolder_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("star lists every file")
        << "*" << QStringList{"a.txt",    "B.TXT",      "c.text", "d..txt",
                              "dpkg.log", "dpkg.log.1", "README", "syslog.2.gz"};
    QTest::newRow("TXT in capitals") << "TXT" << QStringList{"a.txt", "B.TXT", "d..txt"};
    QTest::newRow("leading dot matches almost nothing") << ".txt" << QStringList{"d..txt"};
    QTest::newRow("no match at all") << "pdf" << QStringList{};
    QTest::newRow("two extensions parted by a semicolon")
        << "txt;text" << QStringList{"a.txt", "B.TXT", "c.text", "d..txt"};
    QTest::newRow("extensions parted by spaces and semicolons")
        << " text ;; log " << QStringList{"c.text", "dpkg.log"};
    QTest::newRow("a pattern keeps rotated logs")
        << "*.log*" << QStringList{"dpkg.log", "dpkg.log.1"};
    QTest::newRow("two patterns keep every log")
        << "*.log*;syslog.*" << QStringList{"dpkg.log", "dpkg.log.1", "syslog.2.gz"};
    QTest::newRow("a pattern of a name's start") << "syslog.*" << QStringList{"syslog.2.gz"};
    QTest::newRow("a wildcard with no dot is still an extension")
        << "t?t" << QStringList{"a.txt", "B.TXT", "d..txt"};
    QTest::newRow("a file matched twice is listed once")
        << "txt *.t* TXT" << QStringList{"a.txt", "B.TXT", "c.text", "d..txt"};
    QTest::newRow("an extension with a dot inside stays one")
        << "2.gz" << QStringList{"syslog.2.gz"};
    QTest::newRow("only separators match nothing") << " ; " << QStringList{};
    QTest::newRow("tabs and line ends part entries too")
        << "\ttxt\r\nlog\v;\f" << QStringList{"a.txt", "B.TXT", "d..txt", "dpkg.log"};
}

void tst_FolderScan::extensionOnRealFolder()
{
    QFETCH(QString, extension);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *name :
         {"README", "d..txt", "c.text", "B.TXT", "a.txt", "syslog.2.gz", "dpkg.log", "dpkg.log.1"})
        touch(dir.filePath(QLatin1String(name)));
    platform::QtFileSystem fileSystem;
    QStringList want;
    for (const QString &name : expected)
        want.append(dir.path() + u'/' + name);
    QCOMPARE(addTree(fileSystem, dir.path(), filelist::FolderScan::namePatterns(extension)).files,
             want);
}

void tst_FolderScan::breadthFirstOrder()
{
    fakes::FakeFileSystem fs;
    fs.addFile("/data/top.txt");
    fs.addFile("/data/a/a.txt");
    fs.addFile("/data/a/a1/a1.txt");
    fs.addFile("/data/a/a1/deep/deep.txt");
    fs.addFile("/data/b/b.txt");
    fs.addFile("/data/b/b1/b1.txt");
    fs.addFile("/data/zz.txt");
    QCOMPARE(subDirectories(fs, "/data/"),
             (QStringList{"/data/", "/data/a/", "/data/b/", "/data/a/a1/", "/data/b/b1/",
                          "/data/a/a1/deep/"}));
    QCOMPARE(addTree(fs, "/data").files,
             (QStringList{"/data/top.txt", "/data/zz.txt", "/data/a/a.txt", "/data/b/b.txt",
                          "/data/a/a1/a1.txt", "/data/b/b1/b1.txt", "/data/a/a1/deep/deep.txt"}));
}

void tst_FolderScan::tildeNamesLeftOut()
{
    fakes::FakeFileSystem fs;
    fs.addFile("/d/~$budget.xlsx");
    fs.addFile("/d/~lock.txt");
    fs.addFile("/d/budget~1.txt");
    fs.addFile("/d/sub/~$letter.doc");
    fs.addFile("/d/sub/letter.doc");
    QCOMPARE(addTree(fs, "/d").files, (QStringList{"/d/budget~1.txt", "/d/sub/letter.doc"}));
}

void tst_FolderScan::hiddenFiles_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("viaLink");
    QTest::addColumn<bool>("added");
    QTest::newRow("hidden and archive is left out") << false << false << false;
    QTest::newRow("hidden read-only is kept") << true << false << true;
    QTest::newRow("hidden link to a file is kept") << false << true << true;
}

void tst_FolderScan::hiddenFiles()
{
    QFETCH(bool, readOnly);
    QFETCH(bool, viaLink);
    QFETCH(bool, added);
    fakes::FakeFileSystem fs;
    fs.addFile("/d/visible.txt");
    if (viaLink) {
        fs.addFile("/elsewhere/target.txt");
        fs.addLink("/d/.hidden.txt", "/elsewhere/target.txt");
    } else {
        fs.addFile("/d/.hidden.txt", readOnly);
    }
    const QStringList files = addTree(fs, "/d").files;
    QCOMPARE(files.contains("/d/.hidden.txt"), added);
    QVERIFY(files.contains("/d/visible.txt"));
}

void tst_FolderScan::folderTest_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("system");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("walked");
    QTest::newRow("hidden system folder is skipped") << ".Trash-0" << true << false << false;
    QTest::newRow("hidden system read-only folder is walked") << ".Trash-1" << true << true << true;
    QTest::newRow("system folder that is not hidden is walked")
        << "lost+found" << true << false << true;
    QTest::newRow("hidden folder that is not system is walked")
        << ".config" << false << false << true;
}

void tst_FolderScan::folderTest()
{
    QFETCH(QString, name);
    QFETCH(bool, system);
    QFETCH(bool, readOnly);
    QFETCH(bool, walked);
    fakes::FakeFileSystem fs;
    fs.addFile("/d/keep.txt");
    fs.addFolder("/d/" + name, system, readOnly);
    fs.addFile("/d/" + name + "/inside.txt");
    fs.addFile("/d/" + name + "/below/deeper.txt");
    const QStringList folders = subDirectories(fs, "/d/");
    QCOMPARE(folders.contains("/d/" + name + "/"), walked);
    QCOMPARE(folders.contains("/d/" + name + "/below/"), walked);
    const QStringList files = addTree(fs, "/d").files;
    QCOMPARE(files.contains("/d/" + name + "/inside.txt"), walked);
    QVERIFY(files.contains("/d/keep.txt"));
}

void tst_FolderScan::chosenHiddenSystemFolderListsOnlyItsOwnFiles()
{
    fakes::FakeFileSystem fs;
    fs.addFolder("/d/.Trash-0", true);
    fs.addFile("/d/.Trash-0/own.txt");
    fs.addFile("/d/.Trash-0/files/gone.txt");
    QCOMPARE(addTree(fs, "/d/.Trash-0").files, QStringList{"/d/.Trash-0/own.txt"});
}

void tst_FolderScan::unlistableFolders_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<int>("denied"); // counted for the message of what was left out
    QTest::newRow("permission denied: dropped, and counted") << "Permission denied" << false << 1;
    QTest::newRow("a folder gone meanwhile is dropped silently") << "Path not found" << false << 0;
    QTest::newRow("any other failure is reported") << "Input/output error" << true << 0;
}

void tst_FolderScan::unlistableFolders()
{
    QFETCH(QString, failure);
    QFETCH(bool, reported);
    QFETCH(int, denied);
    fakes::FakeFileSystem fs;
    fs.addFile("/d/first.txt");
    fs.addFile("/d/locked/secret.txt");
    fs.addFile("/d/locked/inner/more.txt");
    fs.addFile("/d/open/fine.txt");
    fs.failListing("/d/locked", failure);
    const QStringList folders = subDirectories(fs, "/d/");
    QCOMPARE(folders.contains("/d/locked/"), reported);
    QVERIFY(folders.contains("/d/open/"));
    const ScanResult result = addTree(fs, "/d");
    QCOMPARE(result.files, (QStringList{"/d/first.txt", "/d/open/fine.txt"}));
    if (reported) {
        QCOMPARE(result.reports.size(), 1);
        QCOMPARE(result.reports.first(),
                 "Quillon2021/08/31.AddFolder.GetSubDirectories2016|118|" + failure);
    } else {
        QVERIFY(result.reports.isEmpty());
    }
    QCOMPARE(result.leftOut.deniedFolders, denied);
    QCOMPARE(result.leftOut.longFolders + result.leftOut.longFiles, 0);
}

void tst_FolderScan::rootGivesSingleSeparators()
{
    fakes::FakeFileSystem fs;
    fs.addFile("/top.txt");
    fs.addFile("/etc/conf.txt");
    fs.addFile("/etc/deep/more.txt");
    QCOMPARE(addTree(fs, "/").files,
             (QStringList{"/top.txt", "/etc/conf.txt", "/etc/deep/more.txt"}));
}

void tst_FolderScan::secondScanListsEverythingAgain()
{
    fakes::FakeFileSystem fs;
    fs.addFile("/d/a.txt");
    fs.addFile("/d/s/b.txt");
    fakes::FakeYield yield;
    fakes::RecordingReporter reporter;
    platform::ListModel list;
    filelist::FolderScan scan(fs, yield, reporter);
    engine::Steps steps(reporter, "Form1", "PushButton1_Click");
    scan.addFolderTree("/d", {"*.*"}, list, steps);
    scan.addFolderTree("/d", {"*.*"}, list, steps);
    QCOMPARE(list.texts(), (QStringList{"/d/a.txt", "/d/s/b.txt", "/d/a.txt", "/d/s/b.txt"}));
}

void tst_FolderScan::unusableEntriesLeftOut()
{
    fakes::FakeFileSystem fs;
    fs.addFile("/d/real.txt");
    fs.addFifo("/d/pipe.txt");
    fs.addLink("/d/dangling.txt", "/nowhere/x.txt");
    fs.addFile("/d/sub/inner.txt");
    QCOMPARE(addTree(fs, "/d").files, (QStringList{"/d/real.txt", "/d/sub/inner.txt"}));
}

void tst_FolderScan::pathLengthLimit_data()
{
    // A folder's path (ending in its separator) and the file in it, as lengths in bytes of
    // the folder name below "/r/"; whether the file is listed; what is counted left out.
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<int>("longFolders");
    QTest::addColumn<int>("longFiles");
    const auto chain = [](int bytes, char16_t c = u'n') {
        // Names of 200 characters, as a file system allows, joined to the length asked.
        QString path;
        while (path.size() < bytes)
            path += QString(std::min(200, int(bytes - path.size())), QChar(c)) + u'/';
        path.chop(1);
        return path;
    };
    QTest::newRow("folder 600 characters deep, once left out, is walked")
        << chain(600) << "a.txt" << true << 0 << 0;
    QTest::newRow("file path of 4,095 bytes is listed")
        << chain(4000) << QString(4095 - 3 - 4000 - 1, u'f') << true << 0 << 0;
    QTest::newRow("file path of 4,096 bytes is left out and counted")
        << chain(4000) << QString(4096 - 3 - 4000 - 1, u'f') << false << 0 << 1;
    QTest::newRow("folder path of 4,096 bytes with its separator is left out and counted")
        << chain(4096 - 3 - 1) << "a.txt" << false << 1 << 0;
    QTest::newRow("two-byte letters count twice")
        << chain(2000, u'\u00e9') + u'/' + chain(100) << "a.txt" << false << 1 << 0;
    // 1,388 characters: too few to be too long as two bytes each, but three bytes each are.
    QTest::newRow("three-byte letters: a file path of 4,095 bytes is listed")
        << chain(1360, u'\u65e5') << QString(23, u'f') << true << 0 << 0;
    QTest::newRow("three-byte letters: a file path of 4,096 bytes is left out")
        << chain(1360, u'\u65e5') << QString(24, u'f') << false << 0 << 1;
}

void tst_FolderScan::pathLengthLimit()
{
    QFETCH(QString, folderName);
    QFETCH(QString, fileName);
    QFETCH(bool, listed);
    QFETCH(int, longFolders);
    QFETCH(int, longFiles);
    const QString file = "/r/" + folderName + u'/' + fileName;
    fakes::FakeFileSystem fs;
    fs.addFile("/r/top.txt");
    fs.addFile(file);
    const ScanResult result = addTree(fs, "/r");
    QCOMPARE(result.files.contains(file), listed);
    QVERIFY(result.files.contains("/r/top.txt"));
    QCOMPARE(result.leftOut.longFolders, longFolders);
    QCOMPARE(result.leftOut.longFiles, longFiles);
    QVERIFY(result.reports.isEmpty());
}

void tst_FolderScan::treeDeeperThanThePlatformOpens()
{
    // A real tree 4,400 bytes deep: every file the system can open by its path is listed,
    // and the deepest folder, which it cannot, is counted.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const fakes::DeepTree tree(dir.path(), 22);
    QVERIFY(tree.made());
    for (const auto looks :
         {platform::QtFileSystem::Looks::Fresh, platform::QtFileSystem::Looks::Remembered}) {
        platform::QtFileSystem fileSystem(looks);
        const ScanResult result = addTree(fileSystem, dir.path());
        QCOMPARE(result.files, tree.reachableFiles());
        QCOMPARE(result.leftOut.longFolders + result.leftOut.longFiles, 1);
        QVERIFY(result.reports.isEmpty());
    }
}

void tst_FolderScan::linkLoopsEndAndLinksOutsideAreFollowed()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString top = dir.filePath("top");
    QVERIFY(QDir().mkpath(top + "/sub"));
    QVERIFY(QDir().mkpath(dir.filePath("outside")));
    touch(top + "/f.txt");
    touch(top + "/sub/g.txt");
    touch(dir.filePath("outside/h.txt"));
    // Two links back to an ancestor would double the walk at every level if followed.
    QVERIFY(QFile::link(top, top + "/sub/back1"));
    QVERIFY(QFile::link(top, top + "/sub/back2"));
    QVERIFY(QFile::link(".", top + "/self"));
    QVERIFY(QFile::link(dir.filePath("outside"), top + "/sub/ext"));
    for (const auto looks :
         {platform::QtFileSystem::Looks::Fresh, platform::QtFileSystem::Looks::Remembered}) {
        platform::QtFileSystem fileSystem(looks);
        QElapsedTimer timer;
        timer.start();
        const QStringList files = addTree(fileSystem, top).files;
        QVERIFY(timer.elapsed() < 10000);
        QCOMPARE(files, (QStringList{top + "/f.txt", top + "/sub/g.txt", top + "/sub/ext/h.txt"}));
    }
}

void tst_FolderScan::linksFollowedUnlessOnTheWayDown_data()
{
    // Links to make, as "link -> target" relative to the chosen folder; the files listed,
    // relative to it too. Every folder holds one file named after it.
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("link to a sibling, named after it")
        << QStringList{"zlink -> real"}
        << QStringList{"top.txt", "c/c.txt", "real/real.txt", "zlink/real.txt"};
    QTest::newRow("link to a sibling, named before it")
        << QStringList{"alink -> real"}
        << QStringList{"top.txt", "c/c.txt", "alink/real.txt", "real/real.txt"};
    QTest::newRow("link to the chosen folder ends there")
        << QStringList{"c/grand -> .."} << QStringList{"top.txt", "c/c.txt", "real/real.txt"};
    QTest::newRow("link above the chosen folder ends where it meets it again")
        << QStringList{"c/grand -> ../.."} << QStringList{"top.txt", "c/c.txt", "real/real.txt"};
    QTest::newRow("links to each other's folders: each followed once")
        << QStringList{"real/toc -> ../c", "c/toreal -> ../real"}
        << QStringList{"top.txt", "c/c.txt", "real/real.txt", "c/toreal/real.txt",
                       "real/toc/c.txt"};
}

void tst_FolderScan::linksFollowedUnlessOnTheWayDown()
{
    // Only a folder already on the way down from the chosen folder ends the walk; whatever
    // the names, a link to a folder met elsewhere is followed.
    QFETCH(QStringList, links);
    QFETCH(QStringList, listed);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString top = dir.filePath("top");
    QVERIFY(QDir().mkpath(top + "/real"));
    QVERIFY(QDir().mkpath(top + "/c"));
    touch(top + "/top.txt");
    touch(top + "/real/real.txt");
    touch(top + "/c/c.txt");
    for (const QString &link : links) {
        const QStringList parts = link.split(" -> ");
        QCOMPARE(::symlink(QFile::encodeName(parts[1]).constData(),
                           QFile::encodeName(top + "/" + parts[0]).constData()),
                 0);
    }
    listed.sort();
    // The command line's file system, which remembers its looks, walks it alike.
    for (const auto looks :
         {platform::QtFileSystem::Looks::Fresh, platform::QtFileSystem::Looks::Remembered}) {
        platform::QtFileSystem fileSystem(looks);
        QStringList files = addTree(fileSystem, top).files;
        for (QString &file : files)
            file = QDir(top).relativeFilePath(file);
        files.sort();
        QCOMPARE(files, listed);
    }
}

void tst_FolderScan::realFifoNeverBlocks()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    touch(dir.filePath("plain.txt"));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("pipe.txt")).constData(), 0644), 0);
    QVERIFY(QDir().mkpath(dir.filePath("sub")));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("sub/pipe2")).constData(), 0644), 0);
    platform::QtFileSystem fileSystem;
    QCOMPARE(addTree(fileSystem, dir.path()).files, QStringList{dir.filePath("plain.txt")});
}

void tst_FolderScan::largeTreeYieldsOften()
{
    // 100,000 files in 5,000 folders: the walk must hand the event loop a turn often enough
    // that the window never freezes for long.
    fakes::FakeFileSystem fs;
    for (int f = 0; f < 5000; ++f) {
        const QString folder = QStringLiteral("/big/g%1/f%2").arg(f / 100).arg(f);
        for (int n = 0; n < 20; ++n)
            fs.addFile(folder + QStringLiteral("/file%1.txt").arg(n));
    }
    fakes::FakeYield yield;
    fakes::RecordingReporter reporter;
    platform::ListModel list;
    filelist::FolderScan scan(fs, yield, reporter);
    engine::Steps steps(reporter, "Form1", "PushButton1_Click");
    // Counted in work, not in time: no more than one file is added between two turns.
    int lastCount = 0;
    int mostAddedBetweenTurns = 0;
    yield.onYield = [&](int) {
        mostAddedBetweenTurns = std::max(mostAddedBetweenTurns, list.count() - lastCount);
        lastCount = list.count();
    };
    scan.addFolderTree("/big", {"*.txt"}, list, steps);
    QCOMPARE(list.count(), 100000);
    QVERIFY(yield.count >= 100000 + 5000);
    QVERIFY2(mostAddedBetweenTurns <= 1, qPrintable(QString::number(mostAddedBetweenTurns)));
}

QTEST_MAIN(tst_FolderScan)
#include "tst_folderscan.moc"
