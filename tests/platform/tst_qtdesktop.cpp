// The real desktop seam: starting programs without a shell, and the default application.
#include "engine/Steps.h"
#include "platform/QtPlatform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeScript(const QString &path, const QByteArray &body)
{
    QFile script(path);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n" + body);
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class TestQtDesktop : public QObject {
    Q_OBJECT
private slots:
    void startDetached_data();
    void startDetached();
    void defaultApplication_data();
    void defaultApplication();
};

void TestQtDesktop::startDetached_data()
{
    QTest::addColumn<QString>("program"); // DIR is a scratch folder
    QTest::addColumn<QString>("failure");
    QTest::newRow("a program that is on no PATH") << "nosuch-editor-31337"
                                                  << "File not found: nosuch-editor-31337";
    QTest::newRow("a path to nothing") << "DIR/gone/ed"
                                       << "File not found: DIR/gone/ed";
    QTest::newRow("a file that may not be run") << "DIR/notes.txt"
                                                << "Permission denied: DIR/notes.txt";
    QTest::newRow("a folder") << "DIR"
                              << "Permission denied: DIR";
    QTest::newRow("a script, its arguments as given") << "DIR/record"
                                                      << "";
}

void TestQtDesktop::startDetached()
{
    QFETCH(QString, program);
    QFETCH(QString, failure);
    QTemporaryDir dir;
    program.replace("DIR", dir.path());
    failure.replace("DIR", dir.path());
    QFile notes(dir.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
    writeScript(dir.filePath("record"),
                "printf '%s\\n' \"$@\" > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"\n");
    const QString out = dir.filePath("args");
    // Blanks, quotes, a semicolon and $: no shell ever reads them.
    const QStringList arguments{out, "+4294967301", "my \"odd\"; $HOME file.txt"};
    QString thrown;
    try {
        platform::QtDesktop().startDetached(program, arguments);
    } catch (const engine::Failure &f) {
        thrown = QString::fromStdString(f.what());
    }
    QCOMPARE(thrown, failure);
    if (!failure.isEmpty())
        return;
    QTRY_VERIFY(QFile::exists(out));
    QFile recorded(out);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(recorded.readAll()), arguments.join('\n') + '\n');
}

void TestQtDesktop::defaultApplication_data()
{
    QTest::addColumn<QByteArray>("xdgMime"); // the script's body; none when empty
    QTest::addColumn<QString>("expected");
    QTest::newRow("the first line, trimmed")
        << QByteArray(
               "[ \"$*\" = 'query default text/plain' ] && printf ' gedit.desktop \\nmore\\n'")
        << "gedit.desktop";
    QTest::newRow("nothing set") << QByteArray("exit 0") << "";
    QTest::newRow("no xdg-mime") << QByteArray() << "";
}

void TestQtDesktop::defaultApplication()
{
    QFETCH(QByteArray, xdgMime);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    if (!xdgMime.isEmpty())
        writeScript(dir.filePath("xdg-mime"), xdgMime + "\n");
    const QByteArray path = qgetenv("PATH");
    // The scripts need only the shell's own commands.
    qputenv("PATH", QFile::encodeName(dir.path()));
    const QString found = platform::QtDesktop().defaultApplication("text/plain");
    qputenv("PATH", path);
    QCOMPARE(found, expected);
}

QTEST_GUILESS_MAIN(TestQtDesktop)
#include "tst_qtdesktop.moc"
