#include "platform/QtFileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// The attributes the folder scan and the file list read from the real file system.
class TestQtFileSystem : public QObject {
    Q_OBJECT

private slots:
    void attributes_data();
    void attributes();
    void rememberedLooksAnswerFromTheListing_data();
    void rememberedLooksAnswerFromTheListing();
};

void TestQtFileSystem::attributes_data()
{
    QTest::addColumn<QString>("path"); // made under a temporary folder; a trailing / a folder
    QTest::addColumn<QString>("link"); // made a symbolic link to this, when set
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("system");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("archive");
    QTest::addColumn<bool>("isLink");
    QTest::addColumn<bool>("readOnly"); // the path made read-only (not seen as such by root)
    QTest::newRow("plain file") << "notes.txt"
                                << "" << false << false << false << true << false << false;
    QTest::newRow("dot file is hidden") << ".profile"
                                        << "" << true << false << false << true << false << false;
    QTest::newRow("file inside a hidden folder is not")
        << ".cache/a.txt"
        << "" << false << false << false << true << false << false;
    QTest::newRow("hidden folder") << ".config/"
                                   << "" << true << false << true << false << false << false;
    QTest::newRow("lost+found is the system's")
        << "lost+found/"
        << "" << false << true << true << false << false << false;
    QTest::newRow("trash folder is hidden and the system's")
        << ".Trash-1000/"
        << "" << true << true << true << false << false << false;
    QTest::newRow("link to a file")
        << "shortcut.txt"
        << "notes.txt" << false << false << false << true << true << false;
    QTest::newRow("read-only file") << "kept.txt"
                                    << "" << false << false << false << true << false << true;
    QTest::newRow("read-only dot file") << ".kept"
                                        << "" << true << false << false << true << false << true;
    QTest::newRow("read-only hidden folder")
        << ".vault/"
        << "" << true << false << true << false << false << true;
}

void TestQtFileSystem::attributes()
{
    QFETCH(QString, path);
    QFETCH(QString, link);
    QFETCH(bool, hidden);
    QFETCH(bool, system);
    QFETCH(bool, folder);
    QFETCH(bool, archive);
    QFETCH(bool, isLink);
    QFETCH(bool, readOnly);
    QTemporaryDir dir;
    const QString full = dir.filePath(path);
    if (!link.isEmpty()) {
        QFile target(dir.filePath(link));
        QVERIFY(target.open(QIODevice::WriteOnly));
        target.close();
        QVERIFY(QFile::link(dir.filePath(link), full));
    } else if (path.endsWith(QLatin1Char('/'))) {
        QVERIFY(QDir().mkpath(full));
    } else {
        QVERIFY(QDir().mkpath(QFileInfo(full).path()));
        QFile file(full);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString asListed = path.endsWith(QLatin1Char('/')) ? full.chopped(1) : full;
    if (readOnly)
        QVERIFY(QFile::setPermissions(asListed, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    readOnly = readOnly && ::geteuid() != 0;
    // Remembered looks take what the folder's listing told, and must tell the same.
    for (const auto looks :
         {platform::QtFileSystem::Looks::Fresh, platform::QtFileSystem::Looks::Remembered}) {
        platform::QtFileSystem fileSystem(looks);
        const QString folderOf = QFileInfo(asListed).path() + u'/';
        fileSystem.entries(folderOf, platform::EntryKind::Folders);
        fileSystem.entries(folderOf, platform::EntryKind::Files);
        const platform::FileAttributes a = fileSystem.attributes(asListed);
        QVERIFY(a.exists);
        QCOMPARE(a.hidden, hidden);
        QCOMPARE(a.system, system);
        QCOMPARE(a.folder, folder);
        QCOMPARE(a.archive, archive);
        QCOMPARE(a.link, isLink);
        QCOMPARE(a.readOnly, readOnly);
        QCOMPARE(fileSystem.isFolder(asListed), folder);
        QCOMPARE(fileSystem.isUsableFile(asListed), archive);
        QCOMPARE(fileSystem.resolvedPath(asListed), QFileInfo(asListed).canonicalFilePath());
    }
}

void TestQtFileSystem::rememberedLooksAnswerFromTheListing_data()
{
    QTest::addColumn<QStringList>("listed"); // made in a folder, then listed; a trailing / a folder
    QTest::addColumn<QStringList>("asked");  // asked after every listed entry is gone, in order
    QTest::addColumn<QString>("madeLater");  // made after the listing: found by a real look
    QTest::newRow("case twins, asked against their order")
        << QStringList{"b.txt", "B.txt", "a.TXT", "A.txt"}
        << QStringList{"b.txt", "A.txt", "B.txt", "a.TXT"} << "C.txt";
    QTest::newRow("names beyond ASCII")
        << QStringList{"\u00e9t\u00e9.txt", "\u00c9t\u00e9.txt", "ete.txt", "\u65e5.txt"}
        << QStringList{"\u65e5.txt", "\u00c9t\u00e9.txt", "ete.txt", "\u00e9t\u00e9.txt"}
        << "\u00e9.txt";
    QTest::newRow("runs of separators and a trailing one")
        << QStringList{"sub/", "x.txt"} << QStringList{"//sub//", "sub/", "/x.txt"} << "y/";
}

void TestQtFileSystem::rememberedLooksAnswerFromTheListing()
{
    QFETCH(QStringList, listed);
    QFETCH(QStringList, asked);
    QFETCH(QString, madeLater);
    QTemporaryDir dir;
    const auto make = [&](const QString &name) {
        if (name.endsWith(u'/'))
            return QDir(dir.path()).mkdir(name);
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly);
    };
    for (const QString &name : listed)
        QVERIFY(make(name));
    platform::QtFileSystem fileSystem(platform::QtFileSystem::Looks::Remembered);
    fileSystem.entries(dir.path() + u'/', platform::EntryKind::Folders);
    fileSystem.entries(dir.path() + u'/', platform::EntryKind::Files);
    for (const QString &name : listed)
        QVERIFY(QDir(dir.path()).remove(name) || QDir(dir.path()).rmdir(name));
    QVERIFY(make(madeLater));
    for (const QString &path : asked + QStringList{madeLater}) {
        const QString full = dir.path() + u'/' + path;
        const bool folder = path.endsWith(u'/');
        QVERIFY2(fileSystem.fileExists(full), qPrintable(path));
        QCOMPARE(fileSystem.isFolder(full), folder);
        QCOMPARE(fileSystem.isUsableFile(full), !folder);
    }
}

QTEST_APPLESS_MAIN(TestQtFileSystem)
#include "tst_qtfilesystem.moc"
