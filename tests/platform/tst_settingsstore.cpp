#include "engine/Steps.h"
#include "platform/SettingsStore.h"

#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <sys/wait.h>
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
    void onlyChangedValuesChange_data();
    void onlyChangedValuesChange();
    void failureToldOnceUntilAWriteSucceeds();
    void readOnlyFileIsNeverReplaced();
    void writeNeverWaitsForTheFile();
    void lastValueOfABurstWrittenAtTheEnd();
    void megabyteValueKept();
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
    store.flush();
    const ino_t written = inode();
    // A file replaced gets a new inode; the same value again replaces nothing.
    store.writeSetting("Tarnwick", "Lumbrex", "Combo2", "12");
    store.flush();
    QCOMPARE(inode(), written);
    // Another program's change is seen, and the value is written over it.
    QFile other(QString::fromLocal8Bit(path));
    QVERIFY(other.open(QIODevice::WriteOnly | QIODevice::Truncate));
    other.write("[Lumbrex]\nCombo2=5\n");
    other.close();
    store.writeSetting("Tarnwick", "Lumbrex", "Combo2", "12");
    store.flush();
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
    store.writeSetting("Tarnwick", "Lumbrex", "Text1", "x");
    QVERIFY_THROWS_EXCEPTION(engine::Failure, store.flush());
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
    store.writeSetting("Tarnwick", "Lumbrex", "Text1", "x");
    try {
        store.flush();
        QFAIL("a damaged file was overwritten");
    } catch (const engine::Failure &failure) {
        QVERIFY2(QByteArray(failure.what()).contains("damaged"), failure.what());
    }
}

void TestSettingsStore::onlyChangedValuesChange_data()
{
    // The file as another program left it, the value set under Text1, and the file after.
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("Latin-1 bytes of another program kept")
        << QByteArray("[Other]\nName=Jos\xE9\n\n[Lumbrex]\nText1=old\n") << "new"
        << QByteArray("[Other]\nName=Jos\xE9\n\n[Lumbrex]\nText1=new\n");
    QTest::newRow("new key at the end of our section")
        << QByteArray("[Lumbrex]\nCombo1=3\n\n[Zeta]\nk=v\n") << "x"
        << QByteArray("[Lumbrex]\nCombo1=3\nText1=x\n\n[Zeta]\nk=v\n");
    QTest::newRow("our section added at the end")
        << QByteArray("[Other]\nk=v\n") << "x"
        << QByteArray("[Other]\nk=v\n\n[Lumbrex]\nText1=x\n");
    QTest::newRow("no final line end")
        << QByteArray("[Other]\nk=v") << "x" << QByteArray("[Other]\nk=v\n\n[Lumbrex]\nText1=x\n");
    QTest::newRow("empty file") << QByteArray() << "x" << QByteArray("[Lumbrex]\nText1=x\n");
    QTest::newRow("CR LF lines")
        << QByteArray("[Lumbrex]\r\nCombo1=3\r\n\r\n[Other]\r\nk=v\r\n") << "x"
        << QByteArray("[Lumbrex]\r\nCombo1=3\r\nText1=x\r\n\r\n[Other]\r\nk=v\r\n");
    QTest::newRow("byte-order mark kept")
        << QByteArray("\xEF\xBB\xBF[Lumbrex]\nText1=old\n") << "new"
        << QByteArray("\xEF\xBB\xBF[Lumbrex]\nText1=new\n");
    QTest::newRow("repeated section: the value that counts is changed")
        << QByteArray("[Lumbrex]\nText1=first\n[Other]\na=1\n[Lumbrex]\nText1=second\n") << "new"
        << QByteArray("[Lumbrex]\nText1=first\n[Other]\na=1\n[Lumbrex]\nText1=new\n");
    QTest::newRow("comments and spacing kept")
        << QByteArray("; vendor file\n[Lumbrex]\nText1 = old ; note\nCombo1=1\n") << "new"
        << QByteArray("; vendor file\n[Lumbrex]\nText1 = new ; note\nCombo1=1\n");
    QTest::newRow("another program's odd lines kept")
        << QByteArray("[Other]\njust text\nq=\"multi\nline\"\n") << "x"
        << QByteArray("[Other]\njust text\nq=\"multi\nline\"\n\n[Lumbrex]\nText1=x\n");
    QTest::newRow("value escaped as QSettings writes it")
        << QByteArray("[Lumbrex]\nText1=old\n") << QString::fromUtf8(" a,b \"c\" \\ é")
        << QByteArray("[Lumbrex]\nText1=\" a,b \\\"c\\\" \\\\ \xC3\xA9\"\n");
}

