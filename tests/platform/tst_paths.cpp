#include "platform/Paths.h"

#include <QTest>

using platform::PathStyle;

class tst_Paths : public QObject {
    Q_OBJECT

private slots:
    void normalizePath_data();
    void normalizePath();
    void fileNameFromPath_data();
    void fileNameFromPath();
};

void tst_Paths::normalizePath_data()
{
    QTest::addColumn<PathStyle>("style");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("normalized");

    QTest::newRow("posix: clean path unchanged") << PathStyle::Posix << "/home/ann/a.txt"
                                                 << "/home/ann/a.txt";
    QTest::newRow("posix: doubled separator") << PathStyle::Posix << "/home//a.txt"
                                              << "/home/a.txt";
    QTest::newRow("posix: every run collapses") << PathStyle::Posix << "///srv////data///a.txt"
                                                << "/srv/data/a.txt";
    QTest::newRow("posix: root plus separator") << PathStyle::Posix << "//"
                                                << "/";
    QTest::newRow("posix: relative path") << PathStyle::Posix << "a//b"
                                          << "a/b";
    QTest::newRow("posix: backslash is an ordinary character")
        << PathStyle::Posix << "/d/a\\\\b.txt"
        << "/d/a\\\\b.txt";
    QTest::newRow("posix: empty") << PathStyle::Posix << ""
                                  << "";

    QTest::newRow("windows: clean path unchanged") << PathStyle::Windows << "C:\\Data\\a.txt"
                                                   << "C:\\Data\\a.txt";
    QTest::newRow("windows: doubled after the drive colon") << PathStyle::Windows << "C:\\\\a.txt"
                                                            << "C:\\a.txt";
    QTest::newRow("windows: three in a row become two")
        << PathStyle::Windows << "C:\\Data\\\\\\a.txt"
        << "C:\\Data\\\\a.txt";
    QTest::newRow("windows: four in a row become two")
        << PathStyle::Windows << "C:\\Data\\\\\\\\a.txt"
        << "C:\\Data\\\\a.txt";
    QTest::newRow("windows: network path keeps two")
        << PathStyle::Windows << "\\\\server\\share\\\\a.txt"
        << "\\\\server\\share\\a.txt";
    QTest::newRow("windows: four leading shrink to two")
        << PathStyle::Windows << "\\\\\\\\server\\share"
        << "\\\\server\\share";
    QTest::newRow("windows: one leading gains a second") << PathStyle::Windows << "\\Data\\a.txt"
                                                         << "\\\\Data\\a.txt";
    QTest::newRow("windows: only backslashes") << PathStyle::Windows << "\\\\\\"
                                               << "\\\\";
    QTest::newRow("windows: forward slashes untouched") << PathStyle::Windows << "C://a.txt"
                                                        << "C://a.txt";
}

void tst_Paths::normalizePath()
{
    QFETCH(PathStyle, style);
    QFETCH(QString, path);
    QFETCH(QString, normalized);
    QCOMPARE(platform::normalizePath(path, style), normalized);
}

void tst_Paths::fileNameFromPath_data()
{
    QTest::addColumn<PathStyle>("style");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("posix: name after the last separator")
        << PathStyle::Posix << "/home/ann/notes.txt"
        << "notes.txt";
    QTest::newRow("posix: no separator gives the whole path") << PathStyle::Posix << "notes.txt"
                                                              << "notes.txt";
    QTest::newRow("posix: trailing separator gives nothing") << PathStyle::Posix << "/home/"
                                                             << "";
    QTest::newRow("posix: backslash is part of the name") << PathStyle::Posix << "/d/a\\b.txt"
                                                          << "a\\b.txt";
    QTest::newRow("windows: name after the last backslash")
        << PathStyle::Windows << "C:\\Data\\notes.txt"
        << "notes.txt";
    QTest::newRow("windows: drive-relative without backslash")
        << PathStyle::Windows << "C:notes.txt"
        << "C:notes.txt";
    QTest::newRow("windows: slash is part of the name") << PathStyle::Windows << "C:\\a/b.txt"
                                                        << "a/b.txt";
}

void tst_Paths::fileNameFromPath()
{
    QFETCH(PathStyle, style);
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(platform::fileNameFromPath(path, style), name);
}

QTEST_MAIN(tst_Paths)
#include "tst_paths.moc"
