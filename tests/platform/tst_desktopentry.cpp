// Desktop entries found in the XDG applications folders.
#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

namespace {

void writeEntry(const QString &path, const QString &exec)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(("[Desktop Entry]\nType=Application\nName=Editor\nExec=" + exec + "\n").toUtf8());
}

} // namespace

class TestDesktopEntry : public QObject {
    Q_OBJECT
private slots:
    void init();
    void find_data();
    void find();
    void allListsEachIdOnce();

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_system;
};

void TestDesktopEntry::init()
{
    // The user's folder comes first, then the system's.
    m_home = std::make_unique<QTemporaryDir>();
    m_system = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(m_system->path()));
    writeEntry(m_home->filePath("applications/mine.desktop"), "mine %f");
    writeEntry(m_system->filePath("applications/mine.desktop"), "theirs %f");
    writeEntry(m_system->filePath("applications/kde4/kate.desktop"), "kate %U");
    writeEntry(m_system->filePath("applications/plain.desktop"), "plain %f");
    const QByteArray fifo = QFile::encodeName(m_system->filePath("applications/pipe.desktop"));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
}

void TestDesktopEntry::find_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QStringList>("exec");
    QTest::newRow("the user's entry hides the system's")
        << "mine.desktop" << QStringList{"mine", "%f"};
    QTest::newRow("a dash in the id is a sub-folder")
        << "kde4-kate.desktop" << QStringList{"kate", "%U"};
    QTest::newRow("a system entry") << "plain.desktop" << QStringList{"plain", "%f"};
    QTest::newRow("a FIFO is no entry and is not read") << "pipe.desktop" << QStringList{};
    QTest::newRow("a missing entry") << "gone.desktop" << QStringList{};
    QTest::newRow("an id that is a path") << "../applications/plain.desktop" << QStringList{};
    QTest::newRow("no desktop file id") << "plain" << QStringList{};
}

void TestDesktopEntry::find()
{
    QFETCH(QString, id);
    QFETCH(QStringList, exec);
    const platform::DesktopEntry entry = platform::DesktopEntry::find(id);
    QCOMPARE(entry.exec, exec);
    QCOMPARE(entry.usable(), !exec.isEmpty());
}

void TestDesktopEntry::allListsEachIdOnce()
{
    QStringList seen;
    for (const platform::DesktopEntry &entry : platform::DesktopEntry::all())
        seen << entry.id + '=' + entry.exec.value(0);
    seen.sort();
    QCOMPARE(seen,
             (QStringList{"kde4-kate.desktop=kate", "mine.desktop=mine", "plain.desktop=plain"}));
}

QTEST_APPLESS_MAIN(TestDesktopEntry)
#include "tst_desktopentry.moc"
