#include "engine/CodePage.h"
#include "engine/FileReader.h"
#include "engine/StreamText.h"
#include "engine/TextFormat.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <random>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct Report {
    std::string tag;
    int step;
    std::string description;
};

class RecordingReporter : public engine::ErrorReporter {
public:
    void reportError(const std::string &tag, int step, const std::string &description) override
    {
        reports.push_back({tag, step, description});
    }
    QList<int> steps() const
    {
        QList<int> result;
        for (const auto &report : reports)
            result << report.step;
        return result;
    }
    std::vector<Report> reports;
};

const std::string kTag = "Quillon2021/08/31.ExtractState.ReadFileToStringFSO";

QByteArray randomBytes(qsizetype size)
{
    std::mt19937 random(7);
    QByteArray bytes(size, '\0');
    for (auto &byte : bytes)
        byte = static_cast<char>(random() & 0xFF);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Returns the characters of a text, every piece end to end.
QString charactersOf(const engine::FileText &text)
{
    QString all;
    for (size_t i = 0; i < text.count(); ++i) {
        if (text.wide()) {
            all += QStringView(text.pieceUnits(i).data(), qsizetype(text.pieceUnits(i).size()));
            continue;
        }
        const std::string_view piece = text.pieceBytes(i);
        all += text.encoding() == engine::Encoding::Utf8
                   ? QString::fromStdU16String(engine::decodeUtf8(piece))
                   : QString::fromStdU16String(engine::decode(piece));
    }
    return all;
}

// Gives the bytes a few at a time, as a decompressor gives its output.
engine::StreamText::Source sourceOf(const QByteArray &bytes, qsizetype &at)
{
    return [&bytes, &at](char *out, size_t size) {
        const auto count = std::min<qsizetype>({qsizetype(size), 7, bytes.size() - at});
        std::memcpy(out, bytes.constData() + at, size_t(count));
        at += count;
        return size_t(count);
    };
}

} // namespace

class TestFileReader : public QObject {
    Q_OBJECT

private slots:
    // Files from 64 KiB on are mapped here, so that small files show what large ones do.
    void initTestCase() { engine::setMapAbove(64 * 1024 - 1); }
    void sizes_data();
    void sizes();
    void cutWhileMapped_data();
    void cutWhileMapped();
    void manyFilesMappedAtOnce();
    void largeFileOfANewSizeIsMapped();
    void buffersUsedAgain_data();
    void buffersUsedAgain();
    void unusablePaths_data();
    void unusablePaths();
    void unreadableFile();
    void recognised_data();
    void recognised();
    void repaired_data();
    void repaired();
    void highByteCounts_data();
    void highByteCounts();
    void utf8InBlocks_data();
    void utf8InBlocks();
    void growingFileIsReadToItsSizeAtOpen();
    void folderMadeAnewBetweenFiles();
    void streamParts_data();
    void streamParts();
    void streamStopsAndFailsKeepingWhatWasRead();

private:
    QTemporaryDir m_dir;
};

void TestFileReader::sizes_data()
{
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<QList<qsizetype>>("pieceSizes");
    QTest::newRow("empty file gives one empty piece") << qsizetype(0) << QList<qsizetype>{0};
    QTest::newRow("one byte") << qsizetype(1) << QList<qsizetype>{1};
    QTest::newRow("exactly one piece") << qsizetype(65536) << QList<qsizetype>{65536};
    QTest::newRow("one byte over a piece") << qsizetype(65537) << QList<qsizetype>{65536, 1};
    QTest::newRow("70,000 bytes") << qsizetype(70000) << QList<qsizetype>{65536, 4464};
    QTest::newRow("three whole pieces")
        << qsizetype(3 * 65536) << QList<qsizetype>{65536, 65536, 65536};
    QTest::newRow("several megabytes") << qsizetype(5 * 1024 * 1024 + 3) << [] {
        QList<qsizetype> sizes(80, 65536);
        sizes << 3;
        return sizes;
    }();
}

