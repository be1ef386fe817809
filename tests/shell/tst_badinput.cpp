// Bad input and faults met through the real main window: odd entries in the file list, odd
// file names, damaged settings files and failing saves. Each case states what the user gets
// (a clear report, a skipped file, untouched data) and that nothing else is lost.
//
// The suite also runs as root in CI, where file permissions do not bind: the cases that need
// an unreadable file or folder are skipped there, and vanished files and folders standing
// where a file is expected cover the same failures.

#include "platform/SettingsStore.h"
#include "results/RowOpener.h"
#include "run/PackedSearch.h"
#include "shell/LinesDialog.h"
#include "shell/MainWindow.h"
#include "shell/ReportView.h"
#include "shell/ResultRowActions.h"
#include "support/DeepTree.h"
#include "support/Fakes.h"
#include "support/PackedSamples.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLockFile>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const QByteArray goodContent = "before\r\ngood hit\r\nafter\r\n";

bool isRoot()
{
    return ::geteuid() == 0;
}

bool writeFile(const QByteArray &nativePath, const QByteArray &content)
{
    const int fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && ok;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void badEntryInFileList_data();
    void badEntryInFileList();
    void hundredMegabytesWithoutLineEnd();
    void badPackedFile_data();
    void badPackedFile();
    void truncatedStreamKeepsTheRowsBeforeTheCut();
    void oddFileNamesFromFolderScan_data();
    void oddFileNamesFromFolderScan();
    void deepFolderTreeAddedAndTheRestSaid();
    void damagedSettingsFile_data();
    void damagedSettingsFile();
    void failedSaveKeepsResultsAndFile_data();
    void failedSaveKeepsResultsAndFile();
    void saveOverFileOpenElsewhere();
    void saveOverWritableFileInReadOnlyFolder();
    void settingsFileNotRegular_data();
    void settingsFileNotRegular();
    void otherProgramsSettingsKept_data();
    void otherProgramsSettingsKept();
    void keystrokesNeverWaitForTheSettingsFile();
    void longSearchTextKeptWhole_data();
    void longSearchTextKeptWhole();
    void resultsKeptWhileRead_data();
    void resultsKeptWhileRead();
    void badStoredLineCountReportedOnce();
    void catastrophicPatternTypedDuringAPlainRun();
    void openingBadRows_data();
    void openingBadRows();
    void enterWhileARunAddsRows();

private:
    void makeWindow(platform::SettingsStore *settings = nullptr);
    // Returns a settings file store in the test's folder, made once per test.
    platform::IniSettingsStore &realSettings();
    // Lists the paths, runs with search "hit", mode "entire line", lines only.
    void run(const QStringList &paths);
    QStringList rows() const;
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<fakes::TestServices> m_fakes;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<platform::IniSettingsStore> m_settings;
    std::unique_ptr<shell::MainWindow> m_window;
};

void TestBadInput::init()
{
    m_fakes = std::make_unique<fakes::TestServices>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestBadInput::cleanup()
{
    m_window.reset();
    m_settings.reset();
    if (m_dir) {
        // Leave nothing behind that a later removal cannot enter.
        // and names Qt cannot encode back (not UTF-8) are removed by their bytes.
        const QByteArray native = QFile::encodeName(m_dir->path());
        ::chmod(native.constData(), 0700);
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(native.toStdString()), ignored);
        m_dir.reset();
    }
}

void TestBadInput::makeWindow(platform::SettingsStore *settings)
{
    platform::Services services = m_fakes->services();
    if (settings)
        services.settings = settings;
    m_window = std::make_unique<shell::MainWindow>(services, QStringLiteral("/nonexistent"));
    m_window->startUp();
}

platform::IniSettingsStore &TestBadInput::realSettings()
{
    if (!m_settings)
        m_settings = std::make_unique<platform::IniSettingsStore>(m_dir->path());
    return *m_settings;
}

void TestBadInput::run(const QStringList &paths)
{
    shell::MainWindow &w = *m_window;
    w.searchBox->setText(QStringLiteral("hit"));
    w.modeList->setCurrentIndex(1);
    w.lineOnlyOption->click();
    for (const QString &p : paths)
        w.files().append(p);
    w.files().flush();
    w.startButton->click();
}

QStringList TestBadInput::rows() const
{
    QStringList all;
    for (int i = 0; i < m_window->results().count(); ++i)
        all.append(m_window->results().text(i));
    return all;
}

void TestBadInput::badEntryInFileList_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("report"); // the first description reported, empty for none
    QTest::addColumn<int>("reports");    // steps of the read that fail and are reported
    QTest::addColumn<QStringList>("ownRows");

    const QString notRegular = QStringLiteral("Not a regular file (FIFO, socket or device)");
    QTest::newRow("binary file with NUL bytes: read as text, NUL kept in the row")
        << "binary"
        << "" << 0 << QStringList{QString::fromLatin1("\0bin hit\x01", 9)};
    QTest::newRow("UTF-16 file with its mark: read as UTF-16")
        << "utf16"
        << "" << 0 << QStringList{QStringLiteral("the hit line")};
    QTest::newRow("UTF-16 mark with an odd number of bytes: the last is a replacement character")
        << "odd utf16"
        << "" << 0 << QStringList{QStringLiteral("hit\uFFFD")};
    QTest::newRow("UTF-8 mark before malformed bytes: replacement characters")
        << "bad utf8 mark"
        << "" << 0 << QStringList{QStringLiteral("\uFFFD hit \uFFFD")};
    QTest::newRow("UTF-8 file with one stray byte at its end: still UTF-8")
        << "stray utf8"
        << "" << 0 << QStringList(3, QString::fromUtf8("café hit"));
    QTest::newRow("line across the 65,536th byte: whole, and found")
        << "across piece edge"
        << "" << 0 << QStringList{QStringLiteral("big hit")};
    QTest::newRow("file of NUL bytes: one line, no match") << "nul filled"
                                                           << "" << 0 << QStringList{};
    QTest::newRow("file deleted after it was listed") << "vanished"
                                                      << "File not found" << 4 << QStringList{};
    QTest::newRow("folder") << "folder"
                            << "Path is a folder, not a file" << 3 << QStringList{};
    QTest::newRow("FIFO without a writer: refused, no wait")
        << "fifo" << notRegular << 3 << QStringList{};
    QTest::newRow("socket") << "socket" << notRegular << 3 << QStringList{};
    QTest::newRow("/dev/null") << "/dev/null" << notRegular << 3 << QStringList{};
    QTest::newRow("/dev/zero: refused, not read forever")
        << "/dev/zero" << notRegular << 3 << QStringList{};
    QTest::newRow("file without read permission") << "unreadable"
                                                  << "Permission denied" << 3 << QStringList{};
    QTest::newRow("folder without permission in the path")
        << "locked-folder"
        << "Permission denied" << 4 << QStringList{};
}

