#include "engine/CodePage.h"
#include "engine/Steps.h"
#include "platform/ListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <cstdlib>
#include <cstring>

class TestListModel : public QObject {
    Q_OBJECT
private slots:
    void deferredRowsJoinAtFlush();
    void rowsKeepTheirText_data();
    void rowsKeepTheirText();
    void removeRows_data();
    void removeRows();
    void outOfRangeFails();
    void sectionsKeepWhatFoundTheirRows();
    void longRowsAreShownByTheirStartButKeptWhole();
};

void TestListModel::deferredRowsJoinAtFlush()
{
    platform::ListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setHeader("Results");
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 5; ++i)
        model.appendDeferred(QString::number(i));
    // Counted and readable at once, shown to views in one insertion.
    QCOMPARE(model.count(), 5);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.text(4), QStringLiteral("4"));
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(inserted.size(), 1);
    model.append("5");
    QCOMPARE(model.texts().size(), 6);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Results"));
}

void TestListModel::rowsKeepTheirText_data()
{
    QTest::addColumn<QStringList>("prefixes");
    QTest::addColumn<QStringList>("texts");
    const QString omega(QChar(0x03A9));
    const QString nel(QChar(0x0085)); // a C1 control the code page has no byte for
    const QString gap(QChar(0x0081)); // one of the five bytes the code page leaves undefined
    QTest::newRow("plain") << QStringList{"", ""} << QStringList{"abc", "the quick fox"};
    QTest::newRow("code page letters")
        << QStringList{"", ""} << QStringList{"Šé€…ÿ", gap + "x\u00a0"};
    QTest::newRow("outside the code page")
        << QStringList{"", "", ""} << QStringList{omega + "mega", "a\U0001F600b", nel};
    QTest::newRow("two-byte rows after odd lengths")
        << QStringList{"", "", "", ""} << QStringList{"abc", omega, "d", omega + omega};
    QTest::newRow("empty rows") << QStringList{"", "p ", "p "} << QStringList{"", "", "x"};
    QTest::newRow("prefixes shared, changed, dropped")
        << QStringList{"C:/a.txt ", "C:/a.txt ", "C:/b" + omega + " ", "", "C:/a.txt "}
        << QStringList{"one", "tw" + omega, "three", "four", "five"};
    QTest::newRow("a row of 5 MB, larger than a segment")
        << QStringList{"", "f ", ""} << QStringList{"x", QString(5 << 20, QChar('y')) + omega, "z"};
}

void TestListModel::rowsKeepTheirText()
{
    QFETCH(QStringList, prefixes);
    QFETCH(QStringList, texts);
    platform::ListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setHeader("Results");
    for (qsizetype r = 0; r < texts.size(); ++r) {
        // Every third row comes as Windows-1252 bytes where it can, as a run hands them.
        const auto bytes = engine::encode(texts.at(r).toStdU16String());
        const QString path = QStringLiteral("/src/%1.txt").arg(r % 2);
        if (r % 3 == 1 && bytes)
            model.appendDeferredWindows1252(prefixes.at(r), *bytes, path, uint64_t(r + 1));
        else
            model.appendDeferred(prefixes.at(r), texts.at(r), path, uint64_t(r + 1));
    }
    const auto expectRows = [&](const QStringList &whole) {
        QCOMPARE(model.texts(), whole);
        for (int r = 0; r < model.count(); ++r) {
            QCOMPARE(model.textSize(r), whole.at(r).size());
            QCOMPARE(model.data(model.index(r, 0)).toString(), whole.at(r).left(2000));
            QCOMPARE(model.origin(r).path, QStringLiteral("/src/%1.txt").arg(r % 2));
            QCOMPARE(model.origin(r).line, uint64_t(r + 1));
        }
    };
    QStringList whole;
    for (qsizetype r = 0; r < texts.size(); ++r)
        whole.append(prefixes.at(r) + texts.at(r));
    expectRows(whole);
    // Replacing a row in the middle leaves its neighbours and their prefixes as they were.
    const int middle = int(whole.size() / 2);
    for (const QString &replacement : {QStringLiteral("new"), QStringLiteral("n\u03a9w")}) {
        model.setText(middle, replacement);
        whole[middle] = replacement;
        expectRows(whole);
    }
}

// The text of generated row n: optionally with a prefix shared by runs of rows and, for some,
// a character outside the code page.
QString generatedRow(int n, bool mixed)
{
    if (!mixed)
        return QString::number(n);
    return QStringLiteral("file%1 ").arg(n / 7) + QString::number(n) +
           (n % 5 == 0 ? QStringLiteral("\u03a9") : QString());
}

// Where generated row n came from: rows of a prefix share their file, and the line numbers
// count up from base.
platform::RowOrigin generatedOrigin(int n, bool mixed, qulonglong base)
{
    // Mixed rows also come from members of an archive, in runs of another length than the
    // files'.
    platform::PackedMember member;
    if (mixed && n / 3 % 2 == 1)
        member = {QStringLiteral("m%1.txt").arg(n / 3), n / 3};
    return {mixed ? QStringLiteral("/f/%1.txt").arg(n / 7) : QStringLiteral("/f/one.txt"),
            base + uint64_t(n), member};
}