// Random bytes include NUL, lone CR and LF and every high byte; all must come back unchanged.
void TestFileReader::sizes()
{
    QFETCH(qsizetype, size);
    QFETCH(QList<qsizetype>, pieceSizes);
    QVERIFY(m_dir.isValid());
    const QString path = m_dir.filePath("sized.txt");
    const QByteArray content = randomBytes(size);
    QVERIFY(writeFile(path, content));

    // Files of 64 KiB and more are mapped where that is allowed. Read as Windows-1252 with CR LF
    // lines, a file is cut every 65,536 bytes, line ends or not. A listed file is read before
    // its size is known: one that fills the first read's buffer is asked then.
    for (const bool mayMap : {false, true})
        for (const bool listed : {false, true}) {
            RecordingReporter reporter;
            const engine::FileText pieces =
                engine::readPieces(path.toStdString(), reporter, engine::ReadRule::Windows1252CrLf,
                                   nullptr, mayMap, false, nullptr, listed);
            QCOMPARE(reporter.steps(), QList<int>{});
            QCOMPARE(pieces.count(), size_t(pieceSizes.size()));
            QByteArray joined;
            for (size_t i = 0; i < pieces.count(); ++i) {
                QCOMPARE(qsizetype(pieces.pieceBytes(i).size()), pieceSizes[qsizetype(i)]);
                joined.append(pieces.pieceBytes(i).data(), qsizetype(pieces.pieceBytes(i).size()));
            }
            QVERIFY(joined == content);
            QVERIFY(pieces.intact());
            // The kernel's copy into a buffer a few bytes past a page boundary is several times
            // slower on some processors; the second round reads into a buffer handed back.
            if (size > 0 && !pieces.mapped())
                QCOMPARE(reinterpret_cast<quintptr>(pieces.bytes().data()) % 4096, quintptr(0));
        }
}

void TestFileReader::cutWhileMapped_data()
{
    QTest::addColumn<qsizetype>("keep");
    QTest::newRow("cut to nothing") << qsizetype(0);
    QTest::newRow("cut at a page boundary") << qsizetype(128 * 1024);
    QTest::newRow("cut within a page") << qsizetype(100000);
    QTest::newRow("cut within the last page") << qsizetype(300000 - 5);
}

// A mapped file that becomes shorter must not end the program: the lost bytes read as zeros
// and the text says it is no longer whole.
void TestFileReader::cutWhileMapped()
{
    QFETCH(qsizetype, keep);
    const QString path = m_dir.filePath("cut.txt");
    const QByteArray content = randomBytes(300000);
    QVERIFY(writeFile(path, content));
    RecordingReporter reporter;
    const engine::FileText text = engine::readPieces(
        path.toStdString(), reporter, engine::ReadRule::Windows1252CrLf, nullptr, true);
    QVERIFY(text.intact());
    QCOMPARE(::truncate(QFile::encodeName(path).constData(), off_t(keep)), 0);
    const std::string_view bytes = text.bytes();
    QCOMPARE(qsizetype(bytes.size()), content.size());
    QVERIFY(QByteArrayView(bytes.data(), keep) == content.first(keep));
    QCOMPARE(qsizetype(std::count(bytes.begin() + keep, bytes.end(), '\0')), content.size() - keep);
    QVERIFY(!text.intact());
}

// Only so many mappings are watched at once; past that files are read, and every place is
// free again once its text goes.
void TestFileReader::manyFilesMappedAtOnce()
{
    const QByteArray content = randomBytes(100000);
    const QString path = m_dir.filePath("mapped.txt");
    QVERIFY(writeFile(path, content));
    for (int round = 0; round < 2; ++round) {
        std::vector<engine::FileText> texts;
        for (int i = 0; i < 100; ++i) {
            RecordingReporter reporter;
            texts.push_back(engine::readPieces(path.toStdString(), reporter,
                                               engine::ReadRule::Windows1252CrLf, nullptr, true));
            QCOMPARE(reporter.steps(), QList<int>{});
        }
        int mapped = 0;
        for (const engine::FileText &text : texts) {
            QVERIFY(QByteArrayView(text.bytes().data(), qsizetype(text.bytes().size())) == content);
            QVERIFY(text.intact());
            mapped += text.mapped() ? 1 : 0;
        }
        QCOMPARE(mapped, 64);
    }
}

// A large file of a size not met often would need fresh memory for its buffer: it is mapped.
// Once that size was met three times, the next such file is read into a buffer, which is then
// used again.
void TestFileReader::largeFileOfANewSizeIsMapped()
{
    const size_t mapAbove = engine::setMapAbove(size_t(64) << 20);
    const QByteArray content = randomBytes((7 << 20) + 777);
    const QString path = m_dir.filePath("large.txt");
    QVERIFY(writeFile(path, content));
    QList<bool> mapped;
    for (int round = 0; round < 5; ++round) {
        RecordingReporter reporter;
        const engine::FileText text = engine::readPieces(
            path.toStdString(), reporter, engine::ReadRule::Windows1252CrLf, nullptr, true);
        QVERIFY(QByteArrayView(text.bytes().data(), qsizetype(text.bytes().size())) == content);
        mapped << text.mapped();
    }
    engine::setMapAbove(mapAbove);
    QCOMPARE(mapped, (QList<bool>{true, true, true, false, false}));
}

void TestFileReader::buffersUsedAgain_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("a few kilobytes") << 3000;
    QTest::newRow("rounded up to the largest small buffer") << 200000;
    QTest::newRow("the largest small buffer itself") << 256 * 1024;
    QTest::newRow("a large buffer") << 1000000;
}

