// The aligned text file: its layout, its progress captions, the save button's questions and
// what a failed save leaves behind.
#include "platform/ListModel.h"
#include "results/AlignedTextWriter.h"
#include "results/ExportActions.h"
#include "support/FakeResultsView.h"
#include "support/Fakes.h"
#include "support/ListFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using fakes::fill;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

struct SaveFixture {
    fakes::TestServices services;
    fakes::FakeResultsView view;
    fakes::RecordingReporter reporter;
    platform::ListModel results;
    results::ExportActions actions{view, services.services(), reporter, results};

    SaveFixture(int rows = 3)
    {
        results.setHeader(QStringLiteral("Results"));
        // Queued and shown in one batch, as a run adds them: appending a row at once tries
        // the views' room for the whole list each time.
        for (int r = 0; r < rows; ++r)
            results.appendDeferred(QStringLiteral("result row %1").arg(r));
        results.flush();
    }
    bool saidDone() const { return services.prompts.texts().contains(QStringLiteral("Done.")); }
};

// Limits the size of files this process may write, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

} // namespace

class TestAlignedTextWriter : public QObject {
    Q_OBJECT
private slots:
    void layout_data();
    void layout();
    void progressCaptionsEveryThousandRows_data();
    void progressCaptionsEveryThousandRows();
    void progressValueOfLastRowOfFourThousand();
    void worksWithoutProgress();
    void saveAsksAndSays_data();
    void saveAsksAndSays();
    void failedSaveReportsOnceAndKeepsExistingFile_data();
    void failedSaveReportsOnceAndKeepsExistingFile();
    void fullDiskMidwayLeavesExistingFileAndNoTemporary();
    void deviceStaysADevice();
    void rowsRemovedDuringSaveEndItWithOneReport();
};

void TestAlignedTextWriter::layout_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("rows of 3 and 12 characters")
        << QStringList{QStringLiteral("abc"), QStringLiteral("abcdefghijkl")}
        << QByteArray("Results     \t\r\nabc         \t\r\nabcdefghijkl\t\r\n");
    QTest::newRow("empty list") << QStringList{} << QByteArray("Results\t\r\n");
    QTest::newRow("row longer than the header") << QStringList{QStringLiteral("0123456789")}
                                                << QByteArray("Results   \t\r\n0123456789\t\r\n");
    QTest::newRow("empty and blank rows still padded")
        << QStringList{QString(), QStringLiteral("  ")}
        << QByteArray("Results\t\r\n       \t\r\n       \t\r\n");
    QTest::newRow("Windows-1252 bytes when every character has one")
        << QStringList{QString::fromUtf8("é€œ"), QString::fromUtf8("Šx")}
        << QByteArray("Results\t\r\n\xE9\x80\x9C    \t\r\n\x8Ax     \t\r\n");
    QTest::newRow("UTF-8 with a mark otherwise, widths in characters")
        << QStringList{QString::fromUtf8("é€œ✓中"), QString::fromUtf8("😀x")}
        << QByteArray("\xEF\xBB\xBFResults\t\r\n\xC3\xA9\xE2\x82\xAC\xC5\x93\xE2\x9C\x93\xE4\xB8"
                      "\xAD  \t\r\n"
                      "\xF0\x9F\x98\x80x     \t\r\n");
    const QString wide(1024, u'w');
    QTest::newRow("row of 1,024 characters pads every cell to it")
        << QStringList{wide, QStringLiteral("ab")}
        << "Results" + QByteArray(1017, ' ') + "\t\r\n" + wide.toLatin1() + "\t\r\nab" +
               QByteArray(1022, ' ') + "\t\r\n";
    QTest::newRow("row longer than 1,024 characters unpadded, the others padded to 1,024")
        << QStringList{QStringLiteral("ab"), wide + QStringLiteral("xyz")}
        << "Results" + QByteArray(1017, ' ') + "\t\r\nab" + QByteArray(1022, ' ') + "\t\r\n" +
               wide.toLatin1() + "xyz\t\r\n";
    QTest::newRow("row of 65,536 characters among short ones")
        << QStringList{QStringLiteral("a"), QString(65536, u'x'), QStringLiteral("b")}
        << "Results" + QByteArray(1017, ' ') + "\t\r\na" + QByteArray(1023, ' ') + "\t\r\n" +
               QByteArray(65536, 'x') + "\t\r\nb" + QByteArray(1023, ' ') + "\t\r\n";
    QTest::newRow("column width capped in characters, not UTF-8 bytes")
        << QStringList{QString(1030, QChar(0x4E2D)), QStringLiteral("c")}
        << "\xEF\xBB\xBFResults" + QByteArray(1017, ' ') + "\t\r\n" +
               QString(1030, QChar(0x4E2D)).toUtf8() + "\t\r\nc" + QByteArray(1023, ' ') + "\t\r\n";
    QTest::newRow("a lone surrogate is a replacement character, as in the other exports")
        << QStringList{QString::fromUtf16(u"a\xD800")}
        << QByteArray("\xEF\xBB\xBFResults\t\r\na\xEF\xBF\xBD     \t\r\n");
    QTest::newRow("tabs and line breaks inside a cell written as they are")
        << QStringList{QStringLiteral("a\tb\nc")} << QByteArray("Results\t\r\na\tb\nc  \t\r\n");
}

