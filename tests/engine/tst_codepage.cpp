#include "engine/CodePage.h"
#include "engine/UnicodeCase.h"

#include <QtTest>

#include <map>
#include <random>
#include <set>

class TestCodePage : public QObject {
    Q_OBJECT

private slots:
    void lowerTableFollowsUnicode_data();
    void lowerTableFollowsUnicode();
    void characters_data();
    void characters();
    void everyByteRoundTrips();
    void rowsWrittenAsUtf8();
    void encode_data();
    void encode();
    void lowerUnitFollowsUnicode();
};

void TestCodePage::lowerTableFollowsUnicode_data()
{
    QTest::addColumn<int>("byte");
    for (int b = 0; b < 256; ++b)
        QTest::newRow(QByteArray("byte 0x" + QByteArray::number(b, 16)).constData()) << b;
}

// The table must equal the simple lower case of each character, mapped back to a byte.
void TestCodePage::lowerTableFollowsUnicode()
{
    QFETCH(int, byte);
    const QChar character(engine::toUnicode(static_cast<unsigned char>(byte)));
    const int lowered = engine::fromUnicode(character.toLower().unicode());
    const int expected = lowered < 0 ? byte : lowered;
    QCOMPARE(int(engine::lowerTable()[byte]), expected);
}

void TestCodePage::characters_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("character");
    QTest::newRow("NUL") << 0x00 << 0x0000;
    QTest::newRow("letter A") << 0x41 << 0x0041;
    QTest::newRow("euro sign") << 0x80 << 0x20AC;
    QTest::newRow("undefined 0x81") << 0x81 << 0x0081;
    QTest::newRow("undefined 0x8D") << 0x8D << 0x008D;
    QTest::newRow("undefined 0x8F") << 0x8F << 0x008F;
    QTest::newRow("undefined 0x90") << 0x90 << 0x0090;
    QTest::newRow("undefined 0x9D") << 0x9D << 0x009D;
    QTest::newRow("S caron") << 0x8A << 0x0160;
    QTest::newRow("s caron") << 0x9A << 0x0161;
    QTest::newRow("left double quote") << 0x93 << 0x201C;
    QTest::newRow("trade mark") << 0x99 << 0x2122;
    QTest::newRow("Y diaeresis") << 0x9F << 0x0178;
    QTest::newRow("no-break space") << 0xA0 << 0x00A0;
    QTest::newRow("e acute") << 0xE9 << 0x00E9;
    QTest::newRow("y diaeresis") << 0xFF << 0x00FF;
}

void TestCodePage::characters()
{
    QFETCH(int, byte);
    QFETCH(int, character);
    QCOMPARE(int(engine::toUnicode(static_cast<unsigned char>(byte))), character);
    QCOMPARE(engine::fromUnicode(static_cast<char16_t>(character)), byte);
}

void TestCodePage::everyByteRoundTrips()
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::u16string text = engine::decode(all);
    QCOMPARE(text.size(), all.size());
    std::u16string into(all.size(), u'\0');
    engine::decodeInto(all, into.data());
    QVERIFY(into == text);
    const auto back = engine::encode(text);
    QVERIFY(back.has_value());
    QVERIFY(*back == all);
    // Distinct characters: the mapping is one to one.
    QCOMPARE(std::set<char16_t>(text.begin(), text.end()).size(), size_t(256));
}

// Rows of every length up to a few pairs of words, with bytes beyond ASCII here and there, as
// UTF-8.
void TestCodePage::rowsWrittenAsUtf8()
{
    std::mt19937 random(7);
    for (int length = 0; length <= 80; ++length) {
        for (const int highEvery : {0, 1, 3, 9, 30}) {
            std::string row;
            QString expected;
            for (int i = 0; i < length; ++i) {
                const bool high = highEvery > 0 && random() % highEvery == 0;
                const auto byte =
                    static_cast<unsigned char>(high ? 0x80 + random() % 128 : 0x20 + random() % 95);
                row += char(byte);
                expected += QChar(engine::toUnicode(byte));
            }
            std::string out(3 * row.size() + 8, '\0');
            out.resize(size_t(engine::writeUtf8(row, out.data()) - out.data()));
            QCOMPARE(QByteArray::fromStdString(out), expected.toUtf8());
        }
    }
}

void TestCodePage::encode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("representable");
    QTest::addColumn<QByteArray>("lossy");
    QTest::newRow("plain text") << "Peter" << true << QByteArray("Peter");
    QTest::newRow("euro and accents")
        << QString::fromUtf8("€ café Š") << true << QByteArray("\x80 caf\xE9 \x8A");
    QTest::newRow("Greek omega") << QString::fromUtf8("aΩb") << false << QByteArray("a?b");
    QTest::newRow("C1 control without a byte")
        << QString(QChar(0x0080)) << false << QByteArray("?");
    QTest::newRow("empty") << QString() << true << QByteArray();
}

void TestCodePage::encode()
{
    QFETCH(QString, text);
    QFETCH(bool, representable);
    QFETCH(QByteArray, lossy);
    const std::u16string utf16 = text.toStdU16String();
    const auto bytes = engine::encode(utf16);
    QCOMPARE(bytes.has_value(), representable);
    if (bytes)
        QCOMPARE(QByteArray::fromStdString(*bytes), lossy);
    QCOMPARE(QByteArray::fromStdString(engine::encodeLossy(utf16)), lossy);
}

void TestCodePage::lowerUnitFollowsUnicode()
{
    for (unsigned u = 0; u < 0x10000; ++u) {
        const auto unit = char16_t(u);
        if (engine::lowerUnit(unit) != QChar(unit).toLower().unicode())
            QFAIL(qPrintable(QStringLiteral("U+%1").arg(u, 4, 16, QLatin1Char('0'))));
    }
    // What a case-blind search finds for a unit: itself first, then every other unit that
    // lowers as it does.
    std::map<char16_t, std::set<char16_t>> alike;
    for (unsigned u = 0; u < 0x10000; ++u)
        alike[engine::lowerUnit(char16_t(u))].insert(char16_t(u));
    for (unsigned u = 0; u < 0x10000; ++u) {
        const auto unit = char16_t(u);
        const std::u16string units = engine::unitsLoweringAlike(unit);
        if (units.front() != unit ||
            std::set<char16_t>(units.begin(), units.end()) != alike[engine::lowerUnit(unit)] ||
            units.size() != alike[engine::lowerUnit(unit)].size())
            QFAIL(qPrintable(QStringLiteral("alike U+%1").arg(u, 4, 16, QLatin1Char('0'))));
    }
}

QTEST_APPLESS_MAIN(TestCodePage)
#include "tst_codepage.moc"