// The next file of about the same size is read into the buffer the last one handed back.
void TestFileReader::buffersUsedAgain()
{
    QFETCH(int, size);
    const QByteArray content = randomBytes(size);
    const QString path = m_dir.filePath("again.txt");
    QVERIFY(writeFile(path, content));
    QList<quintptr> buffers;
    for (int round = 0; round < 3; ++round) {
        RecordingReporter reporter;
        const engine::FileText text = engine::readPieces(path.toStdString(), reporter);
        QVERIFY(QByteArrayView(text.bytes().data(), qsizetype(text.bytes().size())) == content);
        buffers << reinterpret_cast<quintptr>(text.bytes().data());
    }
    QCOMPARE(buffers[1], buffers[0]);
    QCOMPARE(buffers[2], buffers[0]);
}

void TestFileReader::unusablePaths_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<QString>("openFailure");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<int>("failingStep");
    const QString notRegular = "Not a regular file (FIFO, socket or device)";
    QTest::newRow("missing file") << "missing" << QList<int>{102, 104, 108, 120} << "File not found"
                                  << false << 104;
    QTest::newRow("missing folder on the way")
        << "missing folder" << QList<int>{102, 104, 108, 120} << "File not found" << false << 104;
    QTest::newRow("folder") << "folder" << QList<int>{104, 108, 120}
                            << "Path is a folder, not a file" << false << 104;
    QTest::newRow("FIFO without writer")
        << "fifo" << QList<int>{104, 108, 120} << notRegular << false << 104;
    QTest::newRow("socket") << "socket" << QList<int>{104, 108, 120} << notRegular << false << 104;
    QTest::newRow("read error is reported once")
        << "read error" << QList<int>{108} << QString() << false << 104;
    QTest::newRow("character device")
        << "device" << QList<int>{104, 108, 120} << notRegular << false << 104;
    // A path listed as a regular file that is something else by the time it is read.
    QTest::newRow("listed, missing now")
        << "missing" << QList<int>{102, 104, 108, 120} << "File not found" << true << 104;
    QTest::newRow("listed, a FIFO without writer now")
        << "fifo" << QList<int>{} << QString() << true << 104;
    QTest::newRow("listed, a character device now")
        << "device" << QList<int>{108} << notRegular << true << 108;
    QTest::newRow("listed, a folder now")
        << "folder" << QList<int>{108} << "Is a directory" << true << 108;
}