void TestListModel::removeRows_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("mixed");
    QTest::addColumn<int>("batch"); // rows the list takes over at once; 0: one by one
    QTest::addColumn<QList<int>>("remove");
    QTest::addColumn<qulonglong>("firstLine");
    const qulonglong one = 1;
    // Line numbers that cross what 32 bits hold, inside a run of rows of one file.
    const qulonglong high = (qulonglong(1) << 32) - 90;
    QTest::newRow("nothing") << 5 << false << 0 << QList<int>{} << one;
    QTest::newRow("one run") << 5 << false << 0 << QList<int>{1, 2, 3} << one;
    QTest::newRow("two runs, unsorted, repeated")
        << 6 << false << 0 << QList<int>{5, 0, 1, 5} << one;
    QTest::newRow("everything") << 4 << false << 0 << QList<int>{0, 1, 2, 3} << one;
    QList<int> scattered;
    for (int r = 0; r < 200; r += 3)
        scattered.append(r);
    QTest::newRow("many scattered runs") << 200 << false << 0 << scattered << one;
    QTest::newRow("prefixes and two-byte rows, scattered") << 200 << true << 0 << scattered << one;
    QTest::newRow("taken over in batches, scattered") << 200 << true << 5 << scattered << one;
    QTest::newRow("a run's first rows")
        << 30 << true << 0 << QList<int>{7, 8, 14, 21, 22, 23} << one;
    QTest::newRow("lines past 2^32, one by one") << 200 << false << 0 << scattered << high;
    QTest::newRow("lines past 2^32, taken over") << 200 << false << 150 << scattered << high;
    QTest::newRow("lines past 2^32, the rows below it removed")
        << 200 << false << 0 << QList<int>{0, 1, 2, 88, 89, 90, 91} << high;
    QList<int> sparse;
    for (int r = 0; r < 150000; r += 997)
        sparse.append(r);
    QTest::newRow("across segments") << 150000 << true << 0 << sparse << one;
    QTest::newRow("batches more than a segment holds") << 150000 << false << 70000 << sparse << one;
    QList<int> front;
    for (int r = 0; r < 70000; ++r)
        front.append(r);
    QTest::newRow("a whole segment and more") << 150000 << true << 0 << front << one;
    QTest::newRow("a whole batch and more") << 150000 << false << 1000 << front << one;
}

// Adds rows from row first on with the prefix of that row and one byte a character, at most
// batch of them, as a run hands over a piece's rows; returns how many it added.
int adoptBatch(platform::ListModel &model, int first, int rows, bool mixed, int batch,
               qulonglong firstLine)
{
    const auto split = [&](int r) {
        const QString text = generatedRow(r, mixed);
        const qsizetype space = text.indexOf(QLatin1Char(' ')) + 1;
        return std::pair{text.left(space), engine::encode(text.mid(space).toStdU16String())};
    };
    const QString prefix = split(first).first;
    std::string joined;
    std::vector<size_t> sizes;
    std::vector<uint64_t> lines;
    for (int r = first; r < rows && r - first < batch; ++r) {
        const auto [rowPrefix, bytes] = split(r);
        if (rowPrefix != prefix || !bytes ||
            !(generatedOrigin(r, mixed, firstLine).member ==
              generatedOrigin(first, mixed, firstLine).member))
            break;
        joined += *bytes;
        sizes.push_back(bytes->size());
        lines.push_back(generatedOrigin(r, mixed, firstLine).line);
    }
    engine::OwnedBytes owned(static_cast<char *>(std::malloc(joined.size() + 1)));
    std::memcpy(owned.get(), joined.data(), joined.size());
    std::vector<std::string_view> views;
    const char *at = owned.get();
    for (const size_t size : sizes) {
        views.emplace_back(at, size);
        at += size;
    }
    const platform::RowOrigin origin = generatedOrigin(first, mixed, firstLine);
    model.adoptDeferredWindows1252(prefix, std::move(owned), views, origin.path, lines,
                                   origin.member);
    return int(sizes.size());
}

