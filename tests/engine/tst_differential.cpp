#include "reference_modes.h"

#include "engine/BlockList.h"
#include "engine/Modes.h"
#include "engine/Needle.h"

#include <QtTest>

#include <random>

using engine::Mode;

namespace {

// Weighted so that line ends, lone CR and LF, empty lines and case pairs (also É/é, Š/š)
// turn up often in short pieces.
const std::vector<std::string> kTokens = {"\r\n", "\r\n", "\r\n", "\r",   "\n",       " ",
                                          "a",    "a",    "A",    "b",    "B",        "ab",
                                          "\xC9", "\xE9", "\x8A", "\x9A", "\r\n\r\n", "x"};

std::string randomText(std::mt19937 &random, int maxTokens)
{
    std::uniform_int_distribution<int> count(0, maxTokens);
    std::uniform_int_distribution<size_t> pick(0, kTokens.size() - 1);
    std::string text;
    for (int n = count(random); n > 0; --n)
        text += kTokens[pick(random)];
    return text;
}

std::string randomNeedle(std::mt19937 &random, const std::string &piece)
{
    std::uniform_int_distribution<int> kind(0, 9);
    switch (kind(random)) {
    case 0:
        return {};
    case 1:
        return "\r";
    case 2:
        return "\n";
    case 3:
        return "\r\n";
    case 4:
    case 5:
    case 6:
        if (!piece.empty()) {
            // A slice of the piece itself, so that hits are common and often cross line ends.
            std::uniform_int_distribution<size_t> at(0, piece.size() - 1);
            const size_t from = at(random);
            std::uniform_int_distribution<size_t> length(1,
                                                         std::min<size_t>(4, piece.size() - from));
            return piece.substr(from, length(random));
        }
        [[fallthrough]];
    default: {
        std::string needle = randomText(random, 2);
        return needle.substr(0, 4);
    }
    }
}

QByteArray shown(std::string_view text)
{
    QByteArray out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\r')
            out += "<CR>";
        else if (b == '\n')
            out += "<LF>";
        else if (b < 0x20 || b >= 0x7F)
            out += "<" + QByteArray::number(b, 16) + ">";
        else
            out += c;
    }
    return out;
}

std::vector<std::string> fastBlocks(Mode mode, std::string_view piece, std::string_view search,
                                    bool matchCase, int x, int y, engine::BlockList &out)
{
    engine::extract(mode, piece, engine::Needle::fromBytes(search, matchCase), x, y, out);
    std::vector<std::string> texts;
    for (size_t i = 0; i < out.size(); ++i)
        texts.push_back(out.text(i));
    return texts;
}

} // namespace

class TestDifferential : public QObject {
    Q_OBJECT

private slots:
    void randomPieces_data();
    void randomPieces();
    void longPieces_data();
    void longPieces();
};

void TestDifferential::randomPieces_data()
{
    QTest::addColumn<int>("mode");
    for (int m = 0; m <= static_cast<int>(Mode::ExtractSearchWordLineDownAll); ++m) {
        const auto name = engine::modeRoutineName(static_cast<Mode>(m));
        QTest::newRow(std::string(name).c_str()) << m;
    }
}

// Compares the fast engine with the line-by-line reference on many short random pieces.
void TestDifferential::randomPieces()
{
    QFETCH(int, mode);
    std::mt19937 random(20240611u + static_cast<unsigned>(mode));
    std::uniform_int_distribution<int> count(-1, 13);
    engine::BlockList out;
    for (int round = 0; round < 12000; ++round) {
        const std::string piece = randomText(random, 24);
        const std::string search = randomNeedle(random, piece);
        const bool matchCase = (round & 1) != 0;
        const int x = count(random);
        const int y = count(random);
        const auto expected =
            reference::extract(static_cast<Mode>(mode), piece, search, matchCase, x, y);
        const auto actual =
            fastBlocks(static_cast<Mode>(mode), piece, search, matchCase, x, y, out);
        if (expected != actual) {
            QByteArray detail = "piece \"" + shown(piece) + "\" search \"" + shown(search) +
                                "\" matchCase " + QByteArray::number(matchCase) + " x " +
                                QByteArray::number(x) + " y " + QByteArray::number(y) + "\n";
            for (const auto &b : expected)
                detail += "  expected \"" + shown(b) + "\"\n";
            for (const auto &b : actual)
                detail += "  actual   \"" + shown(b) + "\"\n";
            QFAIL(detail.constData());
        }
    }
}

void TestDifferential::longPieces_data()
{
    randomPieces_data();
}

// Longer pieces with long lines and long search texts take other paths of the substring search.
void TestDifferential::longPieces()
{
    QFETCH(int, mode);
    std::mt19937 random(99u + static_cast<unsigned>(mode));
    std::uniform_int_distribution<int> count(-1, 13);
    std::uniform_int_distribution<size_t> lengthOf(0, 40);
    engine::BlockList out;
    for (int round = 0; round < 300; ++round) {
        const std::string piece = randomText(random, 1500);
        std::string search;
        if (!piece.empty() && round % 3 != 0) {
            std::uniform_int_distribution<size_t> at(0, piece.size() - 1);
            const size_t from = at(random);
            search = piece.substr(from, lengthOf(random));
        } else {
            search = randomText(random, 3);
        }
        const bool matchCase = (round & 1) != 0;
        const int x = count(random);
        const int y = count(random);
        const auto expected =
            reference::extract(static_cast<Mode>(mode), piece, search, matchCase, x, y);
        const auto actual =
            fastBlocks(static_cast<Mode>(mode), piece, search, matchCase, x, y, out);
        QVERIFY2(expected == actual, ("search \"" + shown(search) + "\" in a piece of " +
                                      QByteArray::number(qsizetype(piece.size())) + " bytes")
                                         .constData());
    }
}

QTEST_APPLESS_MAIN(TestDifferential)
#include "tst_differential.moc"