// None of these may block, and each gives exactly one empty piece after its reports.
void TestFileReader::unusablePaths()
{
    QFETCH(QString, kind);
    QFETCH(QList<int>, steps);
    QFETCH(QString, openFailure);
    QFETCH(bool, listed);
    QFETCH(int, failingStep);
    QVERIFY(m_dir.isValid());
    QString path;
    if (kind == "missing") {
        path = m_dir.filePath("no such file.txt");
    } else if (kind == "missing folder") {
        path = m_dir.filePath("no folder/file.txt");
    } else if (kind == "folder") {
        path = m_dir.filePath("a folder");
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "fifo") {
        path = m_dir.filePath(listed ? "listed pipe" : "pipe");
        QCOMPARE(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
    } else if (kind == "socket") {
        path = m_dir.filePath("sock");
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
    } else if (kind == "read error") {
        // Reading this file's first bytes fails: they are an unmapped address.
        path = "/proc/self/mem";
    } else {
        path = "/dev/zero";
    }

    RecordingReporter reporter;
    QElapsedTimer timer;
    timer.start();
    const engine::FileText pieces =
        engine::readPieces(path.toStdString(), reporter, engine::ReadRule::Automatic, nullptr,
                           false, false, nullptr, listed);
    // Refused at once; reading /dev/zero or waiting for a writer would never end.
    QVERIFY(timer.elapsed() < 20000);

    QCOMPARE(reporter.steps(), steps);
    for (const auto &report : reporter.reports)
        QCOMPARE(report.tag, kTag);
    if (!openFailure.isEmpty()) {
        const auto open = std::find_if(reporter.reports.begin(), reporter.reports.end(),
                                       [&](const Report &r) { return r.step == failingStep; });
        QCOMPARE(QString::fromStdString(open->description), openFailure);
    }
    QCOMPARE(pieces.count(), size_t(1));
    QVERIFY(pieces.pieceBytes(0).empty());
}

void TestFileReader::unreadableFile()
{
    if (::geteuid() == 0)
        QSKIP("Permissions do not stop root from reading");
    const QString path = m_dir.filePath("locked.txt");
    QVERIFY(writeFile(path, "secret"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    RecordingReporter reporter;
    const engine::FileText pieces = engine::readPieces(path.toStdString(), reporter);
    QCOMPARE(reporter.steps(), (QList<int>{104, 108, 120}));
    QCOMPARE(reporter.reports.front().description, std::string("Permission denied"));
    QCOMPARE(pieces.count(), size_t(1));
    QVERIFY(pieces.pieceBytes(0).empty());
}

void TestFileReader::recognised_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<bool>("lf");
    QTest::addColumn<QList<qsizetype>>("pieceUnits"); // characters (UTF-16 units) per piece
    const QByteArray full(65535, 'a');
    const auto e = [](engine::Encoding encoding) { return int(encoding); };
    QTest::newRow("ASCII is Windows-1252, CR LF without any LF")
        << QByteArray("a\rb") << e(engine::Encoding::Windows1252) << false << QList<qsizetype>{3};
    QTest::newRow("first LF after a CR decides CR LF, later lone LFs or not")
        << QByteArray("a\r\nb\nc") << e(engine::Encoding::Windows1252) << false
        << QList<qsizetype>{6};
    QTest::newRow("first LF alone decides LF")
        << QByteArray("a\nb\r\nc") << e(engine::Encoding::Windows1252) << true
        << QList<qsizetype>{6};
    QTest::newRow("malformed UTF-8 is Windows-1252")
        << QByteArray("caf\xC3(\n") << e(engine::Encoding::Windows1252) << true
        << QList<qsizetype>{6};
    QTest::newRow("UTF-8: a two-byte letter ends the first piece")
        << full + "\xC3\xA9z" << e(engine::Encoding::Utf8) << false << QList<qsizetype>{65536, 1};
    QTest::newRow("UTF-8: a surrogate pair is never split")
        << full + "\xF0\x9F\x98\x80z" << e(engine::Encoding::Utf8) << false
        << QList<qsizetype>{65535, 3};
    QTest::newRow("UTF-8 mark is not text")
        << QByteArray("\xEF\xBB\xBF"
                      "ab\n")
        << e(engine::Encoding::Utf8) << true << QList<qsizetype>{3};
    QTest::newRow("UTF-8 mark before malformed bytes is repaired")
        << QByteArray("\xEF\xBB\xBF\xFF"
                      "ab")
        << e(engine::Encoding::Utf8) << false << QList<qsizetype>{3};
    QByteArray pairAtEnd("\xFF\xFE");
    for (int i = 0; i < 65535; ++i)
        pairAtEnd += QByteArray("a\0", 2);
    pairAtEnd += QByteArray("\x3D\xD8\x00\xDE\n\0", 6);
    QTest::newRow("UTF-16 LE: a surrogate pair is never split")
        << pairAtEnd << e(engine::Encoding::Utf16LE) << true << QList<qsizetype>{65535, 3};
    QTest::newRow("UTF-16 BE, odd byte count")
        << QByteArray("\xFE\xFF\0a\0\r\0\nx", 9) << e(engine::Encoding::Utf16BE) << false
        << QList<qsizetype>{4};
    // A piece that cannot take the rest ends after its last line end.
    QTest::newRow("Windows-1252: a piece ends after its last CR LF")
        << QByteArray(65530, 'a') + "\r\n" + QByteArray(10, 'b') << e(engine::Encoding::Windows1252)
        << false << QList<qsizetype>{65532, 10};
    QTest::newRow("no line end: a piece never parts a CR from its LF")
        << QByteArray(65535, 'q') + "\r\nx" << e(engine::Encoding::Windows1252) << false
        << QList<qsizetype>{65535, 3};
    QTest::newRow("LF file: a CR before an LF goes with it into the next piece")
        << "\n" + QByteArray(65534, 'a') + "\r\nz" << e(engine::Encoding::Windows1252) << true
        << QList<qsizetype>{1, 65536, 1};
    QTest::newRow("CR LF file: a lone LF is no line end")
        << "a\r\n" + QByteArray(65000, 'm') + "\n" + QByteArray(600, 'm')
        << e(engine::Encoding::Windows1252) << false << QList<qsizetype>{3, 65536, 65};
    QTest::newRow("a line end right at the count fills the piece")
        << QByteArray(65534, 'a') + "\r\nb" << e(engine::Encoding::Windows1252) << false
        << QList<qsizetype>{65536, 1};
    QTest::newRow("UTF-8: pieces end after line ends, counted in characters")
        << "\xC3\xA9\n" + QByteArray(65535, 'a') + "z" << e(engine::Encoding::Utf8) << true
        << QList<qsizetype>{2, 65536};
    QTest::newRow("UTF-8: no line end, a CR LF is not parted")
        << "\xC3\xA9" + QByteArray(65534, 'a') + "\r\nz" << e(engine::Encoding::Utf8) << false
        << QList<qsizetype>{65535, 3};
    QByteArray lfAtEnd("\xFF\xFE");
    for (int i = 0; i < 65535; ++i)
        lfAtEnd += i == 7 ? QByteArray("\n\0", 2) : QByteArray("a\0", 2);
    lfAtEnd += QByteArray("\x3D\xD8\x00\xDE\n\0", 6);
    QTest::newRow("UTF-16: a piece ends after its last line end")
        << lfAtEnd << e(engine::Encoding::Utf16LE) << true << QList<qsizetype>{8, 65530};
    QTest::newRow("UTF-8: an ASCII run that fills the piece ends it before a letter")
        << QByteArray(65536, 'a') + "\xC3\xA9" << e(engine::Encoding::Utf8) << false
        << QList<qsizetype>{65536, 1};
    QTest::newRow("UTF-8: a letter in every 17 bytes, the last one fills the piece")
        << ("\xC3\xA9" + QByteArray(16, 'a')).repeated(3856) + "z" << e(engine::Encoding::Utf8)
        << false << QList<qsizetype>{65536, 17};
    QTest::newRow("repaired UTF-8 is cut at line ends too")
        << "\xE9\xC3\xA9\xC3\xA9\n" + QByteArray(65535, 'a') << e(engine::Encoding::Utf8) << true
        << QList<qsizetype>{4, 65535};
}

void TestFileReader::recognised()
{
    QFETCH(QByteArray, content);
    QFETCH(int, encoding);
    QFETCH(bool, lf);
    QFETCH(QList<qsizetype>, pieceUnits);
    const QString path = m_dir.filePath("recognised.txt");
    QVERIFY(writeFile(path, content));
    RecordingReporter reporter;
    const engine::FileText text = engine::readPieces(path.toStdString(), reporter);
    QCOMPARE(int(text.encoding()), encoding);
    QCOMPARE(text.lineEnds() == engine::LineEnds::Lf, lf);
    QList<qsizetype> sizes;
    QString joined;
    for (size_t i = 0; i < text.count(); ++i) {
        if (text.wide()) {
            sizes << qsizetype(text.pieceUnits(i).size());
            joined += QStringView(text.pieceUnits(i).data(), qsizetype(text.pieceUnits(i).size()));
        } else {
            const std::string_view piece = text.pieceBytes(i);
            const QString characters =
                encoding == int(engine::Encoding::Utf8)
                    ? QString::fromUtf8(piece.data(), qsizetype(piece.size()))
                    : QString::fromStdU16String(engine::decode(piece));
            sizes << characters.size();
            joined += characters;
        }
    }
    QCOMPARE(sizes, pieceUnits);
    QVERIFY(!joined.contains(QChar(0xFEFF)));
}

void TestFileReader::repaired_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QString>("text");
    const QString replacement(QChar(0xFFFD));
    const QByteArray e = "\xC3\xA9"; // é
    QTest::newRow("one stray byte among accented letters")
        << "caf" + e + " \xE9t" + e << true << "café " + replacement + "té";
    QTest::newRow("as many stray bytes as characters: Windows-1252")
        << e + "\xE9" << false << QString::fromUtf8("Ã©é");
    QTest::newRow("no character of several bytes: Windows-1252")
        << QByteArray("caf\xE9 \xC3") << false << QString::fromUtf8("café Ã");
    QTest::newRow("an overlong form and a surrogate: one replacement a byte")
        << e.repeated(7) + " \xE0\x80\x80 \xED\xA0\x80" << true
        << QString::fromUtf8("ééééééé ") + replacement.repeated(3) + " " + replacement.repeated(3);
    QTest::newRow("a character cut short is one replacement")
        << e.repeated(3) + " \xE2\x82 x \xF0\x9F\x98" << true
        << QString::fromUtf8("ééé ") + replacement + " x " + replacement;
    QTest::newRow("above U+10FFFF: one replacement a byte")
        << "\xF4\x90\x80\x80" + e.repeated(5) << true
        << replacement.repeated(4) + QString::fromUtf8("ééééé");
    QTest::newRow("a lead byte before an ASCII letter")
        << "\xC3" + QByteArray("a") + e + e << true << replacement + QString::fromUtf8("aéé");
    QTest::newRow("bytes no character starts with")
        << "\xC0\xAF\xF5\xFF" + e.repeated(5) << true
        << replacement.repeated(4) + QString::fromUtf8("ééééé");
    QTest::newRow("one stray byte at the very end of a long file")
        << (QByteArray(100000, 'x') + "\n" + e + "\n").repeated(3) + "\xFF" << true
        << (QString(100000, u'x') + QString::fromUtf8("\né\n")).repeated(3) + replacement;
    QTest::newRow("after a byte-order mark, stray bytes are always repaired")
        << QByteArray("\xEF\xBB\xBF\xE9\xE9") << true << replacement.repeated(2);
}

// A file without a byte-order mark is UTF-8 when its characters of several bytes outnumber its
// ill-formed subsequences, each of which reads as one replacement character.
void TestFileReader::repaired()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, utf8);
    QFETCH(QString, text);
    const QString path = m_dir.filePath("repaired.txt");
    QVERIFY(writeFile(path, content));
    RecordingReporter reporter;
    const engine::FileText read = engine::readPieces(path.toStdString(), reporter);
    QCOMPARE(read.encoding() == engine::Encoding::Utf8, utf8);
    QCOMPARE(read.wide(), utf8);
    QString joined;
    for (size_t i = 0; i < read.count(); ++i) {
        if (utf8)
            joined += QStringView(read.pieceUnits(i).data(), qsizetype(read.pieceUnits(i).size()));
        else
            joined += QString::fromStdU16String(engine::decode(read.pieceBytes(i)));
    }
    QCOMPARE(joined, text);
}