void TestListModel::removeRows()
{
    QFETCH(int, rows);
    QFETCH(bool, mixed);
    QFETCH(int, batch);
    QFETCH(QList<int>, remove);
    QFETCH(qulonglong, firstLine);
    platform::ListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setHeader("Results");
    std::vector<bool> removed(size_t(rows), false);
    for (const int r : remove)
        removed[size_t(r)] = true;
    QList<int> kept;
    for (int r = 0; r < rows;) {
        const int added = batch > 0 ? adoptBatch(model, r, rows, mixed, batch, firstLine) : 0;
        if (added == 0) {
            const QString text = generatedRow(r, mixed);
            const qsizetype space = text.indexOf(QLatin1Char(' ')) + 1;
            const platform::RowOrigin origin = generatedOrigin(r, mixed, firstLine);
            model.appendDeferred(text.left(space), QStringView(text).mid(space), origin.path,
                                 origin.line, origin.member);
        }
        r += std::max(added, 1);
    }
    for (int r = 0; r < rows; ++r) {
        if (!removed[size_t(r)])
            kept.append(r);
    }
    model.removeRowsSorted(std::vector<int>(remove.begin(), remove.end()));
    QCOMPARE(model.rowCount(), int(kept.size()));
    QCOMPARE(model.count(), int(kept.size()));
    // Kept rows keep their texts and where they came from.
    QSet<QString> files;
    for (int r = 0; r < model.count(); ++r) {
        QCOMPARE(model.text(r), generatedRow(kept.at(r), mixed));
        const platform::RowOrigin origin = generatedOrigin(kept.at(r), mixed, firstLine);
        QCOMPARE(model.origin(r).path, origin.path);
        QCOMPARE(model.origin(r).line, origin.line);
        QCOMPARE(model.origin(r).member.name, origin.member.name);
        QCOMPARE(model.origin(r).member.index, origin.member.index);
        files.insert(origin.path);
    }
    QCOMPARE(model.fileCount(), int(files.size()));
    // The list takes new rows after a removal.
    model.append("after");
    QCOMPARE(model.text(model.count() - 1), QStringLiteral("after"));
}

void TestListModel::outOfRangeFails()
{
    platform::ListModel model;
    model.append("a");
    QVERIFY_THROWS_EXCEPTION(engine::Failure, model.text(1));
    QVERIFY_THROWS_EXCEPTION(engine::Failure, model.removeAt(-1));
    QVERIFY_THROWS_EXCEPTION(engine::Failure, model.removeRowsSorted({0, 1}));
    QCOMPARE(model.count(), 1);
}

void TestListModel::longRowsAreShownByTheirStartButKeptWhole()
{
    platform::ListModel model;
    model.setHeader("Results");
    const QString row(70000, 'x');
    model.append(row);
    QCOMPARE(model.data(model.index(0, 0)).toString().size(), 2000);
    QCOMPARE(model.text(0), row);
    QCOMPARE(model.texts().front(), row);
}

namespace {

// Marks every occurrence of one letter.
class LetterMarks : public platform::MatchMarks {
public:
    explicit LetterMarks(QChar letter) : m_letter(letter) {}
    std::vector<platform::TextSpan> find(QStringView text) const override
    {
        std::vector<platform::TextSpan> spans;
        for (qsizetype at = text.indexOf(m_letter); at >= 0; at = text.indexOf(m_letter, at + 1))
            spans.push_back({at, 1});
        return spans;
    }

private:
    QChar m_letter;
};

using Spans = std::vector<platform::TextSpan>;

} // namespace

// Rows of each run keep what found them, also once the list is cleared meanwhile or rows
// go; the marks are found after the row's prefix only, and the files are counted as rows come.
void TestListModel::sectionsKeepWhatFoundTheirRows()
{
    platform::ListModel model;
    model.append("no run");
    model.startSection(std::make_shared<LetterMarks>('a'));
    model.appendDeferred("/a.txt ", u"a b a", "/a.txt", 1);
    model.appendDeferred("", u"bab", "/b.txt", 7);
    QCOMPARE(model.fileCount(), 2);
    model.startSection(std::make_shared<LetterMarks>('b'));
    model.appendDeferred("", u"bab", "/a.txt", 9);
    QCOMPARE(model.fileCount(), 2);
    model.appendDeferred("/c.txt ", u"ab", "/c.txt", 2);
    QCOMPARE(model.fileCount(), 3);
    // Rows the views have not heard of yet show no marks: painting never flushes.
    QCOMPARE(model.marksIn(3, u"bab"), Spans{});
    model.flush();
    QCOMPARE(model.marksIn(0, u"a"), Spans{});
    QCOMPARE(model.marksIn(1, model.text(1)), (Spans{{7, 1}, {11, 1}}));
    QCOMPARE(model.marksIn(2, u"bab"), (Spans{{1, 1}}));
    QCOMPARE(model.marksIn(3, u"bab"), (Spans{{0, 1}, {2, 1}}));
    // A shown text cut inside the prefix holds no marks.
    QCOMPARE(model.marksIn(4, u"/c.t"), Spans{});
    model.removeAt(2);
    QCOMPARE(model.fileCount(), 2);
    QCOMPARE(model.marksIn(2, u"bab"), (Spans{{0, 1}, {2, 1}}));
    model.clear();
    QCOMPARE(model.fileCount(), 0);
    model.appendDeferred("", u"abc", "/d.txt", 3);
    model.flush();
    QCOMPARE(model.marksIn(0, u"abc"), (Spans{{1, 1}}));
    QCOMPARE(model.origin(0).path, QStringLiteral("/d.txt"));
    QCOMPARE(model.fileCount(), 1);
}

QTEST_APPLESS_MAIN(TestListModel)
#include "tst_listmodel.moc"
