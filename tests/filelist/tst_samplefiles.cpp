#include "support/FakeFileListHost.h"
#include "support/Fakes.h"

#include "engine/CodePage.h"
#include "engine/Steps.h"
#include "filelist/FolderScan.h"
#include "filelist/SampleFiles.h"
#include "platform/QtFileSystem.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString question = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");

QString everyCode()
{
    QString text;
    for (int code = 1; code < 256; ++code)
        text.append(QChar(engine::toUnicode(static_cast<unsigned char>(code))));
    return text;
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Dozida\r\n");
}

// A program folder with a Samples folder of real files, and the sample loader over it.
struct Rig {
    explicit Rig(const QStringList &samples = {"Ledger.txt", "Notes.txt"})
        : host(fileSystem, dir.path()), scan(fileSystem, host.yield, host.reports),
          loader(host, scan)
    {
        if (!samples.isEmpty())
            QDir().mkpath(dir.filePath("Samples"));
        for (const QString &name : samples)
            touch(dir.filePath("Samples/" + name));
    }
    QString sample(const QString &name) const { return dir.path() + "/Samples/" + name; }

    QTemporaryDir dir;
    platform::QtFileSystem fileSystem;
    fakes::FakeFileListHost host;
    filelist::FolderScan scan;
    filelist::SampleFiles loader;
};

} // namespace

class tst_SampleFiles : public QObject {
    Q_OBJECT

private slots:
    void unscrambleUndoesScramble_data();
    void unscrambleUndoesScramble();
    void scrambleAddsKeyCodes_data();
    void scrambleAddsKeyCodes();
    void scrambleRefusesOverlongText();
    void snapshotSurvivesTheIniStore();
    void snapshotTextKeepsAnyPath_data();
    void snapshotTextKeepsAnyPath();
    void recordThenLoad();
    void loaderSkipsVanishedAndListedPaths();
    void laterSampleIsNotLoaded();
    void noSamplesFolder();
    void answerDecidesOpeningTheFolder_data();
    void answerDecidesOpeningTheFolder();
    void presetsFollowEvenAfterAFailure();
};

void tst_SampleFiles::unscrambleUndoesScramble_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    const QString path = QStringLiteral("/usr/lib/lumbrex/Samples/Customer Ledger.txt|"
                                        "/usr/lib/lumbrex/Samples/Notes.txt");
    QTest::newRow("paths with the program's key") << path << filelist::SampleFiles::scrambleKey;
    QTest::newRow("every code with the smallest letters") << everyCode() << "aaaaaaaa";
    QTest::newRow("every code with the largest letters") << everyCode() << "zzzzzzzz";
    QTest::newRow("every code with a mixed key") << everyCode() << "qwertyui";
    QTest::newRow("empty text") << QString() << filelist::SampleFiles::scrambleKey;
    QTest::newRow("text shorter than the key") << "ab" << filelist::SampleFiles::scrambleKey;
}

void tst_SampleFiles::unscrambleUndoesScramble()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    fakes::FakeYield yield;
    const QString scrambled = filelist::SampleFiles::scrambleText(text, key, yield);
    QCOMPARE(scrambled.size(), text.size());
    if (text.size() > 8)
        QVERIFY(scrambled != text);
    QCOMPARE(filelist::SampleFiles::unscrambleText(scrambled, key, yield), text);
    QCOMPARE(yield.count, 2 * int(text.size()));
}

void tst_SampleFiles::scrambleAddsKeyCodes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("scrambled");
    QTest::newRow("A plus b is the pound sign") << "A"
                                                << "b" << QStringLiteral("£");
    QTest::newRow("past 255 wraps by 255") << QStringLiteral("ÿ") << "z"
                                           << "z";
    QTest::newRow("key repeats from its start") << "AAA"
                                                << "ab" << QStringLiteral("¢£¢");
    QTest::newRow("code 128 is the euro sign") << "\x1e"
                                               << "b" << QStringLiteral("€");
}

void tst_SampleFiles::scrambleAddsKeyCodes()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, scrambled);
    fakes::FakeYield yield;
    QCOMPARE(filelist::SampleFiles::scrambleText(text, key, yield), scrambled);
}

void tst_SampleFiles::scrambleRefusesOverlongText()
{
    fakes::FakeYield yield;
    QCOMPARE(filelist::SampleFiles::scrambleText(QString(32767, u'a'), "abcdefgh", yield).size(),
             32767);
    QVERIFY_THROWS_EXCEPTION(engine::Failure, filelist::SampleFiles::scrambleText(
                                                  QString(32768, u'a'), "abcdefgh", yield));
}

void tst_SampleFiles::snapshotSurvivesTheIniStore()
{
    QTemporaryDir config;
    QVERIFY(config.isValid());
    fakes::FakeYield yield;
    const QString scrambled =
        filelist::SampleFiles::scrambleText(everyCode(), filelist::SampleFiles::scrambleKey, yield);
    {
        platform::IniSettingsStore store(config.path());
        store.writeSetting("Tarnwick", "Lumbrex", "Snapshot", scrambled);
    }
    platform::IniSettingsStore reopened(config.path());
    QCOMPARE(reopened.readSetting("Tarnwick", "Lumbrex", "Snapshot", QString()), scrambled);
}