void TestFileReader::highByteCounts_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("percentHigh");
    QTest::newRow("empty") << 0 << 50;
    QTest::newRow("shorter than a vector") << 15 << 50;
    QTest::newRow("a vector and a byte") << 33 << 50;
    QTest::newRow("a few hundred bytes, mostly ASCII") << 300 << 3;
    QTest::newRow("more than 255 rounds of vectors") << 9000 << 100;
    QTest::newRow("a megabyte, a few high bytes") << (1 << 20) << 1;
}

// The vector counts must equal a count byte by byte, at every length and density: a file
// with many high bytes fills each lane's count to its limit.
void TestFileReader::highByteCounts()
{
    QFETCH(int, size);
    QFETCH(int, percentHigh);
    std::mt19937 random(unsigned(size + percentHigh));
    const unsigned char pool[] = {0xC3, 0xA9, 0xE9, 0x80, 0xBF, 0xC2, 0xF4, 0xF5, 0xE2, 0x82};
    for (int round = 0; round < 20; ++round) {
        QByteArray bytes(size + round, 'a');
        for (auto &byte : bytes) {
            if (int(random() % 100) < percentHigh)
                byte = char(pool[random() % sizeof pool]);
        }
        size_t high = 0;
        size_t starts = 0;
        size_t firstHigh = std::string_view::npos;
        bool highPair = false; // a byte of 0xC0 or above before one that can continue
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const auto b = uchar(bytes[i]);
            high += b >= 0x80 ? 1 : 0;
            if (b >= 0x80 && firstHigh == std::string_view::npos)
                firstHigh = size_t(i);
            const bool continued =
                i + 1 < bytes.size() && uchar(bytes[i + 1]) >= 0x80 && uchar(bytes[i + 1]) <= 0xBF;
            if (continued && b >= 0xC2 && b <= 0xF4)
                ++starts;
            highPair = highPair || (continued && b >= 0xC0);
        }
        const std::string_view view(bytes.constData(), size_t(bytes.size()));
        const engine::HighByteCounts counts = engine::countHighBytes(view);
        QCOMPARE(counts.high, high);
        QCOMPARE(counts.starts, starts);
        QCOMPARE(engine::firstHighByte(view), firstHigh);
        // One high byte in ASCII is found wherever it lies, in a round of vectors or after.
        if (!bytes.isEmpty()) {
            QByteArray ascii(bytes.size(), 'a');
            const qsizetype at = qsizetype(random() % size_t(bytes.size()));
            ascii[at] = char(0xE9);
            QCOMPARE(
                engine::firstHighByte(std::string_view(ascii.constData(), size_t(ascii.size()))),
                size_t(at));
        }
        // Looked through in two parts, a place at the cut reads the byte after it all the same.
        const size_t cut = size_t(random()) % (view.size() + 1);
        QCOMPARE(engine::anyUtf8Start(view, 0, cut) || engine::anyUtf8Start(view, cut, view.size()),
                 highPair);
        QVERIFY(starts == 0 || highPair);
        // Bytes that can continue a character, but none that can start one.
        QByteArray noLeads = bytes;
        for (auto &byte : noLeads) {
            if (uchar(byte) >= 0xC0)
                byte = char(0xBF);
        }
        QVERIFY(!engine::anyUtf8Start(std::string_view(noLeads.constData(), view.size()), 0,
                                      view.size()));
    }
}