void TestAlignedTextWriter::layout()
{
    QFETCH(QStringList, rows);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    platform::ListModel list;
    fill(list, QStringLiteral("Results"), rows);
    fakes::FakeYield yield;
    fakes::RecordingReporter reporter;
    results::AlignedTextWriter writer(yield, reporter);
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    QVERIFY(writer.saveAligned(list, path, nullptr));
    QCOMPARE(readAll(path), expected);
    QVERIFY(reporter.reports.isEmpty());
}

void TestAlignedTextWriter::progressCaptionsEveryThousandRows_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("captions");
    const QString writing = QStringLiteral("Writing file: out.txt");
    QTest::newRow("999 rows") << 999
                              << QStringList{writing, QStringLiteral("Done."),
                                             QStringLiteral("Progress Bar")};
    QTest::newRow("1000 rows") << 1000
                               << QStringList{writing, writing + QStringLiteral(" (1000)"),
                                              QStringLiteral("Done."),
                                              QStringLiteral("Progress Bar")};
    QTest::newRow("2500 rows") << 2500
                               << QStringList{writing, writing + QStringLiteral(" (1000)"),
                                              writing + QStringLiteral(" (2000)"),
                                              QStringLiteral("Done."),
                                              QStringLiteral("Progress Bar")};
}

void TestAlignedTextWriter::progressCaptionsEveryThousandRows()
{
    QFETCH(int, rows);
    QFETCH(QStringList, captions);
    QTemporaryDir dir;
    platform::ListModel list;
    list.setHeader(QStringLiteral("Results"));
    for (int r = 0; r < rows; ++r)
        list.append(QStringLiteral("row"));
    fakes::FakeYield yield;
    fakes::RecordingReporter reporter;
    fakes::FakeResultsView view;
    results::AlignedTextWriter writer(yield, reporter);
    QVERIFY(writer.saveAligned(list, dir.filePath(QStringLiteral("out.txt")), &view));
    QCOMPARE(view.captions, captions);
    QCOMPARE(view.values.front(), 1.0);
    QCOMPARE(view.values.back(), 0.0);
}

void TestAlignedTextWriter::progressValueOfLastRowOfFourThousand()
{
    QTemporaryDir dir;
    platform::ListModel list;
    list.setHeader(QStringLiteral("Results"));
    for (int r = 0; r < 4000; ++r)
        list.append(QStringLiteral("row"));
    fakes::FakeYield yield;
    fakes::RecordingReporter reporter;
    fakes::FakeResultsView view;
    results::AlignedTextWriter writer(yield, reporter);
    QVERIFY(writer.saveAligned(list, dir.filePath(QStringLiteral("out.txt")), &view));
    // 1, 10, 20, then one value per row, then 100 and 0.
    QCOMPARE(view.values.size(), size_t(3 + 4000 + 2));
    QCOMPARE(view.values[3], (2.0 + 1) / 4000 * 100);
    QCOMPARE(view.values[3 + 3999], 100.05);
}