void TestBadInput::badEntryInFileList()
{
    QFETCH(QString, kind);
    QFETCH(QString, report);
    QFETCH(int, reports);
    QFETCH(QStringList, ownRows);

    if ((kind == QLatin1String("unreadable") || kind == QLatin1String("locked-folder")) && isRoot())
        QSKIP("file permissions do not bind for root; the vanished and folder rows stand in");

    const QString good = path(QStringLiteral("good.txt"));
    QVERIFY(writeFile(QFile::encodeName(good), goodContent));
    QString bad = path(QStringLiteral("bad entry"));
    const QByteArray native = QFile::encodeName(bad);
    int listener = -1;
    if (kind == QLatin1String("binary")) {
        QVERIFY(writeFile(native, QByteArray("\0\xFE\0\0\r\n\0bin hit\x01\r\n\0\0\0", 18)));
    } else if (kind == QLatin1String("odd utf16")) {
        QVERIFY(writeFile(native, QByteArray("\xFF\xFEh\0i\0t\0!", 9)));
    } else if (kind == QLatin1String("bad utf8 mark")) {
        QVERIFY(writeFile(native, "\xEF\xBB\xBF\xC3 hit \xFF\n"));
    } else if (kind == QLatin1String("stray utf8")) {
        QVERIFY(writeFile(native, QByteArray("caf\xC3\xA9 hit\n").repeated(3) + "\xFF"));
    } else if (kind == QLatin1String("across piece edge")) {
        // The h of "hit" is the 65,535th byte.
        QVERIFY(writeFile(native, QByteArray(65528, '.') + "\r\nbig hit\r\n"));
    } else if (kind == QLatin1String("nul filled")) {
        QVERIFY(writeFile(native, QByteArray(200000, '\0')));
    } else if (kind == QLatin1String("utf16")) {
        const QString text = QStringLiteral("first\r\nthe hit line\r\n");
        QByteArray bytes("\xFF\xFE");
        bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        QVERIFY(writeFile(native, bytes));
    } else if (kind == QLatin1String("vanished")) {
        QVERIFY(writeFile(native, "gone hit\r\n"));
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(bad));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    } else if (kind == QLatin1String("socket")) {
        listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(listener >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(native.size()) < sizeof(address.sun_path));
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        QCOMPARE(::listen(listener, 1), 0);
    } else if (kind.startsWith(QLatin1Char('/'))) {
        bad = kind;
    } else if (kind == QLatin1String("unreadable")) {
        QVERIFY(writeFile(native, "secret hit\r\n"));
        QCOMPARE(::chmod(native.constData(), 0), 0);
    } else if (kind == QLatin1String("locked-folder")) {
        QVERIFY(QDir().mkdir(bad));
        bad += QStringLiteral("/inside.txt");
        QVERIFY(writeFile(QFile::encodeName(bad), "inside hit\r\n"));
        QCOMPARE(::chmod(native.constData(), 0), 0);
    }

    makeWindow();
    shell::MainWindow &w = *m_window;
    w.searchBox->setText(QStringLiteral("hit"));
    w.modeList->setCurrentIndex(1);
    w.lineOnlyOption->click();
    w.files().append(good);
    w.files().append(bad);
    w.files().append(good);
    w.files().flush();
    if (kind == QLatin1String("vanished"))
        QVERIFY(QFile::remove(bad));
    w.startButton->click();
    if (listener >= 0)
        ::close(listener);

    // Each failing step of reading the bad entry is reported, first the cause, then the end
    // test and the close that find no open file; the files around it are read in full.
    const QStringList errors = m_fakes->prompts.errors();
    QVERIFY2(errors.size() == reports, qPrintable(errors.join(QLatin1String("\n---\n"))));
    if (reports > 0)
        QVERIFY2(errors.front().startsWith(report), qPrintable(errors.front()));
    for (const QString &error : errors)
        QVERIFY(error.contains(QLatin1String("ExtractState.ReadFileToStringFSO")));
    QStringList expected{QStringLiteral("good hit")};
    expected += ownRows;
    expected += QStringLiteral("good hit");
    QCOMPARE(rows(), expected);
    QCOMPARE(m_fakes->prompts.texts().last(), QStringLiteral("Done."));
    QCOMPARE(w.startButton->text(), QStringLiteral("Start Extracting"));
    QCOMPARE(w.files().count(), 3);
}

void TestBadInput::hundredMegabytesWithoutLineEnd()
{
    // One 100 MB line ending in LF: read and searched without a report. The text is read in pieces
    // of 65,536 characters, and 100 MiB is a whole number of them, so the match at the very end
    // stands alone in the last piece.
    const QString big = path(QStringLiteral("one line.txt"));
    {
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray block(1 << 20, 'x');
        for (int i = 0; i < 100; ++i)
            QCOMPARE(file.write(block), qint64(block.size()));
        QCOMPARE(file.write("hit\n"), qint64(4)); // its one line end makes it an LF file
    }
    const QString good = path(QStringLiteral("good.txt"));
    QVERIFY(writeFile(QFile::encodeName(good), goodContent));

    makeWindow();
    run({big, good});
    QVERIFY(QFile::remove(big));

    QCOMPARE(m_fakes->prompts.errors(), QStringList());
    QCOMPARE(m_fakes->prompts.texts().last(), QStringLiteral("Done."));
    QCOMPARE(rows(), (QStringList{QStringLiteral("hit"), QStringLiteral("good hit")}));
}

namespace {

using fakes::PackedMember;
using fakes::Packing;

// A zip with its first member's declared sizes, in the local header and in the central
// directory, set to the value given.
QByteArray zipWithDeclaredSize(quint32 size)
{
    QByteArray zip =
        fakes::packed(Packing::Zip, {{"first.txt", "first hit\n"}, {"second.txt", "second hit\n"}});
    // The writer streams its members: the sizes follow the data, in a data descriptor.
    const auto put = [&](qsizetype at) {
        for (int b = 0; b < 4; ++b)
            zip[at + b] = char((size >> (8 * b)) & 0xFF);
    };
    const qsizetype local = zip.indexOf("PK\x03\x04");
    put(local + 18);
    put(local + 22);
    const qsizetype central = zip.indexOf("PK\x01\x02");
    put(central + 20);
    put(central + 24);
    const qsizetype descriptor = zip.indexOf("PK\x07\x08");
    if (descriptor >= 0) {
        put(descriptor + 8);
        put(descriptor + 12);
    }
    return zip;
}

// Returns the first keep bytes, or all but the last -keep.
QByteArray truncated(const QByteArray &bytes, qsizetype keep)
{
    return keep >= 0 ? bytes.left(keep) : bytes.chopped(-keep);
}

QByteArray manyLines(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "line " + QByteArray::number(i) + (i % 1000 == 0 ? " hit\n" : "\n");
    return text;
}

} // namespace