void tst_SampleFiles::snapshotTextKeepsAnyPath_data()
{
    QTest::addColumn<QString>("paths");
    QTest::newRow("plain") << "/opt/lumbrex/Samples/a.txt|/opt/lumbrex/Samples/b.txt";
    QTest::newRow("accents") << QStringLiteral("/home/zoë/Lumbrex/Samples/café.txt");
    QTest::newRow("outside the code page") << QStringLiteral("/home/Дмитрий/Samples/日本.txt");
}

void tst_SampleFiles::snapshotTextKeepsAnyPath()
{
    QFETCH(QString, paths);
    fakes::FakeYield yield;
    const QString key = filelist::SampleFiles::scrambleKey;
    const QString stored =
        filelist::SampleFiles::scrambleText(filelist::SampleFiles::snapshotText(paths), key, yield);
    QCOMPARE(filelist::SampleFiles::pathsFromSnapshotText(
                 filelist::SampleFiles::unscrambleText(stored, key, yield)),
             paths);
}

void tst_SampleFiles::recordThenLoad()
{
    Rig rig;
    rig.loader.recordSampleFiles();
    const QString stored = rig.host.settings.value("Snapshot");
    QVERIFY(!stored.isEmpty());
    QVERIFY(!stored.contains("Samples"));
    rig.loader.loadSampleFiles(rig.host.list);
    QCOMPARE(rig.host.texts(), (QStringList{rig.sample("Ledger.txt"), rig.sample("Notes.txt")}));
    QCOMPARE(rig.host.prompts.texts(), QStringList{question});
    QCOMPARE(rig.host.prompts.messages.front().buttons, platform::Buttons::YesNo);
    QCOMPARE(rig.host.prompts.messages.front().icon, platform::Icon::None);
    QCOMPARE(rig.host.prompts.messages.front().title, "Lumbrex");
}

void tst_SampleFiles::loaderSkipsVanishedAndListedPaths()
{
    Rig rig({"a.txt", "b.txt", "c.txt"});
    rig.loader.recordSampleFiles();
    QVERIFY(QFile::remove(rig.sample("b.txt")));
    rig.host.list.append(rig.sample("c.txt"));
    rig.host.list.append(rig.sample("A.TXT"));
    rig.loader.loadSamples();
    rig.loader.loadSamples();
    QCOMPARE(rig.host.texts(),
             (QStringList{rig.sample("c.txt"), rig.sample("A.TXT"), rig.sample("a.txt")}));
    QCOMPARE(rig.host.prompts.texts(), (QStringList{question, question}));
    QVERIFY(rig.host.reports.reports.isEmpty());
}

void tst_SampleFiles::laterSampleIsNotLoaded()
{
    Rig rig({"a.txt"});
    rig.loader.recordSampleFiles();
    touch(rig.sample("late.txt"));
    rig.loader.loadSampleFiles(rig.host.list);
    QCOMPARE(rig.host.texts(), QStringList{rig.sample("a.txt")});
}

void tst_SampleFiles::noSamplesFolder()
{
    Rig rig(QStringList{});
    rig.loader.recordSampleFiles();
    QCOMPARE(rig.host.settings.value("Snapshot"), QString(""));
    rig.loader.loadSamples();
    QCOMPARE(rig.host.list.count(), 0);
    QCOMPARE(rig.host.prompts.texts(), QStringList{question});
    QCOMPARE(rig.host.presets, (QStringList{"above=2", "below=1", "text=Dozida"}));
}

void tst_SampleFiles::answerDecidesOpeningTheFolder_data()
{
    QTest::addColumn<platform::Answer>("answer");
    QTest::addColumn<bool>("opened");
    QTest::newRow("yes opens the samples folder") << platform::Answer::Yes << true;
    QTest::newRow("no opens nothing") << platform::Answer::No << false;
}

void tst_SampleFiles::answerDecidesOpeningTheFolder()
{
    QFETCH(platform::Answer, answer);
    QFETCH(bool, opened);
    Rig rig;
    rig.host.prompts.answers.push_back(answer);
    rig.loader.loadSamples();
    QCOMPARE(rig.host.desktop.openedFolders,
             opened ? QStringList{rig.dir.path() + "/Samples/"} : QStringList{});
    QCOMPARE(rig.host.presets, (QStringList{"above=2", "below=1", "text=Dozida"}));
}

void tst_SampleFiles::presetsFollowEvenAfterAFailure()
{
    Rig rig;
    // A snapshot too long to unscramble fails inside the loader.
    rig.host.settings.set("Snapshot", QString(40000, u'x'));
    rig.loader.loadSamples();
    QCOMPARE(rig.host.reports.reports,
             QStringList{"Quillon2021/08/31.Form1.PushButton8_Click|100|Overflow"});
    QCOMPARE(rig.host.presets, (QStringList{"above=2", "below=1", "text=Dozida"}));
}

QTEST_MAIN(tst_SampleFiles)
#include "tst_samplefiles.moc"
