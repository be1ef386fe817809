#include "engine/CodePage.h"
#include "engine/FileReader.h"

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

} // namespace

class TestFileReader : public QObject {
    Q_OBJECT

private slots:
    void sizes_data();
    void sizes();
    void cutWhileMapped_data();
    void cutWhileMapped();
    void manyFilesMappedAtOnce();
    void unusablePaths_data();
    void unusablePaths();
    void unreadableFile();
    void recognised_data();
    void recognised();

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

    // Files of 64 KiB and more are mapped where that is allowed.
    for (const bool mayMap : {false, true}) {
        RecordingReporter reporter;
        const engine::FileText pieces = engine::readPieces(
            path.toStdString(), reporter, engine::ReadRule::Automatic, nullptr, mayMap);
        QCOMPARE(reporter.steps(), QList<int>{});
        QCOMPARE(pieces.count(), size_t(pieceSizes.size()));
        QByteArray joined;
        for (size_t i = 0; i < pieces.count(); ++i) {
            QCOMPARE(qsizetype(pieces.pieceBytes(i).size()), pieceSizes[qsizetype(i)]);
            joined.append(pieces.pieceBytes(i).data(), qsizetype(pieces.pieceBytes(i).size()));
        }
        QVERIFY(joined == content);
        QVERIFY(pieces.intact());
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

void TestFileReader::unusablePaths_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<QString>("openFailure");
    QTest::newRow("missing file") << "missing" << QList<int>{102, 104, 108, 120}
                                  << "File not found";
    QTest::newRow("missing folder on the way")
        << "missing folder" << QList<int>{102, 104, 108, 120} << "File not found";
    QTest::newRow("folder") << "folder" << QList<int>{104, 108, 120}
                            << "Path is a folder, not a file";
    QTest::newRow("FIFO without writer")
        << "fifo" << QList<int>{104, 108, 120} << "Not a regular file (FIFO, socket or device)";
    QTest::newRow("socket") << "socket" << QList<int>{104, 108, 120}
                            << "Not a regular file (FIFO, socket or device)";
    QTest::newRow("read error is reported once") << "read error" << QList<int>{108} << QString();
    QTest::newRow("character device")
        << "device" << QList<int>{104, 108, 120} << "Not a regular file (FIFO, socket or device)";
}

// None of these may block, and each gives exactly one empty piece after its reports.
void TestFileReader::unusablePaths()
{
    QFETCH(QString, kind);
    QFETCH(QList<int>, steps);
    QFETCH(QString, openFailure);
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
        path = m_dir.filePath("pipe");
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
    const engine::FileText pieces = engine::readPieces(path.toStdString(), reporter);
    QVERIFY(timer.elapsed() < 2000);

    QCOMPARE(reporter.steps(), steps);
    for (const auto &report : reporter.reports)
        QCOMPARE(report.tag, kTag);
    if (!openFailure.isEmpty()) {
        const auto open = std::find_if(reporter.reports.begin(), reporter.reports.end(),
                                       [](const Report &r) { return r.step == 104; });
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

QTEST_APPLESS_MAIN(TestFileReader)
#include "tst_filereader.moc"