void TestBadInput::badPackedFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("report"); // the first description reported, empty for none
    QTest::addColumn<int>("reports");
    QTest::addColumn<QStringList>("ownRows");
    // Each case read on the searching thread, and decompressed on a thread of its own.
    QTest::addColumn<bool>("piped");

    const QByteArray text = "a hit\nb\n";
    const QByteArray gzip = fakes::packed(Packing::Gzip, {{"t", text}});
    for (const bool piped : {false, true}) {
        const auto name = [piped](const char *what) {
            return QByteArray(what) + (piped ? ", decompressed beside the search" : "");
        };
        QTest::newRow(name("empty gzip: no rows, no report").constData())
            << fakes::packed(Packing::Gzip, {{"t", ""}}) << "" << 0 << QStringList{} << piped;
        QTest::newRow(
            name("gzip cut inside its header: too short to be one, read as its bytes").constData())
            << truncated(gzip, 6) << "" << 0 << QStringList{} << piped;
        QTest::newRow(name("gzip of a short text without its last bytes").constData())
            << truncated(fakes::packed(Packing::Gzip, {{"t", manyLines(3000)}}), -4)
            << "Damaged or truncated data" << 1 << QStringList{} << piped;
        QTest::newRow(name("zip member of enormous declared size").constData())
            << zipWithDeclaredSize(0xFFFFFFF0u) << "first.txt: " << 1
            << QStringList{QStringLiteral("second hit")} << piped;
        QTest::newRow(name("zip member of a declared size that reads as negative").constData())
            << zipWithDeclaredSize(0x80000000u) << "first.txt: " << 1
            << QStringList{QStringLiteral("second hit")} << piped;
        QTest::newRow(
            name("tar names with .. and absolute paths: read, nothing written").constData())
            << fakes::packed(Packing::Tar,
                             {{"../../escaped hit.txt", "up hit\n"}, {"/etc/abs hit", "abs hit\n"}})
            << "" << 0 << QStringList{QStringLiteral("up hit"), QStringLiteral("abs hit")} << piped;
        QTest::newRow(name("links, devices and folders in a tar are passed over").constData())
            << fakes::packed(Packing::Tar, {{"link", "/etc/passwd", PackedMember::Kind::Link},
                                            {"null", "", PackedMember::Kind::Device},
                                            {"dir/", "", PackedMember::Kind::Folder},
                                            {"dir/real.txt", "real hit\n"}})
            << "" << 0 << QStringList{QStringLiteral("real hit")} << piped;
        QTest::newRow(name("password-protected zip: each member reported").constData())
            << fakes::packed(Packing::Zip, {{"secret.txt", "secret hit\n"}}, "pass")
            << "secret.txt: Member is encrypted" << 1 << QStringList{} << piped;
        QTest::newRow(name("compressed member is read decompressed").constData())
            << fakes::packed(Packing::Tar, {{"log.gz", gzip}}) << "" << 0
            << QStringList{QStringLiteral("a hit")} << piped;
        QTest::newRow(name("archive inside an archive is read as its bytes").constData())
            << fakes::packed(Packing::Tar,
                             {{"inner.a", fakes::packed(Packing::Ar, {{"x.txt", "inner hit\n"}})}})
            << "" << 0 << QStringList{QStringLiteral("inner hit")} << piped;
    }
}

// A damaged, odd or hostile compressed file or archive between two good files: a clear report
// with the reading's tag, the rows it still holds, and the files after it read in full.
void TestBadInput::badPackedFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, report);
    QFETCH(int, reports);
    QFETCH(QStringList, ownRows);
    QFETCH(bool, piped);
    const size_t pipedFrom = run::setPipedFrom(piped ? 0 : SIZE_MAX);
    const auto restore = qScopeGuard([pipedFrom] { run::setPipedFrom(pipedFrom); });
    const QString good = path(QStringLiteral("good.txt"));
    QVERIFY(writeFile(QFile::encodeName(good), goodContent));
    const QString packedFile = path(QStringLiteral("in/packed"));
    QVERIFY(QDir().mkpath(path(QStringLiteral("in"))));
    QVERIFY(writeFile(QFile::encodeName(packedFile), bytes));

    makeWindow();
    run({good, packedFile, good});

    const QStringList errors = m_fakes->prompts.errors();
    QVERIFY2(errors.size() == reports, qPrintable(errors.join(QLatin1String("\n---\n"))));
    for (const QString &error : errors) {
        QVERIFY(error.contains(QLatin1String("ExtractState.ReadFileToStringFSO")));
        QVERIFY2(error.contains(report), qPrintable(error));
    }
    QStringList expected{QStringLiteral("good hit")};
    expected += ownRows;
    expected += QStringLiteral("good hit");
    QCOMPARE(rows(), expected);
    QCOMPARE(m_fakes->prompts.texts().last(), QStringLiteral("Done."));
    // Reading never writes: the folder holds what the test put there.
    QCOMPARE(QDir(path(QStringLiteral("in"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("packed")});
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("good.txt"), QStringLiteral("in")}));
}

void TestBadInput::truncatedStreamKeepsTheRowsBeforeTheCut()
{
    const QString cut = path(QStringLiteral("syslog.1.xz"));
    QVERIFY(writeFile(QFile::encodeName(cut),
                      truncated(fakes::packed(Packing::Xz, {{"t", manyLines(300000)}}), -100)));
    const QString good = path(QStringLiteral("good.txt"));
    QVERIFY(writeFile(QFile::encodeName(good), goodContent));

    makeWindow();
    run({cut, good});

    const QStringList errors = m_fakes->prompts.errors();
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.front().contains(QLatin1String("ExtractState.ReadFileToStringFSO")));
    // The rows are those of the text up to shortly before the cut, in order.
    QStringList got = rows();
    QCOMPARE(got.takeLast(), QStringLiteral("good hit"));
    QVERIFY2(got.size() >= 250, qPrintable(QString::number(got.size())));
    QVERIFY(got.size() < 300);
    for (int i = 0; i < got.size(); ++i)
        QCOMPARE(got.at(i), QStringLiteral("line %1 hit").arg(i * 1000));
}

