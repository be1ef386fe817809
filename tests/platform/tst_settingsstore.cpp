#include "engine/Steps.h"
#include "platform/SettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void valuesSurviveARestart_data();
    void valuesSurviveARestart();
    void absentKeyGivesTheDefault();
    void sameValueLeavesTheFileAlone();
    void userFileLivesInTheConfigurationFolder_data();
    void userFileLivesInTheConfigurationFolder();
    void writeIntoUnwritableFolderFails();
    void damagedFileIsNamedSo();
    void toInt_data();
    void toInt();
    void toBool_data();
    void toBool();
};

void TestSettingsStore::valuesSurviveARestart_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("empty") << "";
    QTest::newRow("blanks kept") << "  two  words ";
    QTest::newRow("INI syntax") << "a=b; [c] \"d\" \\e,f";
    QTest::newRow("line breaks") << "x\r\ny\rz\n";
    QTest::newRow("accents and symbols") << QString::fromUtf8("Dozida é € Š");
    QTest::newRow("looks like a number") << "-1";
    QTest::newRow("looks like a Boolean") << "True";
}

void TestSettingsStore::valuesSurviveARestart()
{
    QFETCH(QString, value);
    QTemporaryDir dir;
    {
        platform::IniSettingsStore store(dir.path());
        store.writeSetting("Tarnwick", "Lumbrex", "Text1", value);
        store.writeSetting("Tarnwick", "Lumbrex", "Other", "kept");
    }
    // A new store (a new start of the program) reads the file as written.
    platform::IniSettingsStore again(dir.path());
    QCOMPARE(again.readSetting("Tarnwick", "Lumbrex", "Text1", "default"), value);
    QCOMPARE(again.readSetting("Tarnwick", "Lumbrex", "Other", ""), QStringLiteral("kept"));
    QVERIFY(QFile::exists(dir.filePath("Tarnwick.ini")));
}

void TestSettingsStore::absentKeyGivesTheDefault()
{
    QTemporaryDir dir;
    platform::IniSettingsStore store(dir.path());
    QCOMPARE(store.readSetting("Tarnwick", "Lumbrex", "Combo2", "1"), QStringLiteral("1"));
    store.writeSetting("Tarnwick", "Lumbrex", "Combo2", "7");
    QCOMPARE(store.readSetting("Tarnwick", "Other", "Combo2", "1"), QStringLiteral("1"));
}

void TestSettingsStore::sameValueLeavesTheFileAlone()
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("Tarnwick.ini"));
    const auto inode = [&] {
        struct stat info {};
        return ::stat(path.constData(), &info) == 0 ? info.st_ino : ino_t(0);
    };
    platform::IniSettingsStore store(dir.path());
    store.writeSetting("Tarnwick", "Lumbrex", "Combo2", "12");
    const ino_t written = inode();
    // A file replaced gets a new inode; the same value again replaces nothing.
    store.writeSetting("Tarnwick", "Lumbrex", "Combo2", "12");
    QCOMPARE(inode(), written);
    // Another program's change is seen, and the value is written over it.
    QFile other(QString::fromLocal8Bit(path));
    QVERIFY(other.open(QIODevice::WriteOnly | QIODevice::Truncate));
    other.write("[Lumbrex]\nCombo2=5\n");
    other.close();
    store.writeSetting("Tarnwick", "Lumbrex", "Combo2", "12");
    platform::IniSettingsStore again(dir.path());
    QCOMPARE(again.readSetting("Tarnwick", "Lumbrex", "Combo2", ""), QStringLiteral("12"));
}

void TestSettingsStore::writeIntoUnwritableFolderFails()
{
    if (geteuid() == 0)
        QSKIP("permissions do not bind the super-user");
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    platform::IniSettingsStore store(dir.path());
    QVERIFY_THROWS_EXCEPTION(engine::Failure,
                             store.writeSetting("Tarnwick", "Lumbrex", "Text1", "x"));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestSettingsStore::damagedFileIsNamedSo()
{
    QTemporaryDir dir;
    QFile file(dir.filePath("Tarnwick.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Lumbrex\nText1=abc\n");
    file.close();
    platform::IniSettingsStore store(dir.path());
    try {
        store.writeSetting("Tarnwick", "Lumbrex", "Text1", "x");
        QFAIL("a damaged file was overwritten");
    } catch (const engine::Failure &failure) {
        QVERIFY2(QByteArray(failure.what()).contains("damaged"), failure.what());
    }
}

void TestSettingsStore::toInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("fails");
    QTest::newRow("zero") << "0" << 0 << false;
    QTest::newRow("minus one") << "-1" << -1 << false;
    QTest::newRow("plus sign") << "+12" << 12 << false;
    QTest::newRow("blanks around") << " 3 " << 3 << false;
    QTest::newRow("letters") << "abc" << 0 << true;
    QTest::newRow("empty") << "" << 0 << true;
    QTest::newRow("too large") << "99999999999" << 0 << true;
}

void TestSettingsStore::toInt()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QFETCH(bool, fails);
    if (fails)
        QVERIFY_THROWS_EXCEPTION(engine::Failure, platform::settingToInt(text));
    else
        QCOMPARE(platform::settingToInt(text), expected);
}

void TestSettingsStore::toBool_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<bool>("fails");
    QTest::newRow("True") << "True" << true << false;
    QTest::newRow("false in lower case") << "false" << false << false;
    QTest::newRow("1") << "1" << true << false;
    QTest::newRow("0") << "0" << false << false;
    QTest::newRow("-1") << "-1" << true << false;
    QTest::newRow("word") << "maybe" << false << true;
    QTest::newRow("empty") << "" << false << true;
}

void TestSettingsStore::toBool()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QFETCH(bool, fails);
    if (fails)
        QVERIFY_THROWS_EXCEPTION(engine::Failure, platform::settingToBool(text));
    else
        QCOMPARE(platform::settingToBool(text), expected);
}

void TestSettingsStore::userFileLivesInTheConfigurationFolder_data()
{
    QTest::addColumn<QString>("xdgConfigHome"); // empty: unset
    QTest::addColumn<QString>("expected");      // below the home folder
    QTest::newRow("XDG_CONFIG_HOME set") << "/tmp/lumbrex-config"
                                         << "/tmp/lumbrex-config";
    QTest::newRow("XDG_CONFIG_HOME unset") << "" << QDir::homePath() + "/.config";
}

// Stored files rely on where the program looks for them.
void TestSettingsStore::userFileLivesInTheConfigurationFolder()
{
    QFETCH(QString, xdgConfigHome);
    QFETCH(QString, expected);
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    if (xdgConfigHome.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", xdgConfigHome.toLocal8Bit());
    const platform::IniSettingsStore store;
    const QString path = store.filePath(QStringLiteral("Tarnwick"));
    qputenv("XDG_CONFIG_HOME", saved);
    QCOMPARE(path, expected + QStringLiteral("/Tarnwick.ini"));
}

QTEST_APPLESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
