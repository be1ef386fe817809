// The real desktop seam starting programs: without a shell, and saying why one cannot start.
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
    script.write("#!/bin/sh\n" + body + "\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class TestQtDesktop : public QObject {
    Q_OBJECT
private slots:
    void startDetached_data();
    void startDetached();
};

void TestQtDesktop::startDetached_data()
{
    QTest::addColumn<QString>("program"); // D is a scratch folder
    QTest::addColumn<QString>("failure");
    QTest::newRow("on no PATH") << "nosuch-ed-31337"
                                << "File not found: nosuch-ed-31337";
    QTest::newRow("a path to nothing") << "D/gone/ed"
                                       << "File not found: D/gone/ed";
    QTest::newRow("a file that may not be run") << "D/record.txt"
                                                << "Permission denied: D/record.txt";
    QTest::newRow("a folder") << "D"
                              << "Permission denied: D";
    QTest::newRow("a script: its arguments as given, no shell") << "D/record"
                                                                << "";
}

void TestQtDesktop::startDetached()
{
    QFETCH(QString, program);
    QFETCH(QString, failure);
    QTemporaryDir dir;
    program.replace("D", dir.path());
    writeScript(dir.filePath("record"),
                "printf '%s\\n' \"$@\" > \"$1.txt\" && mv \"$1.txt\" \"$1\"");
    QFile plain(dir.filePath("record.txt"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    const QStringList arguments{dir.filePath("args"), "+4294967301", "a \"b\"; $HOME c.txt"};
    QString thrown;
    try {
        platform::QtDesktop().startDetached(program, arguments);
    } catch (const engine::Failure &f) {
        thrown = QString::fromStdString(f.what()).replace(dir.path(), "D");
    }
    QCOMPARE(thrown, failure);
    if (failure.isEmpty()) {
        QTRY_VERIFY(QFile::exists(arguments[0]));
        QFile recorded(arguments[0]);
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(recorded.readAll()), arguments.join('\n') + '\n');
    }
}

QTEST_GUILESS_MAIN(TestQtDesktop)
#include "tst_qtdesktop.moc"