void TestBadInput::oddFileNamesFromFolderScan_data()
{
    QTest::addColumn<QByteArray>("name"); // the file name's bytes
    QTest::addColumn<bool>("listed");
    QTest::newRow("newline") << QByteArray("new\nline.txt") << true;
    QTest::newRow("tab") << QByteArray("tab\there.txt") << true;
    QTest::newRow("leading tilde: an editor's lock or backup file, skipped")
        << QByteArray("~home.txt") << false;
    QTest::newRow("leading blank and trailing blank") << QByteArray(" spaced .txt") << true;
    QTest::newRow("255 bytes") << QByteArray(251, 'n') + ".txt" << true;
    QTest::newRow("255 bytes of two-byte letters")
        << QByteArray("\xC3\xA9").repeated(125) + "a.txt" << true;
    QTest::newRow("non-UTF-8 bytes: left out, and said so")
        << QByteArray("caf\xE9 \xFF.txt") << false;
    // A name with a slash puts the file in a sub-folder of that name.
    QTest::newRow("folder with a curly apostrophe")
        << QByteArray("John\xE2\x80\x99s docs/in.txt") << true;
    QTest::newRow("folder with an en dash") << QByteArray("Q3 \xE2\x80\x93 Reports/in.txt") << true;
    QTest::newRow("folder with a euro sign") << QByteArray("\xE2\x82\xAC/in.txt") << true;
    QTest::newRow("folder in Japanese") << QByteArray("\xE6\x97\xA5\xE6\x9C\xAC/in.txt") << true;
    QTest::newRow("folder with a question mark") << QByteArray("what?/in.txt") << true;
    QTest::newRow("folder whose name is not UTF-8: left out, and said so")
        << QByteArray("\xE9t\xE9/in.txt") << false;
}

void TestBadInput::oddFileNamesFromFolderScan()
{
    // Listed by Add All File(s) In Folder and read by the run, like any other file.
    QFETCH(QByteArray, name);
    QFETCH(bool, listed);
    const QByteArray folder = QFile::encodeName(m_dir->path());
    if (name.contains('/'))
        QCOMPARE(::mkdir((folder + '/' + name.left(name.indexOf('/'))).constData(), 0755), 0);
    QVERIFY(writeFile(folder + '/' + name, "odd hit\r\n"));

    makeWindow();
    m_fakes->prompts.inputAnswers.push_back(QStringLiteral("txt"));
    m_fakes->dialogs.nextFolder = m_dir->path();
    m_window->addFolderButton->click();
    const QStringList errors = m_fakes->prompts.errors();
    // A name that cannot be read back is never dropped without a word.
    const bool unreadable = QFile::encodeName(QFile::decodeName(name)) != name;
    QCOMPARE(errors.size(), unreadable ? 1 : 0);
    if (unreadable)
        QVERIFY2(errors.front().contains(QLatin1String("1 file or folder was left out")),
                 qPrintable(errors.front()));
    QCOMPARE(m_window->files().count(), listed ? 1 : 0);
    if (!listed)
        return;
    QCOMPARE(QFile::encodeName(m_window->files().text(0)), folder + '/' + name);
    run({});
    QCOMPARE(m_fakes->prompts.errors(), QStringList());
    QCOMPARE(rows(), QStringList{QStringLiteral("odd hit")});
}

void TestBadInput::deepFolderTreeAddedAndTheRestSaid()
{
    // Folders far below the old 260-character limit are added, and read by the run; the one
    // folder deeper than a path reaches is said in one message, not left out silently.
    const fakes::DeepTree tree(m_dir->path(), 22);
    QVERIFY(tree.made());
    makeWindow();
    m_fakes->prompts.inputAnswers.push_back(QStringLiteral("txt"));
    m_fakes->dialogs.nextFolder = m_dir->path();
    m_window->addFolderButton->click();
    QCOMPARE(m_fakes->prompts.texts(),
             QStringList{QStringLiteral(
                 "1 folder could not be added:\r\r1 folder: the path is longer than the 4,096 "
                 "bytes the system allows")});
    QCOMPARE(m_fakes->prompts.messages.front().title, QStringLiteral("Lumbrex"));
    QCOMPARE(m_fakes->prompts.messages.front().icon, platform::Icon::None);
    QStringList listed;
    for (int i = 0; i < m_window->files().count(); ++i)
        listed.append(m_window->files().text(i));
    QCOMPARE(listed, tree.reachableFiles());
    m_window->searchBox->setText(QStringLiteral("hit"));
    m_window->modeList->setCurrentIndex(1);
    m_window->lineOnlyOption->click();
    m_window->startButton->click();
    QCOMPARE(m_fakes->prompts.errors(), QStringList());
    QCOMPARE(rows().size(), listed.size());
}

void TestBadInput::damagedSettingsFile_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("reports");   // when options are written, however often
    QTest::addColumn<QString>("after"); // "kept": as it was; "extended": ours added after it
    QTest::newRow("binary garbage: kept, our section added after it")
        << "garbage" << 0 << "extended";
    QTest::newRow("section that never closes") << "unclosed" << 1 << "kept";
    QTest::newRow("folder where the file should be") << "folder" << 0 << "folder";
    QTest::newRow("read-only file") << "read-only" << 1 << "kept";
    QTest::newRow("unreadable file") << "unreadable" << 1 << "kept";
    QTest::newRow("file removed while the program runs: made anew") << "removed" << 0 << "new";
    QTest::newRow("folder removed while the program runs: made anew")
        << "folder removed" << 0 << "new";
}