void TestAlignedTextWriter::worksWithoutProgress()
{
    QTemporaryDir dir;
    platform::ListModel list;
    list.setHeader(QStringLiteral("Results"));
    for (int r = 0; r < 1500; ++r)
        list.append(QStringLiteral("x"));
    fakes::FakeYield yield;
    fakes::RecordingReporter reporter;
    results::AlignedTextWriter writer(yield, reporter);
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    QVERIFY(writer.saveAligned(list, path, nullptr));
    QCOMPARE(QFileInfo(path).size(), qint64(10 + 1500 * 10));
}

void TestAlignedTextWriter::saveAsksAndSays_data()
{
    // What stands at the chosen name: nothing, a file, or a symbolic link, to a file or to a
    // name where nothing is yet (through another link too).
    QTest::addColumn<QString>("standing");
    QTest::addColumn<platform::Answer>("answer");
    QTest::addColumn<bool>("written");
    QTest::newRow("new file: no question") << "nothing" << platform::Answer::Yes << true;
    QTest::newRow("existing file, Yes replaces it") << "file" << platform::Answer::Yes << true;
    QTest::newRow("existing file, No leaves it") << "file" << platform::Answer::No << false;
    QTest::newRow("link to a file: asked as for the file")
        << "link" << platform::Answer::Yes << true;
    QTest::newRow("link to nothing, Yes makes its target")
        << "dangling" << platform::Answer::Yes << true;
    QTest::newRow("link to nothing, No makes nothing")
        << "dangling" << platform::Answer::No << false;
    QTest::newRow("link to a link to nothing: the last target named")
        << "dangling twice" << platform::Answer::Yes << true;
}

void TestAlignedTextWriter::saveAsksAndSays()
{
    QFETCH(QString, standing);
    QFETCH(platform::Answer, answer);
    QFETCH(bool, written);
    QTemporaryDir dir;
    // No extension is added to a name without one.
    const QString path = dir.filePath(QStringLiteral("results"));
    const QString target = dir.filePath(QStringLiteral("target"));
    const QByteArray old = "old contents that are longer than the new ones, all of them\r\n";
    const QString holder = standing == QLatin1String("file") ? path : target;
    if (standing == QLatin1String("file") || standing == QLatin1String("link")) {
        QFile file(holder);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    if (standing == QLatin1String("dangling twice")) {
        QVERIFY(QFile::link(target, dir.filePath(QStringLiteral("between"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("between")), path));
    } else if (standing != QLatin1String("nothing") && standing != QLatin1String("file")) {
        QVERIFY(QFile::link(target, path));
    }
    SaveFixture f(1);
    f.services.dialogs.nextSaveFile = path;
    f.services.prompts.answers = {answer};
    f.actions.saveAsText();

    QCOMPARE(f.services.dialogs.titles, QStringList{QStringLiteral("Save")});
    QCOMPARE(f.services.dialogs.filters,
             QStringList{QStringLiteral("Text Files (*.txt);;All Files (*.*)")});
    QStringList expected;
    const QString question =
        QStringLiteral("Are you sure you wish to overwrite ") + path + QStringLiteral(" ?");
    if (standing == QLatin1String("file") || standing == QLatin1String("link"))
        expected << question;
    else if (standing.startsWith(QLatin1String("dangling")))
        expected << question + QStringLiteral("\r\rIt is a link to ") + target +
                        QStringLiteral(", where nothing is yet: the results will be saved there.");
    if (written)
        expected << QStringLiteral("Done.");
    QCOMPARE(f.services.prompts.texts(), expected);
    if (standing != QLatin1String("nothing"))
        QCOMPARE(f.services.prompts.messages.front().buttons, platform::Buttons::YesNo);
    const QByteArray saved = "Results     \t\r\nresult row 0\t\r\n";
    if (standing == QLatin1String("nothing") || standing == QLatin1String("file"))
        QCOMPARE(readAll(path), written ? saved : old);
    else
        QCOMPARE(QFileInfo(path).isSymLink(), true);
    if (standing != QLatin1String("nothing") && standing != QLatin1String("file"))
        QCOMPARE(QFileInfo::exists(target), written || standing == QLatin1String("link"));
    if (written && standing != QLatin1String("nothing") && standing != QLatin1String("file"))
        QCOMPARE(readAll(target), saved);
    QCOMPARE(f.view.activities,
             (written ? std::vector<run::Activity>{run::Activity::Busy, run::Activity::Idle}
                      : std::vector<run::Activity>{}));
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".txt")));
}

