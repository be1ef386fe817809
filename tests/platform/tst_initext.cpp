// The settings file's text is held to QSettings itself: what it writes for a value, what it
// reads from a file, and what it reads after an edit.
#include "platform/IniText.h"
#include "platform/IniValue.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Returns the values of a file's [Lumbrex] keys as QSettings reads them from the disk. It
// keeps what it read or wrote of a file for the process, so it reads a copy of a new name.
std::map<QString, QString> readByQSettings(const QString &path)
{
    static int copies = 0;
    const QString copy = path + QStringLiteral(".read%1").arg(++copies);
    if (!QFile::copy(path, copy))
        return {{QStringLiteral("?"), QStringLiteral("copy failed")}};
    QSettings settings(copy, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Lumbrex"));
    std::map<QString, QString> values;
    for (const QString &key : settings.childKeys()) {
        const QVariant value = settings.value(key);
        if (value.isValid())
            values[key] = value.toString();
    }
    return values;
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Returns a text drawn from the characters the escaping treats apart.
QString randomText(QRandomGenerator &random)
{
    static const QStringList alphabet = [] {
        QStringList all;
        for (const char16_t c : u"aZ09 \t\"\\,;=@[]#%/\x01\x1f\x7f\x80"
                                u"bcfx\r\n\a\v\u00e9\u20ac")
            if (c != 0)
                all.append(QString(QChar(c)));
        all << QString(QChar(0)) << QString::fromUtf16(u"\U0001F600") << QString(QChar(0xD800))
            << QString(QChar(0xDC00)); // surrogates without partners
        return all;
    }();
    QString text;
    const int length = int(random.bounded(12));
    for (int i = 0; i < length; ++i)
        text += alphabet.at(int(random.bounded(alphabet.size())));
    if (random.bounded(8) == 0)
        text.prepend(u'@');
    return text;
}

} // namespace

class TestIniText : public QObject {
    Q_OBJECT
private slots:
    void valuesEscapedAsQSettingsWritesThem_data();
    void valuesEscapedAsQSettingsWritesThem();
    void filesReadAsQSettingsReadsThem_data();
    void filesReadAsQSettingsReadsThem();
    void editedFilesReadAsSet_data();
    void editedFilesReadAsSet();
    void editThatCannotReadBackIsRefused_data();
    void editThatCannotReadBackIsRefused();

private:
    QTemporaryDir m_dir;
};

void TestIniText::valuesEscapedAsQSettingsWritesThem_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::newRow("fixed") << QStringList{"",
                                          " lead",
                                          "trail ",
                                          "a,b",
                                          "a;b",
                                          "k=v",
                                          "\"q\"",
                                          "back\\slash",
                                          "@at",
                                          "@@two",
                                          QString::fromUtf16(u"n\0b", 3),
                                          "\x01"
                                          "a",
                                          "line\r\nbreak",
                                          "\u00e9\u20ac\U0001F600",
                                          QString(QChar(0xD800)) + "x",
                                          "\x7f",
                                          "@Invalid()",
                                          "@ByteArray(x)"};
    for (int seed = 1; seed <= 20; ++seed) {
        QRandomGenerator random(seed);
        QStringList values;
        for (int i = 0; i < 50; ++i)
            values.append(randomText(random));
        QTest::newRow(qPrintable(QStringLiteral("random %1").arg(seed))) << values;
    }
}

void TestIniText::valuesEscapedAsQSettingsWritesThem()
{
    QFETCH(QStringList, values);
    const QString path = m_dir.filePath(QStringLiteral("escaped.ini"));
    QFile::remove(path);
    {
        QSettings settings(path, QSettings::IniFormat);
        for (int i = 0; i < values.size(); ++i)
            settings.setValue(QStringLiteral("Lumbrex/v%1").arg(i, 3, 10, QLatin1Char('0')),
                              values[i]);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.value(0), QByteArray("[Lumbrex]"));
    const std::map<QString, QString> ours = platform::IniText(bytes).values("Lumbrex");
    const std::map<QString, QString> theirs = readByQSettings(path);
    QCOMPARE(ours.size(), theirs.size());
    for (const auto &[key, value] : theirs)
        QCOMPARE(ours.at(key), value);
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray expected = lines.value(i + 1).mid(5);
        QCOMPARE(platform::IniValue::escaped(values[i]), expected);
    }
}