void TestBadInput::damagedSettingsFile()
{
    // The window opens with its defaults and runs. Writing an option to a file that cannot be
    // read back or written is reported, naming the file, at most once however often options
    // change (the search box writes on every keystroke), and the file is left as it was:
    // nothing the user or another program had stored is overwritten.
    QFETCH(QString, damage);
    QFETCH(int, reports);
    QFETCH(QString, after);
    if ((damage == QLatin1String("read-only") || damage == QLatin1String("unreadable")) && isRoot())
        QSKIP("file permissions do not bind for root; the folder row stands in");

    const QString folder =
        damage == QLatin1String("folder removed") ? path(QStringLiteral("config")) : m_dir->path();
    QVERIFY(QDir().mkpath(folder));
    const QString file = QDir(folder).filePath(QStringLiteral("Tarnwick.ini"));
    QByteArray before;
    if (damage == QLatin1String("garbage"))
        before = QByteArray("\x00\xFF[Lumbrex\r\n=\x01\x02\nText1\n\0\0=\xC3", 19);
    else if (damage == QLatin1String("unclosed"))
        before = "[Lumbrex\nText1=old\nCombo1=5\n";
    else
        before = "[Lumbrex]\nText1=old\nCombo1=5\n";
    if (damage == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(file));
    else
        QVERIFY(writeFile(QFile::encodeName(file), before));
    if (damage == QLatin1String("read-only"))
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0444), 0);
    if (damage == QLatin1String("unreadable"))
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0), 0);

    m_settings = std::make_unique<platform::IniSettingsStore>(folder);
    platform::IniSettingsStore &store = *m_settings;
    makeWindow(&store);
    QCOMPARE(m_window->modeList->count(), 14);
    const qsizetype atStart = m_fakes->prompts.errors().size();
    store.flush(); // what start-up wrote back
    if (damage == QLatin1String("removed"))
        QVERIFY(QFile::remove(file));
    if (damage == QLatin1String("folder removed"))
        QVERIFY(QDir(folder).removeRecursively());
    m_window->searchBox->setText(QStringLiteral("a"));
    store.flush();
    m_window->searchBox->setText(QStringLiteral("ab"));
    m_window->searchBox->setText(QStringLiteral("abc"));
    store.flush();
    const QStringList errors = m_fakes->prompts.errors();
    QVERIFY2(errors.size() == atStart + reports, qPrintable(errors.join(QLatin1String("\n---\n"))));
    for (const QString &error : errors)
        QVERIFY2(error.contains(file), qPrintable(error));
    if (after == QLatin1String("folder")) {
        QVERIFY(QFileInfo(file).isDir());
    } else if (after == QLatin1String("extended")) {
        QVERIFY(readFile(file).startsWith(before));
        QVERIFY(readFile(file).contains("[Lumbrex]\r\n"));
        QVERIFY(readFile(file).contains("Text1=abc\r\n"));
    } else if (after == QLatin1String("new")) {
        QCOMPARE(readFile(file), QByteArray("[Lumbrex]\nText1=abc\n"));
    } else {
        QCOMPARE(readFile(file), before);
    }

    const QString good = path(QStringLiteral("good.txt"));
    QVERIFY(writeFile(QFile::encodeName(good), goodContent));
    run({good});
    QCOMPARE(rows(), QStringList{QStringLiteral("good hit")});
    QCOMPARE(m_fakes->prompts.texts().last(), QStringLiteral("Done."));
}

void TestBadInput::failedSaveKeepsResultsAndFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("/dev/full") << "/dev/full";
    QTest::newRow("inside a file, as if it were a folder") << "file.txt/out.txt";
    QTest::newRow("folder that does not exist") << "missing/out.txt";
    QTest::newRow("a folder") << "";
    QTest::newRow("read-only folder") << "read-only/out.txt";
}

void TestBadInput::failedSaveKeepsResultsAndFile()
{
    // A save that fails says so once, never "Done.", and keeps the results and any file.
    QFETCH(QString, target);
    if (target.startsWith(QLatin1String("read-only")) && isRoot())
        QSKIP("file permissions do not bind for root; the other rows stand in");
    const QString good = path(QStringLiteral("good.txt"));
    QVERIFY(writeFile(QFile::encodeName(good), goodContent));
    QVERIFY(writeFile(QFile::encodeName(path(QStringLiteral("file.txt"))), "keep me"));
    QVERIFY(QDir().mkdir(path(QStringLiteral("read-only"))));
    QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("read-only"))).constData(), 0555), 0);

    makeWindow();
    run({good});
    const QStringList before = rows();
    QCOMPARE(before, QStringList{QStringLiteral("good hit")});
    m_fakes->prompts.messages.clear();

    m_fakes->dialogs.nextSaveFile = target.startsWith(QLatin1Char('/')) ? target : path(target);
    m_window->saveTextButton->click();

    const QStringList errors = m_fakes->prompts.errors();
    QCOMPARE(errors.size(), 1);
    QVERIFY(!m_fakes->prompts.texts().contains(QStringLiteral("Done.")));
    QCOMPARE(rows(), before);
    QCOMPARE(readFile(path(QStringLiteral("file.txt"))), QByteArray("keep me"));
    QCOMPARE(QDir(path(QStringLiteral("read-only")))
                 .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
             QStringList());
}

void TestBadInput::saveOverFileOpenElsewhere()
{
    // Replacing a file another program holds open: the save completes, and the other program
    // keeps reading the old contents it opened.
    const QString good = path(QStringLiteral("good.txt"));
    QVERIFY(writeFile(QFile::encodeName(good), goodContent));
    const QString target = path(QStringLiteral("results.txt"));
    QVERIFY(writeFile(QFile::encodeName(target), "old contents"));
    QFile holder(target);
    QVERIFY(holder.open(QIODevice::ReadOnly));

    makeWindow();
    run({good});
    m_fakes->prompts.messages.clear();
    m_fakes->dialogs.nextSaveFile = target;
    m_fakes->prompts.answers.push_back(platform::Answer::Yes); // overwrite?
    m_window->saveTextButton->click();

    QCOMPARE(m_fakes->prompts.errors(), QStringList());
    QCOMPARE(m_fakes->prompts.texts().last(), QStringLiteral("Done."));
    QCOMPARE(readFile(target), QByteArray("Results \t\r\ngood hit\t\r\n"));
    QCOMPARE(holder.readAll(), QByteArray("old contents"));
}

void TestBadInput::saveOverWritableFileInReadOnlyFolder()
{
    // The folder takes no new file, so no file can replace the target; the target itself
    // may be written, and is, in place. Run as an ordinary user, for whom permissions bind.
    const QString folder = path(QStringLiteral("read-only"));
    const QString target = folder + QStringLiteral("/results.txt");
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(writeFile(QFile::encodeName(target), "old contents"));
    QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0666), 0);
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    QCOMPARE(::chmod(QFile::encodeName(m_dir->path()).constData(), 0755), 0);
    const QString good = path(QStringLiteral("good.txt"));
    QVERIFY(writeFile(QFile::encodeName(good), goodContent));
    makeWindow();
    run({good});
    m_fakes->prompts.messages.clear();
    m_fakes->dialogs.nextSaveFile = target;
    m_fakes->prompts.answers.push_back(platform::Answer::Yes); // overwrite?

    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (isRoot() && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        m_window->saveTextButton->click();
        const QStringList errors = m_fakes->prompts.errors();
        for (const QString &error : errors)
            qWarning("%s", qPrintable(error));
        const bool done =
            errors.isEmpty() && m_fakes->prompts.texts().last() == QLatin1String("Done.");
        ::_exit(done ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(readFile(target), QByteArray("Results \t\r\ngood hit\t\r\n"));
    QCOMPARE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
             QStringList{QStringLiteral("results.txt")});
}