void TestAlignedTextWriter::failedSaveReportsOnceAndKeepsExistingFile_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("a folder that does not exist") << QStringLiteral("missing/out.txt");
    QTest::newRow("a regular file used as a folder") << QStringLiteral("plain.txt/out.txt");
    QTest::newRow("a folder as the file") << QStringLiteral("folder");
}

void TestAlignedTextWriter::failedSaveReportsOnceAndKeepsExistingFile()
{
    QFETCH(QString, where);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    QFile plain(dir.filePath(QStringLiteral("plain.txt")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.write("keep me");
    plain.close();

    SaveFixture f;
    f.services.dialogs.nextSaveFile = dir.filePath(where);
    f.actions.saveAsText();
    QCOMPARE(f.reporter.reports.size(), 1);
    QVERIFY2(f.reporter.reports.front().startsWith(
                 QStringLiteral("Quillon2021/08/31.Main.SaveListviewProperlySpaced|156|")),
             qPrintable(f.reporter.reports.front()));
    QVERIFY(!f.saidDone());
    QCOMPARE(f.view.activity, run::Activity::Idle);
    QCOMPARE(f.view.caption, QStringLiteral("Progress Bar"));
    QCOMPARE(readAll(dir.filePath(QStringLiteral("plain.txt"))), QByteArray("keep me"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 2);
}

void TestAlignedTextWriter::fullDiskMidwayLeavesExistingFileAndNoTemporary()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the previous results");
    old.close();

    SaveFixture f(100000);
    f.services.dialogs.nextSaveFile = path;
    f.services.prompts.answers = {platform::Answer::Yes};
    {
        const FileSizeLimit limit(300000);
        f.actions.saveAsText();
    }
    QCOMPARE(f.reporter.reports.size(), 1);
    QVERIFY2(f.reporter.reports.front().startsWith(
                 QStringLiteral("Quillon2021/08/31.Main.SaveListviewProperlySpaced|222|")),
             qPrintable(f.reporter.reports.front()));
    QVERIFY(!f.saidDone());
    QCOMPARE(readAll(path), QByteArray("the previous results"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{QStringLiteral("out.txt")});
    QCOMPARE(f.view.caption, QStringLiteral("Progress Bar"));
}

void TestAlignedTextWriter::deviceStaysADevice()
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");
    SaveFixture f;
    f.services.dialogs.nextSaveFile = QStringLiteral("/dev/full");
    f.services.prompts.answers = {platform::Answer::Yes};
    f.actions.saveAsText();
    QCOMPARE(f.reporter.reports.size(), 1);
    QVERIFY2(f.reporter.reports.front().contains(QStringLiteral("No space left on device")),
             qPrintable(f.reporter.reports.front()));
    QVERIFY(!f.saidDone());
    // Nothing was renamed over the device node.
    QVERIFY(!QFileInfo(QStringLiteral("/dev/full")).isFile());
}

void TestAlignedTextWriter::rowsRemovedDuringSaveEndItWithOneReport()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    SaveFixture f(50);
    f.services.dialogs.nextSaveFile = path;
    // "Clear List" is clicked while the rows are being written.
    f.services.yield.onYield = [&](int n) {
        if (n == 60)
            f.results.clear();
    };
    f.actions.saveAsText();
    QCOMPARE(f.reporter.reports.size(), 1);
    QVERIFY(!f.saidDone());
    QVERIFY(!QFileInfo::exists(path));
}

QTEST_MAIN(TestAlignedTextWriter)
#include "tst_alignedtextwriter.moc"