void TestIniText::filesReadAsQSettingsReadsThem_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("blanks around keys and values") << QByteArray("[Lumbrex]\n  a  =  b c  \n");
    QTest::newRow("quoted value, blanks after the quote")
        << QByteArray("[Lumbrex]\na = \"q\"  r  \nb=\"  \"\n");
    QTest::newRow("comment after a value, and on its own line")
        << QByteArray("; vendor\n[Lumbrex]\na=b ; note\n;c=d\ne=\"x;y\"\n");
    QTest::newRow("escapes: hex, octal, named, unknown")
        << QByteArray("[Lumbrex]\na=\\x41\\101\\?\\'\\q\\t|\nb=\\x\nc=ab\\\n");
    QTest::newRow("a line continued after a backslash")
        << QByteArray("[Lumbrex]\na=one\\\ntwo\nb=x\\\r\ny\r\n");
    QTest::newRow("a quoted value over two lines")
        << QByteArray("[Lumbrex]\na=\"one\ntwo\"\nb=c\n");
    QTest::newRow("lists and typed values")
        << QByteArray("[Lumbrex]\na=x, y\nb=@Invalid()\nc=@ByteArray(z)\nd=@@e\nf=@String(g)\n"
                      "h=@Rect(1 2 3 4)\ni=@Size(1)\nj=@Other\n");
    QTest::newRow("repeated keys and sections: the last one counts")
        << QByteArray("[Lumbrex]\na=1\na=2\n[Other]\na=9\n[Lumbrex]\nb=3\na=4\n");
    QTest::newRow("sections of other names") << QByteArray(
        "a=general\n[lumbrex]\nb=case\n[Lumbrex/Sub]\nc=sub\n[ Lumbrex ]\nd=spaced\n");
    QTest::newRow("escaped key names") << QByteArray("[Lumbrex]\n%54ext1=t\n%U0041b=u\nx%2=y\n");
    QTest::newRow("CR LF, a byte-order mark and no final line end")
        << QByteArray("\xEF\xBB\xBF[Lumbrex]\r\na=1\r\nb=2");
    QTest::newRow("bytes that are not UTF-8")
        << QByteArray("[Lumbrex]\nName=Jos\xE9\nb=\xFF\xFEok\nc=caf\xC3\xA9\n");
    QTest::newRow("a line without an equals sign") << QByteArray("[Lumbrex]\njunk\na=1\n");
    QTest::newRow("a quote that never closes") << QByteArray("[Lumbrex]\na=1\nb=\"open\nc=2\n");
    QTest::newRow("a header without its bracket") << QByteArray("[Lumbrex\na=1\n");
}

void TestIniText::filesReadAsQSettingsReadsThem()
{
    QFETCH(QByteArray, file);
    const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".ini");
    QVERIFY(writeBytes(path, file));
    const platform::IniText text(file);
    // QSettings takes a file for damaged as it opens it, before it reads any key.
    const bool damaged = QSettings(path, QSettings::IniFormat).status() == QSettings::FormatError;
    QCOMPARE(text.damaged(), damaged);
    QCOMPARE(text.values(QStringLiteral("Lumbrex")), readByQSettings(path));
}

void TestIniText::editedFilesReadAsSet_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("only other sections, no final line end")
        << QByteArray("[A]\nName=Jos\xE9\n[B]\r\nx=\"1,2\"");
    QTest::newRow("ours first, then others") << QByteArray("[Lumbrex]\nk0=old\n\n[Z]\nk0=z\n");
    QTest::newRow("ours twice, with comments") << QByteArray(
        "[Lumbrex]\nk1=a ; c\n[Y]\ny=1\n[Lumbrex]\n; last\nk1 = b\n\n; trailing comment\n");
    QTest::newRow("another section ends the file in a backslash") << QByteArray("[A]\nx=a\\");
    QTest::newRow("a multi-line quoted value of ours") << QByteArray("[Lumbrex]\nk2=\"x\ny\"\n");
    QTest::newRow("CR LF with a byte-order mark")
        << QByteArray("\xEF\xBB\xBF[X]\r\na=1\r\n\r\n[Lumbrex]\r\nk3=v\r\n");
}

void TestIniText::editedFilesReadAsSet()
{
    // Random values set on every key of a file: QSettings reads the new values, and every
    // other section's keys as before.
    QFETCH(QByteArray, file);
    const QString before =
        m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".before.ini");
    QVERIFY(writeBytes(before, file));
    QSettings old(before, QSettings::IniFormat);
    QRandomGenerator random(7);
    for (int round = 0; round < 20; ++round) {
        // A new name each round: QSettings keeps what it read of a file it saw before.
        const QString after = m_dir.filePath(QStringLiteral("after%1.ini").arg(round));
        platform::IniText text(file);
        std::vector<std::pair<QString, QString>> values;
        for (int k = 0; k < 5; ++k)
            values.emplace_back(QStringLiteral("k%1").arg(k), randomText(random));
        QVERIFY(text.setValues(QStringLiteral("Lumbrex"), values));
        QVERIFY(writeBytes(after, text.bytes()));
        QSettings edited(after, QSettings::IniFormat);
        for (const auto &[key, value] : values)
            QCOMPARE(edited.value(QStringLiteral("Lumbrex/") + key).toString(),
                     platform::IniValue::unescaped(platform::IniValue::escaped(value)).value());
        for (const QString &key : old.allKeys())
            if (!key.startsWith(QLatin1String("Lumbrex/")))
                QCOMPARE(edited.value(key), old.value(key));
        QCOMPARE(text.values(QStringLiteral("Lumbrex")), readByQSettings(after));
    }
}

void TestIniText::editThatCannotReadBackIsRefused_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("a quote open at the end of the file") << QByteArray("[A]\nx=\"open");
    QTest::newRow("our last line ends the file in a backslash") << QByteArray("[Lumbrex]\nj=a\\");
    QTest::newRow("our value's quote open at the end")
        << QByteArray("[Lumbrex]\nk=\"a\n[B]\nb=1\n");
}

void TestIniText::editThatCannotReadBackIsRefused()
{
    // New lines would join another program's value, or replacing ours would remove the
    // lines its open quote takes in: the text stays as it was.
    QFETCH(QByteArray, file);
    platform::IniText text(file);
    QVERIFY(!text.setValues(QStringLiteral("Lumbrex"), {{QStringLiteral("k"), "new"}}));
    QCOMPARE(text.bytes(), file);
}

QTEST_GUILESS_MAIN(TestIniText)
#include "tst_initext.moc"