void TestFileReader::utf8InBlocks_data()
{
    QTest::addColumn<QByteArray>("filler");
    QTest::addColumn<QByteArray>("inserted");
    const QByteArray cyrillic = "привет мир, строка\n";
    const QByteArray wide = "日本語😀テキスト\n";
    QTest::newRow("Cyrillic") << cyrillic << QByteArray();
    QTest::newRow("CJK and emoji") << wide << QByteArray();
    QTest::newRow("emoji without line ends") << QByteArray("😀😀😀a") << QByteArray();
    QTest::newRow("Latin, a letter now and then")
        << QByteArray("abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 é\n")
        << QByteArray();
    QTest::newRow("overlong of two") << cyrillic << QByteArray("\xC1\xBF");
    QTest::newRow("overlong of three") << wide << QByteArray("\xE0\x9F\xBF");
    QTest::newRow("overlong of four") << wide << QByteArray("\xF0\x8F\xBF\xBF");
    QTest::newRow("surrogate") << cyrillic << QByteArray("\xED\xA0\x80");
    QTest::newRow("above U+10FFFF") << wide << QByteArray("\xF4\x90\x80\x80");
    QTest::newRow("F5") << wide << QByteArray("\xF5\x80\x80\x80");
    QTest::newRow("stray continuation") << cyrillic << QByteArray("\x80");
    QTest::newRow("one continuation too many") << cyrillic << QByteArray("\xD0\xBF\xBF");
    QTest::newRow("lead before ASCII") << cyrillic << "\xD0" + QByteArray(130, 'a');
    QTest::newRow("three-byte character cut") << wide << QByteArray("\xE6\x97");
    QTest::newRow("four-byte character cut") << wide << QByteArray("\xF0\x9F\x98");
}