void TestBadInput::settingsFileNotRegular_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("viaLink");
    QTest::newRow("link to a regular file: written through") << "file" << true;
    QTest::newRow("FIFO: never opened, start-up goes on") << "fifo" << false;
    QTest::newRow("link to a FIFO") << "fifo" << true;
    QTest::newRow("device: never replaced") << "device" << false;
    QTest::newRow("link to a device") << "device" << true;
    QTest::newRow("socket") << "socket" << false;
    QTest::newRow("link to a folder") << "folder" << true;
}

void TestBadInput::settingsFileNotRegular()
{
    QFETCH(QString, kind);
    QFETCH(bool, viaLink);
    const QString file = path(QStringLiteral("Tarnwick.ini"));
    const QString target = viaLink ? path(QStringLiteral("elsewhere")) : file;
    const QByteArray native = QFile::encodeName(target);
    int listener = -1;
    if (kind == QLatin1String("file")) {
        QVERIFY(writeFile(native, "[Lumbrex]\nText1=old\n"));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
    } else if (kind == QLatin1String("device")) {
        // A private null device where one may be made; else the system's.
        if (::mknod(native.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
            if (!viaLink)
                QSKIP("only the super-user makes device nodes");
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), target));
        }
    } else if (kind == QLatin1String("socket")) {
        listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(target));
    }
    if (viaLink)
        QVERIFY(QFile::link(target, file));
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &before), 0);

    // Should start-up block in opening a FIFO, a writer lets it go on, and the test fails.
    std::atomic<bool> started = false;
    std::atomic<bool> blocked = false;
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !started; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (started || kind != QLatin1String("fifo"))
            return;
        blocked = true;
        const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    });
    platform::IniSettingsStore &store = realSettings();
    makeWindow(&store);
    started = true;
    watchdog.join();
    QVERIFY(!blocked);
    m_window->searchBox->setText(QStringLiteral("a"));
    m_window->searchBox->setText(QStringLiteral("abc"));
    store.flush();
    if (listener >= 0)
        ::close(listener);

    const QStringList errors = m_fakes->prompts.errors();
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &after), 0);
    QCOMPARE(QFileInfo(file).isSymLink(), viaLink);
    if (kind == QLatin1String("file")) {
        QCOMPARE(errors, QStringList());
        QVERIFY(readFile(target).contains("Text1=abc"));
        return;
    }
    // Read and written in memory only: reported once, and the thing itself stays what it was.
    QVERIFY2(errors.size() == 1, qPrintable(errors.join(u'\n')));
    for (const QString &error : errors)
        QVERIFY2(error.contains(file) && error.contains(QLatin1String("not a regular file")),
                 qPrintable(error));
    QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    QCOMPARE(after.st_rdev, before.st_rdev);
    QCOMPARE(m_window->searchBox->text(), QStringLiteral("abc"));
    QCOMPARE(store.readSetting(platform::settingsApplication, platform::settingsSection,
                               QStringLiteral("Text1"), QString()),
             QStringLiteral("abc"));
}

void TestBadInput::otherProgramsSettingsKept_data()
{
    // The vendor's file as its programs left it; our section holds what start-up writes
    // back, so typing in the search box changes "Text1=x" alone.
    QTest::addColumn<QByteArray>("before");
    const QByteArray ours = "Text1=x\nCombo1=1\nOption1=False\nOption2=True\nOption3=False\n"
                            "Snapshot=x\n";
    QTest::newRow("Latin-1 bytes in another program's section")
        << "[Other]\nName=Jos\xE9\n\n[Lumbrex]\n" + ours;
    QTest::newRow("CR LF lines and no final line end")
        << "[Lumbrex]\r\n" + QByteArray(ours).replace("\n", "\r\n") +
               "\r\n[Other]\r\nPath=C:\\\\Temp\\\\x";
    QTest::newRow("byte-order mark, comments and a repeated section")
        << "\xEF\xBB\xBF; Tarnwick programs\n[Lumbrex]\nSnapshot=x\n[Other]\na = 1 ; one\n"
           "[Lumbrex]\n" +
               ours;
}

void TestBadInput::otherProgramsSettingsKept()
{
    QFETCH(QByteArray, before);
    const QString file = path(QStringLiteral("Tarnwick.ini"));
    QVERIFY(writeFile(QFile::encodeName(file), before));
    makeWindow(&realSettings());
    QTest::keyClicks(m_window->searchBox, QStringLiteral("bc"));
    m_window->searchBox->setText(QStringLiteral("José"));
    m_window->close();
    QCOMPARE(m_fakes->prompts.errors(), QStringList());
    QByteArray expected = before;
    expected.replace("Text1=x", "Text1=Jos\xC3\xA9");
    QCOMPARE(readFile(file), expected);
}

void TestBadInput::keystrokesNeverWaitForTheSettingsFile()
{
    // Another program holds the settings file's lock, as it does while it writes the file:
    // typing goes on, and what was typed reaches the file when the window closes.
    const QString file = path(QStringLiteral("Tarnwick.ini"));
    QVERIFY(writeFile(QFile::encodeName(file), "[Lumbrex]\nText1=old\n"));
    makeWindow(&realSettings());
    QLockFile lock(file + QStringLiteral(".lock"));
    QVERIFY(lock.tryLock(0));
    QTest::keyClicks(m_window->searchBox, QStringLiteral("abc"));
    QCOMPARE(m_window->searchBox->text(), QStringLiteral("oldabc"));
    QCOMPARE(readFile(file), QByteArray("[Lumbrex]\nText1=old\n"));
    lock.unlock();
    m_window->close();
    QCOMPARE(m_fakes->prompts.errors(), QStringList());
    QVERIFY2(readFile(file).contains("\nText1=oldabc\n"), readFile(file).constData());
}

void TestBadInput::longSearchTextKeptWhole_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("pasted"); // else restored from the settings at start-up
    QTest::newRow("40,000 characters pasted") << 40000 << true;
    QTest::newRow("a million characters pasted") << 1000000 << true;
    QTest::newRow("40,000 characters restored at start-up") << 40000 << false;
}

