#include "IniValue.h"

#include <QDataStream>
#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QVariant>

#include <cstring>
#include <utility>

namespace platform {

namespace {

int hexValue(char16_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int octalValue(char c)
{
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Returns what QSettings makes of a value's text that starts with "@".
std::optional<QString> typedValue(const QString &text)
{
    if (text.endsWith(u')')) {
        if (text.startsWith(QLatin1String("@ByteArray(")))
            return QString::fromUtf8(QStringView(text).sliced(11).chopped(1).toLatin1());
        if (text.startsWith(QLatin1String("@String(")))
            return text.sliced(8).chopped(1);
        const bool dateTime = text.startsWith(QLatin1String("@DateTime("));
        if (dateTime || text.startsWith(QLatin1String("@Variant("))) {
            QByteArray bytes = QStringView(text).sliced(dateTime ? 10 : 9).toLatin1();
            QDataStream stream(&bytes, QIODevice::ReadOnly);
            stream.setVersion(dateTime ? QDataStream::Qt_5_6 : QDataStream::Qt_4_0);
            QVariant value;
            stream >> value;
            if (!value.isValid())
                return std::nullopt;
            return value.toString();
        }
        if (text == QLatin1String("@Invalid()"))
            return std::nullopt;
        // A well-formed geometry value has no text form.
        const std::pair<QLatin1String, qsizetype> geometry[] = {{QLatin1String("@Rect("), 4},
                                                                {QLatin1String("@Size("), 2},
                                                                {QLatin1String("@Point("), 2}};
        for (const auto &[prefix, count] : geometry)
            if (text.startsWith(prefix) &&
                QStringView(text).sliced(prefix.size()).chopped(1).split(u' ').size() == count)
                return QString();
    }
    if (text.startsWith(QLatin1String("@@")))
        return text.sliced(1);
    return text;
}

// Reads a value's bytes as QSettings does: blanks around an unquoted value dropped, quotes
// keeping blanks, backslash escapes, and a comma outside quotes making a list.
class ValueReader {
public:
    explicit ValueReader(QByteArrayView bytes) : m_bytes(bytes) {}

    // Returns the text; none when the value is a list.
    std::optional<QString> read()
    {
        skipBlanks();
        while (m_at < m_bytes.size() && m_chop) {
            const char c = m_bytes.at(m_at);
            if (c == '\\') {
                ++m_at;
                readEscape();
            } else if (c == '"') {
                ++m_at;
                m_quoted = true;
                m_inQuotes = !m_inQuotes;
                if (!m_inQuotes)
                    skipBlanks();
            } else if (c == ',' && !m_inQuotes) {
                return std::nullopt;
            } else {
                qsizetype end = m_at + 1;
                while (end < m_bytes.size() && m_bytes.at(end) != '\\' && m_bytes.at(end) != '"' &&
                       m_bytes.at(end) != ',')
                    ++end;
                m_text += m_utf8(m_bytes.sliced(m_at, end - m_at));
                m_at = end;
            }
        }
        if (m_chop && !m_quoted) {
            qsizetype end = m_text.size();
            while (end > m_keepUpTo && (m_text.at(end - 1) == u' ' || m_text.at(end - 1) == u'\t'))
                --end;
            m_text.truncate(end);
        }
        return m_text;
    }

private:
    void skipBlanks()
    {
        while (m_at < m_bytes.size() && isBlank(m_bytes.at(m_at)))
            ++m_at;
        m_keepUpTo = m_text.size();
    }

    // Reads what follows a backslash. A value that ends inside an escape keeps its
    // trailing blanks.
    void readEscape()
    {
        const qsizetype size = m_bytes.size();
        if (m_at >= size) {
            m_chop = false;
            return;
        }
        static constexpr char letters[] = "abfnrtv\"?'\\";
        static constexpr char meant[] = "\a\b\f\n\r\t\v\"?'\\";
        const char e = m_bytes.at(m_at++);
        if (const char *at = std::strchr(letters, e); at && e != 0) {
            m_text += QLatin1Char(meant[at - letters]);
        } else if (e == 'x') {
            if (m_at >= size) {
                m_chop = false;
                return;
            }
            if (hexValue(m_bytes.at(m_at)) >= 0)
                return readNumber(16, 0);
        } else if (octalValue(e) >= 0) {
            return readNumber(8, char16_t(octalValue(e)));
        } else if ((e == '\n' || e == '\r') && m_at < size &&
                   (m_bytes.at(m_at) == '\n' || m_bytes.at(m_at) == '\r') &&
                   m_bytes.at(m_at) != e) {
            ++m_at; // an escaped line end continues the value on the next line
        }
        m_keepUpTo = m_text.size();
    }

    // Reads the digits of a numeric escape into one UTF-16 unit.
    void readNumber(int base, char16_t value)
    {
        const auto digit = [&](char c) { return base == 16 ? hexValue(c) : octalValue(c); };
        while (m_at < m_bytes.size() && digit(m_bytes.at(m_at)) >= 0)
            value = char16_t(value * base + digit(m_bytes.at(m_at++)));
        m_text += QChar(value);
        m_chop = m_at < m_bytes.size();
        m_keepUpTo = m_text.size();
    }

    QByteArrayView m_bytes;
    qsizetype m_at = 0;
    QString m_text;
    QStringDecoder m_utf8{QStringDecoder::Utf8};
    bool m_inQuotes = false;
    bool m_quoted = false;
    bool m_chop = true;
    qsizetype m_keepUpTo = 0; // trailing blanks are dropped down to here
};

} // namespace

QByteArray IniValue::escaped(const QString &value)
{
    // A text holding NUL, or starting with "@" (the mark of a typed value), is wrapped as
    // QSettings wraps it.
    QString text = value;
    if (text.contains(QChar::Null))
        text = QStringLiteral("@String(") + text + u')';
    else if (text.startsWith(u'@'))
        text.prepend(u'@');

    QByteArray out;
    out.reserve(text.size() + 2);
    QStringEncoder utf8(QStringEncoder::Utf8);
    bool quote = false;
    bool hexDigitEscaped = false; // after \0 or \xNN, a hex digit would join the number
    qsizetype run = 0;            // start of the characters not yet encoded
    const auto escape = [&](qsizetype at, const QByteArray &escaped) {
        // The encoder keeps a lone high surrogate until the next character it encodes, as
        // QSettings' own does.
        if (at > run)
            out += QByteArray(utf8(QStringView(text).sliced(run, at - run)));
        run = at + 1;
        out += escaped;
    };
    static constexpr char named[] = "\a\b\f\n\r\t\v";
    static constexpr char letters[] = "abfnrtv";
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u';' || c == u',' || c == u'=')
            quote = true;
        const bool afterNumber = std::exchange(hexDigitEscaped, false);
        const char *at = c != 0 && c < 0x20 ? std::strchr(named, char(c)) : nullptr;
        if (afterNumber && hexValue(c) >= 0) {
            escape(i, "\\x" + QByteArray::number(c, 16));
            hexDigitEscaped = true;
        } else if (c == 0) {
            escape(i, "\\0");
            hexDigitEscaped = true;
        } else if (at) {
            escape(i, QByteArray("\\") + letters[at - named]);
        } else if (c == u'"' || c == u'\\') {
            escape(i, QByteArray("\\") + char(c));
        } else if (c < 0x20) {
            escape(i, "\\x" + QByteArray::number(c, 16));
            hexDigitEscaped = true;
        }
    }
    if (text.size() > run)
        out += QByteArray(utf8(QStringView(text).sliced(run)));
    if (quote || (!out.isEmpty() && (out.front() == ' ' || out.back() == ' '))) {
        out.prepend('"');
        out.append('"');
    }
    return out;
}

std::optional<QString> IniValue::unescaped(QByteArrayView bytes)
{
    std::optional<QString> text = ValueReader(bytes).read();
    // A list of two or more items, as every list is, reads as no text.
    if (!text)
        return QString();
    if (text->startsWith(u'@'))
        return typedValue(*text);
    return text;
}

QByteArray IniValue::escapedKey(const QString &key)
{
    QByteArray out;
    for (const QChar c : key) {
        const char16_t code = c.unicode();
        if (code == u'/') {
            out += '\\';
        } else if ((code < 0x80 && QChar::isLetterOrNumber(code)) || code == u'_' || code == u'-' ||
                   code == u'.') {
            out += char(code);
        } else if (code <= 0xFF) {
            out += '%' + QByteArray::number(code, 16).toUpper().rightJustified(2, '0');
        } else {
            out += "%U" + QByteArray::number(code, 16).toUpper().rightJustified(4, '0');
        }
    }
    return out;
}

QString IniValue::unescapedKey(QByteArrayView bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == u'\\') {
            out += u'/';
            ++i;
            continue;
        }
        if (c != u'%' || i == text.size() - 1) {
            out += c;
            ++i;
            continue;
        }
        qsizetype digitsAt = i + 1;
        qsizetype digits = 2;
        if (text.at(digitsAt) == u'U') {
            ++digitsAt;
            digits = 4;
        }
        bool ok = false;
        const ushort code = digitsAt + digits <= text.size()
                                ? QStringView(text).sliced(digitsAt, digits).toUShort(&ok, 16)
                                : 0;
        if (!ok) {
            out += u'%';
            ++i;
            continue;
        }
        out += QChar(code);
        i = digitsAt + digits;
    }
    return out;
}

} // namespace platform