// Blocks walked by vectors and characters walked one by one must agree with a decoder of
// their own on what is well-formed, and the pieces must be those of the decoded text, with
// the bytes in question at every place of a block, around a piece's end and at the end.
void TestFileReader::utf8InBlocks()
{
    QFETCH(QByteArray, filler);
    QFETCH(QByteArray, inserted);
    const auto check = [&](const QByteArray &content) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder.decode(content);
        const std::string_view bytes(content.constData(), size_t(content.size()));
        const engine::LineEnds ends = engine::lineEndsOf(bytes);
        std::vector<size_t> starts;
        const bool wellFormed = engine::utf8PieceStarts(bytes, ends, starts);
        QCOMPARE(wellFormed, !decoder.hasError());
        if (!wellFormed)
            return;
        const std::u16string_view units(reinterpret_cast<const char16_t *>(decoded.utf16()),
                                        size_t(decoded.size()));
        const std::vector<size_t> wideStarts = engine::widePieceStarts(units, ends);
        QCOMPARE(starts.size(), wideStarts.size());
        for (size_t p = 0; p < starts.size(); ++p) {
            const size_t end = p + 1 < starts.size() ? starts[p + 1] : bytes.size();
            const size_t wideEnd = p + 1 < starts.size() ? wideStarts[p + 1] : units.size();
            QCOMPARE(size_t(QString::fromUtf8(
                                content.mid(qsizetype(starts[p]), qsizetype(end - starts[p])))
                                .size()),
                     wideEnd - wideStarts[p]);
        }
    };
    // A little text, and enough to come close to a piece's end, in UTF-16 units.
    const qsizetype fillerUnits = QString::fromUtf8(filler).size();
    const QByteArray little = filler.repeated(1000 / filler.size() + 1);
    const QByteArray nearlyFull = filler.repeated(65400 / fillerUnits);
    for (int at = 0; at < 130; ++at) {
        check(QByteArray(at, 'a') + inserted + little);
        check(nearlyFull + QByteArray(at, 'a') + inserted + little);
        check(little + QByteArray(at, 'a') + inserted);
    }
}

namespace {

std::string g_growing;
int g_appends = 0;

// Imitates a program writing a log as fast as it is read: a megabyte more after each read.
void appendToGrowingFile()
{
    if (g_appends >= 40)
        return;
    ++g_appends;
    QFile file(QString::fromStdString(g_growing));
    if (file.open(QIODevice::Append))
        file.write(QByteArray(1 << 20, 'g'));
}

} // namespace

// A file read while it grows is read up to the size it had when it was opened, not until the
// writer stops.
void TestFileReader::growingFileIsReadToItsSizeAtOpen()
{
    const QString path = m_dir.filePath("growing.log");
    const QByteArray content = QByteArray("line\r\n").repeated(3 << 20); // 18 MiB: two reads
    g_growing = path.toStdString();
    // A listed file is asked its size after its first read, before it grows.
    for (const bool listed : {false, true}) {
        QVERIFY(writeFile(path, content));
        g_appends = 0;
        engine::setAfterEachRead(&appendToGrowingFile);
        RecordingReporter reporter;
        const engine::FileText text =
            engine::readPieces(path.toStdString(), reporter, engine::ReadRule::Automatic, nullptr,
                               false, false, nullptr, listed);
        engine::setAfterEachRead(nullptr);
        QVERIFY(g_appends > 0);
        QCOMPARE(reporter.steps(), QList<int>{});
        QCOMPARE(qsizetype(text.bytes().size()), content.size());
        QVERIFY(QByteArrayView(text.bytes().data(), qsizetype(text.bytes().size())) == content);
    }
}