void TestBadInput::longSearchTextKeptWhole()
{
    // The search text is never cut short, and the setting keeps it whole. A line holding
    // only its first 32,767 characters does not match, a line holding all of it does (when
    // the line fits in one piece of 65,536 characters).
    QFETCH(int, length);
    QFETCH(bool, pasted);
    QString text;
    while (text.size() < length)
        text += QStringLiteral("%1,").arg(text.size());
    text.truncate(length);
    if (!pasted)
        m_fakes->settings.set(QStringLiteral("Text1"), text);
    makeWindow();
    if (pasted) {
        m_window->searchBox->clear();
        QApplication::clipboard()->setText(text);
        m_window->searchBox->setFocus();
        QTest::keyClick(m_window->searchBox, Qt::Key_V, Qt::ControlModifier);
    }
    QCOMPARE(m_window->searchBox->text().size(), length);
    QCOMPARE(m_fakes->settings.value(QStringLiteral("Text1")), text);
    if (length > 65536 - 3)
        return;
    const QString cut = path(QStringLiteral("cut.txt"));
    const QString whole = path(QStringLiteral("whole.txt"));
    QVERIFY(writeFile(QFile::encodeName(cut), "a " + text.left(32767).toLatin1() + "\n"));
    QVERIFY(writeFile(QFile::encodeName(whole), "b " + text.toLatin1() + "\n"));
    m_window->modeList->setCurrentIndex(1);
    m_window->lineOnlyOption->click();
    m_window->files().append(cut);
    m_window->files().append(whole);
    m_window->files().flush();
    m_window->startButton->click();
    QCOMPARE(m_fakes->prompts.errors(), QStringList());
    QCOMPARE(rows(), QStringList{QStringLiteral("b ") + text});
}

void TestBadInput::resultsKeptWhileRead_data()
{
    // What is under way, and the button clicked while it yields.
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QString>("clicked");
    QTest::newRow("Clear List during a text save") << "PushButton2"
                                                   << "PushButton9";
    QTest::newRow("Start Extracting during a text save") << "PushButton2"
                                                         << "PushButton3";
    QTest::newRow("a filter during a text save") << "PushButton2"
                                                 << "PushButton19";
    QTest::newRow("Clear List during a copy") << "PushButton18"
                                              << "PushButton9";
    QTest::newRow("Start Extracting during a filter") << "PushButton20"
                                                      << "PushButton3";
    QTest::newRow("a filter during a run") << "PushButton3"
                                           << "PushButton19";
    QTest::newRow("an export during a run") << "PushButton3"
                                            << "PushButton12";
    QTest::newRow("Delete during a text save") << "PushButton2"
                                               << "Delete";
    QTest::newRow("Delete during a filter") << "PushButton20"
                                            << "Delete";
    QTest::newRow("Delete during a run") << "PushButton3"
                                         << "Delete";
}

void TestBadInput::resultsKeptWhileRead()
{
    // A save, copy, export or filter works on the rows as they were when it started: what
    // would change the list meanwhile is refused.
    QFETCH(QString, reading);
    QFETCH(QString, clicked);
    const QString first = path(QStringLiteral("first.txt"));
    const QString second = path(QStringLiteral("second.txt"));
    QVERIFY(writeFile(QFile::encodeName(first), "one hit\r\ntwo hit\r\n"));
    QVERIFY(writeFile(QFile::encodeName(second), "other hit\r\nmore hit\r\n"));
    makeWindow();
    run({first});
    const QStringList before = rows();
    m_window->files().clear();
    m_window->files().append(second);
    m_window->files().append(second);
    m_fakes->prompts.messages.clear();

    const QString target = path(QStringLiteral("saved.txt"));
    m_fakes->dialogs.nextSaveFile = target;
    auto *button = m_window->findChild<QPushButton *>(clicked);
    QVERIFY(button || clicked == QLatin1String("Delete"));
    bool fired = false;
    m_fakes->yield.onYield = [&](int) {
        if (fired || m_window->results().count() == 0)
            return;
        fired = true;
        if (!button) {
            // Every row selected, then the key that removes the selected rows.
            m_window->resultsList->selectAll();
            QTest::keyClick(m_window->resultsList, Qt::Key_Delete);
            return;
        }
        // A filter clicked meanwhile would remove every row holding "hit".
        m_fakes->prompts.inputAnswers.push_back(QStringLiteral("hit"));
        button->click();
    };
    // The filter under way removes the rows without "hit": none.
    m_fakes->prompts.inputAnswers.push_back(QStringLiteral("hit"));
    m_window->findChild<QPushButton *>(reading)->click();
    m_fakes->yield.onYield = nullptr;
    QVERIFY(fired);
    QCOMPARE(m_fakes->prompts.errors(), QStringList());
    if (reading == QLatin1String("PushButton3")) {
        // The run adds its rows below the earlier ones; nothing was removed meanwhile.
        const QStringList added{QStringLiteral("other hit"), QStringLiteral("more hit"),
                                QStringLiteral("other hit"), QStringLiteral("more hit")};
        QCOMPARE(rows(), before + added);
        QVERIFY(m_fakes->desktop.openedSpreadsheets.isEmpty());
        return;
    }
    QCOMPARE(rows(), before);
    if (reading == QLatin1String("PushButton2")) {
        QCOMPARE(m_fakes->prompts.texts().last(), QStringLiteral("Done."));
        QCOMPARE(readFile(target), QByteArray("Results\t\r\none hit\t\r\ntwo hit\t\r\n"));
    }
}

void TestBadInput::badStoredLineCountReportedOnce()
{
    // A stored X the list cannot show is reported once. Each message box of the dialog's own
    // takes the activation for a moment and gives it back, as a real one does; that must not
    // run the activation again, or every answer brings the report back, for ever.
    m_fakes->settings.set(QStringLiteral("Combo1"), QStringLiteral("1"));
    m_fakes->settings.set(QStringLiteral("Combo2"), QStringLiteral("99"));
    makeWindow();
    shell::LinesDialog &dialog = m_window->linesDialog();
    int boxes = 0;
    m_fakes->prompts.onMessage = [&](const QString &) {
        if (++boxes > 20)
            return;
        QEvent deactivate(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(&dialog, &deactivate);
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&dialog, &activate);
    };
    dialog.show();
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&dialog, &activate);
    // Tab out of the X list, which has no entry selected.
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(dialog.linesAboveList, &leave);
    // The user brings the dialog back from another window.
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&dialog, &deactivate);
    QCoreApplication::sendEvent(&dialog, &activate);
    m_fakes->prompts.onMessage = nullptr;
    dialog.close();

    const QStringList texts = m_fakes->prompts.texts();
    QCOMPARE(m_fakes->prompts.errors().size(), 1);
    QCOMPARE(texts.count(QStringLiteral("Must be numeric entry.")), 1);
    QCOMPARE(texts.size(), 2);
    QVERIFY(boxes <= 20);
}