void TestSettingsStore::onlyChangedValuesChange()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    QFile file(dir.filePath("Tarnwick.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(before);
    file.close();
    platform::IniSettingsStore store(dir.path());
    store.writeSetting("Tarnwick", "Lumbrex", "Text1", value);
    store.flush();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), after);
    platform::IniSettingsStore again(dir.path());
    QCOMPARE(again.readSetting("Tarnwick", "Lumbrex", "Text1", "default"), value);
}

void TestSettingsStore::failureToldOnceUntilAWriteSucceeds()
{
    // A write that fails is told once however often it is tried again, and again once a
    // write has succeeded in between.
    QTemporaryDir dir;
    const QString path = dir.filePath("Tarnwick.ini");
    const auto save = [&](const QByteArray &bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    save("[Lumbrex\nText1=old\n");
    platform::IniSettingsStore store(dir.path());
    QStringList told;
    store.setFailureHandler([&](const QString &key, const std::string &description) {
        told.append(key + u'|' + QString::fromStdString(description));
    });
    const auto type = [&](const QString &text) {
        store.writeSetting("Tarnwick", "Lumbrex", "Text1", text);
        store.flush();
    };
    type("a");
    type("ab");
    QCOMPARE(told, QStringList{"Text1|The settings file " + path + " is damaged"});
    save("[Lumbrex]\nText1=mended\n");
    type("abc");
    save("[Lumbrex\n");
    type("abcd");
    QCOMPARE(told.size(), 2);
    save("[Lumbrex]\n");
    type("abcde");
    QCOMPARE(told.size(), 2);
    platform::IniSettingsStore again(dir.path());
    QCOMPARE(again.readSetting("Tarnwick", "Lumbrex", "Text1", ""), QStringLiteral("abcde"));
}

void TestSettingsStore::readOnlyFileIsNeverReplaced()
{
    // The folder takes new files, so a copy could be renamed over the file; the file itself
    // is read-only, so it is not. Run as an ordinary user, for whom permissions bind.
    QTemporaryDir dir;
    const QString path = dir.filePath("Tarnwick.ini");
    const QByteArray before = "[Other]\nName=Jos\xE9\n[Lumbrex]\nText1=old\n";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        platform::IniSettingsStore store(dir.path());
        store.writeSetting("Tarnwick", "Lumbrex", "Text1", "new");
        try {
            store.flush();
        } catch (const engine::Failure &failure) {
            const bool named = std::string(failure.what()) ==
                               "Permission denied: cannot write " + path.toStdString();
            ::_exit(named && store.readSetting("Tarnwick", "Lumbrex", "Text1", "") == "new" ? 0
                                                                                            : 1);
        }
        ::_exit(2);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Tarnwick.ini"});
}

void TestSettingsStore::writeNeverWaitsForTheFile()
{
    // Another program holds the file's lock: a write returns at once, reads see it, and it
    // reaches the file once the lock is free.
    QTemporaryDir dir;
    platform::IniSettingsStore store(dir.path());
    QLockFile lock(store.filePath("Tarnwick") + ".lock");
    QVERIFY(lock.tryLock(0));
    store.writeSetting("Tarnwick", "Lumbrex", "Text1", "typed");
    QCOMPARE(store.readSetting("Tarnwick", "Lumbrex", "Text1", ""), QStringLiteral("typed"));
    QVERIFY(!QFile::exists(store.filePath("Tarnwick")));
    lock.unlock();
    store.flush();
    platform::IniSettingsStore again(dir.path());
    QCOMPARE(again.readSetting("Tarnwick", "Lumbrex", "Text1", ""), QStringLiteral("typed"));
}

void TestSettingsStore::lastValueOfABurstWrittenAtTheEnd()
{
    QTemporaryDir dir;
    QString typed;
    {
        platform::IniSettingsStore store(dir.path());
        for (int i = 0; i < 300; ++i) {
            typed += QChar(u'a' + i % 26);
            store.writeSetting("Tarnwick", "Lumbrex", "Text1", typed);
        }
    }
    platform::IniSettingsStore again(dir.path());
    QCOMPARE(again.readSetting("Tarnwick", "Lumbrex", "Text1", ""), typed);
}

void TestSettingsStore::megabyteValueKept()
{
    // A search text pasted whole: a million characters, of every kind the file escapes.
    QTemporaryDir dir;
    QString text;
    const QString piece = QString::fromUtf8("plain é€ \"quoted\" a,b;c=d \\ \t");
    while (text.size() < 1000000)
        text += piece;
    {
        platform::IniSettingsStore store(dir.path());
        store.writeSetting("Tarnwick", "Lumbrex", "Other", "kept");
        store.writeSetting("Tarnwick", "Lumbrex", "Text1", text);
    }
    platform::IniSettingsStore again(dir.path());
    QCOMPARE(again.readSetting("Tarnwick", "Lumbrex", "Text1", ""), text);
    QCOMPARE(again.readSetting("Tarnwick", "Lumbrex", "Other", ""), QStringLiteral("kept"));
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