// The files of one folder are opened from the folder opened for the first of them; a folder
// removed and made anew meanwhile is the one its path names.
void TestFileReader::folderMadeAnewBetweenFiles()
{
    const QString folder = m_dir.filePath("made anew");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeFile(folder + "/first.txt", "first"));
    RecordingReporter reporter;
    QCOMPARE(engine::readPieces((folder + "/first.txt").toStdString(), reporter).bytes(),
             std::string_view("first"));
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeFile(folder + "/second.txt", "second"));
    QCOMPARE(engine::readPieces((folder + "/second.txt").toStdString(), reporter).bytes(),
             std::string_view("second"));
    QCOMPARE(reporter.steps(), QList<int>{});
}

QTEST_APPLESS_MAIN(TestFileReader)
#include "tst_filereader.moc"

void TestFileReader::streamParts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("partSize");
    const QString text = QStringLiteral("caf\u00E9 line %1 \u20AC\r\n");
    QByteArray utf8;
    QByteArray utf16le("\xFF\xFE");
    QByteArray utf16be("\xFE\xFF");
    for (int i = 0; i < 40; ++i) {
        const QString line = text.arg(i);
        utf8 += line.toUtf8();
        for (const QChar c : line) {
            utf16le += char(c.unicode() & 0xFF);
            utf16le += char(c.unicode() >> 8);
            utf16be += char(c.unicode() >> 8);
            utf16be += char(c.unicode() & 0xFF);
        }
    }
    QByteArray ascii;
    for (int i = 0; i < 60; ++i)
        ascii += "plain line " + QByteArray::number(i) + "\n";
    QTest::newRow("UTF-8, CR LF") << utf8 << 64;
    QTest::newRow("UTF-8 with its mark") << "\xEF\xBB\xBF" + utf8 << 64;
    QTest::newRow("UTF-16 LE with its mark") << utf16le << 64;
    QTest::newRow("UTF-16 BE with its mark") << utf16be << 100;
    QTest::newRow("Windows-1252, LF") << ascii + "caf\xE9\n" + ascii << 50;
    QTest::newRow("ASCII parts, then UTF-8") << ascii + "caf\xC3\xA9\n" + ascii << 50;
    QTest::newRow("LF lines among CR LF ones stay inside them")
        << QByteArray("a\r\n") + QByteArray("b\n").repeated(40) + "c\r\n"
        << 32;
    QTest::newRow("a line longer than a part") << QByteArray(300, 'x') + "\n" + ascii << 64;
    QTest::newRow("one part holds it all") << utf8 << (1 << 20);
    QTest::newRow("an empty stream is one empty part") << QByteArray() << 64;
}

// A stream cut into parts reads as the same characters, with the same line ends, as the
// whole text: each part but the last ends at a line end, the first part deciding its kind.
void TestFileReader::streamParts()
{
    QFETCH(QByteArray, content);
    QFETCH(int, partSize);
    engine::FileText whole{std::string_view(content.constData(), size_t(content.size()))};
    whole.recognise(false);
    qsizetype at = 0;
    engine::StreamText stream(sourceOf(content, at), nullptr, size_t(partSize));
    QString joined;
    int parts = 0;
    while (std::optional<engine::FileText> part = stream.next()) {
        ++parts;
        part->settle();
        const QString characters = charactersOf(*part);
        // A part without an LF reads the same with either kind of line end.
        if (characters.contains(u'\n'))
            QCOMPARE(part->lineEnds(), whole.lineEnds());
        const QString lineEnd = whole.lineEnds() == engine::LineEnds::Lf ? QStringLiteral("\n")
                                                                         : QStringLiteral("\r\n");
        if (at < content.size())
            QVERIFY2(characters.endsWith(lineEnd) || !characters.contains(lineEnd),
                     qPrintable(characters));
        joined += characters;
    }
    QCOMPARE(joined, charactersOf(whole));
    QVERIFY(parts >= (content.size() > partSize ? 2 : 1));
}

void TestFileReader::streamStopsAndFailsKeepingWhatWasRead()
{
    const QByteArray content = QByteArray("hit\n").repeated(1000);
    std::atomic<bool> stop{false};
    int reads = 0;
    engine::StreamText stopped(
        [&](char *out, size_t size) {
            if (++reads == 3)
                stop = true;
            std::memset(out, 'x', std::min<size_t>(size, 16));
            return std::min<size_t>(size, 16);
        },
        &stop, 1024);
    QVERIFY(stopped.next());
    QVERIFY(!stopped.next());
    QCOMPARE(reads, 3);

    qsizetype at = 0;
    engine::StreamText failing(
        [&, source = sourceOf(content, at)](char *out, size_t size) {
            if (at >= 2000)
                throw engine::Failure("Damaged or truncated data");
            return source(out, size);
        },
        nullptr, size_t(1) << 20);
    const std::optional<engine::FileText> part = failing.next();
    QVERIFY(part);
    QCOMPARE(part->bytes().size(), size_t(2002));
    QVERIFY_THROWS_EXCEPTION(engine::Failure, failing.next());
}