// Typing a pattern that backtracks for ever while a plain run goes must not reach that run:
// it would search on the window thread, with no stop check, for half a minute a piece.
void TestBadInput::catastrophicPatternTypedDuringAPlainRun()
{
    makeWindow();
    const QByteArray hopeless = QByteArray(4000, 'a') + "!\r\n";
    QStringList paths;
    for (int f = 0; f < 20; ++f) {
        paths << path(QStringLiteral("log%1.txt").arg(f));
        QVERIFY(writeFile(QFile::encodeName(paths.back()), (hopeless + "hit\r\n").repeated(8)));
    }
    shell::MainWindow &w = *m_window;
    m_fakes->yield.onYield = [&](int) {
        if (w.results().count() > 0 && !w.regexBox->isChecked()) {
            w.regexBox->setChecked(true);
            w.searchBox->setText(QStringLiteral("(a+)+$|hit"));
        }
    };
    run(paths);
    QCOMPARE(rows(), QStringList(20 * 8, QStringLiteral("hit")));
    QCOMPARE(m_fakes->prompts.texts(), QStringList{"Done."});
}

void TestBadInput::openingBadRows_data()
{
    // The "Editor" setting, the row's line and what became of its file since the run; the
    // editor started (F is the file), or the first lines of what was shown instead.
    QTest::addColumn<QString>("setting");
    QTest::addColumn<qulonglong>("line");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("done");
    QTest::newRow("a command without %f: the file goes last") << "ed -R" << 7ULL << "kept"
                                                              << "ed|-R|F";
    QTest::newRow("quotes around a program and arguments with blanks")
        << "\"/opt/My Ed/ed\" \"+%l\" \"-t two words\" %f" << 7ULL << "kept"
        << "/opt/My Ed/ed|+7|-t two words|F";
    QTest::newRow("a program that is not there: an error report of its own")
        << "nosuch-ed %f" << 7ULL << "kept"
        << "File not found: nosuch-ed\r\nin Quillon2021/08/31.Form1.OpenAtLine at line 100";
    QTest::newRow("a file deleted since the run")
        << "ed %f" << 7ULL << "deleted"
        << "The file of this row is no longer there:\r\nF";
    QTest::newRow("a file replaced by a folder")
        << "ed %f" << 7ULL << "folder"
        << "The file of this row is no longer a regular file:\r\nF";
    QTest::newRow("a line past 2^32") << "vim +%l %f" << (1ULL << 32) + 5 << "kept"
                                      << "vim|+4294967301|F";
    QTest::newRow("the last line number there is") << "vim +%l %f" << ~0ULL << "kept"
                                                   << "vim|+18446744073709551615|F";
}

void TestBadInput::openingBadRows()
{
    QFETCH(QString, setting);
    QFETCH(qulonglong, line);
    QFETCH(QString, file);
    QFETCH(QString, done);
    const QString target = path(QStringLiteral("row's file.txt"));
    QVERIFY(writeFile(QFile::encodeName(target), goodContent));
    makeWindow();
    m_fakes->settings.set(results::RowOpener::editorKey, setting);
    m_fakes->desktop.missingPrograms = QStringList{QStringLiteral("nosuch-ed")};
    m_window->results().append(QStringLiteral("good hit"));
    m_window->findChild<shell::ResultRowActions *>()->setOriginSource([&](int) {
        return platform::RowOrigin{target, line};
    });
    if (file != QLatin1String("kept"))
        QVERIFY(QFile::remove(target));
    if (file == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(target));
    m_window->resultsList->selectionModel()->setCurrentIndex(m_window->results().index(0, 0),
                                                             QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(m_window->resultsList, Qt::Key_Return);
    // What was started comes first, then what was shown.
    QStringList shown;
    for (const QStringList &call : m_fakes->desktop.started)
        shown << call.join(u'|');
    shown << m_fakes->prompts.texts().replaceInStrings(QStringLiteral("\r\r"), "|");
    QCOMPARE(shown.join(u'|').section(u'|', 0, done.count(u'|')).replace(target, "F"), done);
    QCOMPARE(rows(), QStringList{QStringLiteral("good hit")});
}

void TestBadInput::enterWhileARunAddsRows()
{
    // Enter on a row while the run adds rows opens that row; Delete then is refused, and the
    // run goes on to its end with every row.
    QStringList paths;
    QByteArray lines;
    for (int n = 1; n <= 200; ++n)
        lines += "hit " + QByteArray::number(n) + "\r\n";
    for (int f = 0; f < 30; ++f) {
        paths << path(QStringLiteral("part%1.txt").arg(f));
        QVERIFY(writeFile(QFile::encodeName(paths.back()), lines));
    }
    makeWindow();
    m_fakes->settings.set(results::RowOpener::editorKey, QStringLiteral("ed +%l %f"));
    shell::MainWindow &w = *m_window;
    // Until rows carry their origins, a row's number in the first file stands for its line.
    w.findChild<shell::ResultRowActions *>()->setOriginSource([&](int row) {
        const platform::RowOrigin own = w.results().origin(row);
        return own.known() ? own : platform::RowOrigin{paths.first(), uint64_t(row) + 1};
    });
    int pressed = 0;
    m_fakes->yield.onYield = [&](int) {
        // The rows queued so far join the view, as before every real event pump.
        w.results().flush();
        if (pressed > 0 || w.results().rowCount() < 150 || w.activity() != run::Activity::Running)
            return;
        ++pressed;
        w.resultsList->selectionModel()->setCurrentIndex(w.results().index(149, 0),
                                                         QItemSelectionModel::ClearAndSelect);
        QTest::keyClick(w.resultsList, Qt::Key_Return);
        QTest::keyClick(w.resultsList, Qt::Key_Delete);
    };
    run(paths);
    QCOMPARE(pressed, 1);
    QCOMPARE(w.results().count(), 30 * 200);
    QCOMPARE(m_fakes->desktop.started, (QList<QStringList>{{"ed", "+150", paths.first()}}));
    QCOMPARE(m_fakes->prompts.texts(), QStringList{"Done."});
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
