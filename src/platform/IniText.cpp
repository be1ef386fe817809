#include "IniText.h"

#include "platform/IniValue.h"

#include <algorithm>

namespace platform {

namespace {

constexpr QByteArrayView byteOrderMark("\xEF\xBB\xBF");

bool isLineSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Finds the logical line that starts at or after pos, as QSettings splits a file: blanks and
// line ends before it and comment lines are skipped; a line end inside quotes and one after
// a backslash do not end it, nor does a ";" inside quotes. Returns false at the end.
bool nextLine(QByteArrayView data, qsizetype &pos, qsizetype &start, qsizetype &equals,
              bool &openQuote)
{
    const qsizetype size = data.size();
    start = pos;
    while (start < size && isLineSpace(data.at(start)))
        ++start;
    equals = -1;
    bool quoted = false;
    qsizetype i = start;
    for (; i < size; ++i) {
        const char c = data.at(i);
        if (c == '=') {
            if (!quoted && equals < 0)
                equals = i;
        } else if (c == '\n' || c == '\r') {
            if (!quoted)
                break;
        } else if (c == '\\') {
            // The escaped byte is part of the line; an escaped CR LF or LF CR is one line end.
            if (i + 1 < size) {
                ++i;
                const char e = data.at(i);
                if (i + 1 < size && ((e == '\n' && data.at(i + 1) == '\r') ||
                                     (e == '\r' && data.at(i + 1) == '\n')))
                    ++i;
            }
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';') {
            if (i == start) {
                while (i < size && data.at(i) != '\n' && data.at(i) != '\r')
                    ++i;
                while (i < size && isLineSpace(data.at(i)))
                    ++i;
                start = i--;
            } else if (!quoted) {
                break;
            }
        }
    }
    pos = i;
    openQuote = quoted;
    return i > start;
}

} // namespace

IniText::IniText(QByteArray bytes) : m_bytes(std::move(bytes))
{
    parse();
}

void IniText::parse()
{
    m_sections.assign(1, Section{});
    m_damaged = false;
    const QByteArrayView data(m_bytes);
    qsizetype pos = data.startsWith(byteOrderMark) ? byteOrderMark.size() : 0;
    Line line;
    bool openQuote = false;
    while (nextLine(data, pos, line.start, line.equals, openQuote)) {
        line.end = pos;
        line.unterminated = openQuote;
        if (data.at(line.start) != '[') {
            m_sections.back().lines.push_back(line);
            continue;
        }
        qsizetype close = data.sliced(line.start, line.end - line.start).indexOf(']');
        if (close < 0) {
            m_damaged = true;
            close = line.end - line.start;
        }
        const QByteArrayView name = data.sliced(line.start + 1, close - 1).trimmed();
        Section section;
        section.header = line;
        if (name.compare("general", Qt::CaseInsensitive) == 0)
            section.name.clear();
        else if (name.compare("%general", Qt::CaseInsensitive) == 0)
            section.name = QString::fromLatin1(name.sliced(1));
        else
            section.name = IniValue::unescapedKey(name);
        m_sections.push_back(std::move(section));
    }
}

QString IniText::keyOf(const Line &line) const
{
    return IniValue::unescapedKey(
        QByteArrayView(m_bytes).sliced(line.start, line.equals - line.start).trimmed());
}

std::map<QString, QString> IniText::values(const QString &section) const
{
    std::map<QString, QString> values;
    for (const Section &s : m_sections) {
        if (s.name != section)
            continue;
        for (const Line &line : s.lines) {
            if (line.equals < 0)
                continue;
            const QString key = keyOf(line);
            const auto value = IniValue::unescaped(
                QByteArrayView(m_bytes).sliced(line.equals + 1, line.end - line.equals - 1));
            if (value)
                values.insert_or_assign(key, *value);
            else
                values.erase(key);
        }
    }
    return values;
}

const IniText::Line *IniText::lineOf(const QString &section, const QString &key) const
{
    const Line *found = nullptr;
    for (auto s = m_sections.begin() + 1; s != m_sections.end(); ++s)
        if (s->name == section)
            for (const Line &line : s->lines)
                if (line.equals >= 0 && keyOf(line) == key)
                    found = &line;
    return found;
}

qsizetype IniText::afterLineEnd(qsizetype offset, bool &hasLineEnd) const
{
    qsizetype i = offset;
    while (i < m_bytes.size() && m_bytes.at(i) != '\n' && m_bytes.at(i) != '\r')
        ++i;
    hasLineEnd = i < m_bytes.size();
    if (!hasLineEnd)
        return i;
    if (m_bytes.at(i) == '\r' && i + 1 < m_bytes.size() && m_bytes.at(i + 1) == '\n')
        return i + 2;
    return i + 1;
}

QByteArray IniText::lineEnd() const
{
    // New lines end as the file's first line does.
    for (qsizetype i = 0; i < m_bytes.size(); ++i) {
        if (m_bytes.at(i) == '\n')
            return "\n";
        if (m_bytes.at(i) == '\r')
            return i + 1 < m_bytes.size() && m_bytes.at(i + 1) == '\n' ? "\r\n" : "\r";
    }
    return "\n";
}

IniText::Edit IniText::valueEdit(const Line &line, const QByteArray &escaped) const
{
    // The blanks around the value stay, as before a comment on the same line.
    qsizetype from = line.equals + 1;
    qsizetype to = line.end;
    while (from < to && isBlank(m_bytes.at(from)))
        ++from;
    while (to > from && isBlank(m_bytes.at(to - 1)))
        --to;
    return {from, to, escaped};
}

IniText::Edit IniText::newKeysEdit(const QString &section, const QByteArray &lines) const
{
    const QByteArray eol = lineEnd();
    bool hasLineEnd = false;
    const Section *last = nullptr;
    for (auto s = m_sections.begin() + 1; s != m_sections.end(); ++s)
        if (s->name == section)
            last = &*s;
    if (last) {
        const Line &anchor = last->lines.empty() ? last->header : last->lines.back();
        const qsizetype at = afterLineEnd(anchor.end, hasLineEnd);
        return {at, at, (hasLineEnd ? QByteArray() : eol) + lines};
    }
    const qsizetype end = m_bytes.size();
    const qsizetype body = m_bytes.startsWith(byteOrderMark) ? byteOrderMark.size() : 0;
    QByteArray tail;
    if (end > body) {
        const auto isLineEnd = [&](qsizetype at) {
            return at >= body && (m_bytes.at(at) == '\n' || m_bytes.at(at) == '\r');
        };
        qsizetype cut = end - 1;
        const bool endsInLineEnd = isLineEnd(cut);
        if (m_bytes.at(cut) == '\n' && cut > body && m_bytes.at(cut - 1) == '\r')
            --cut;
        // A blank line before the section, as QSettings separates its sections, unless the
        // file ends in one already.
        if (!endsInLineEnd)
            tail += eol;
        if (!endsInLineEnd || !isLineEnd(cut - 1))
            tail += eol;
    }
    return {end, end, tail + '[' + IniValue::escapedKey(section) + ']' + eol + lines};
}

bool IniText::setValues(const QString &section,
                        const std::vector<std::pair<QString, QString>> &values)
{
    std::vector<Edit> edits;
    std::map<QString, QString> expected;
    QByteArray added;
    for (const auto &[key, value] : values) {
        const QByteArray escaped = IniValue::escaped(value);
        expected.insert_or_assign(key, IniValue::unescaped(escaped).value_or(QString()));
        const Line *line = lineOf(section, key);
        // A quoted value that runs to the end of the file takes in whatever follows it;
        // replacing it would remove those lines.
        if (line && line->unterminated)
            return false;
        if (line)
            edits.push_back(valueEdit(*line, escaped));
        else
            added += IniValue::escapedKey(key) + '=' + escaped + lineEnd();
    }
    if (!added.isEmpty())
        edits.push_back(newKeysEdit(section, added));
    std::sort(edits.begin(), edits.end(),
              [](const Edit &a, const Edit &b) { return a.from > b.from; });
    QByteArray edited = m_bytes;
    for (const Edit &edit : edits)
        edited.replace(edit.from, edit.to - edit.from, edit.bytes);

    // What is written must read back as set: a last line that never ends (an open quote, a
    // final backslash) would take the new lines in.
    IniText check(std::move(edited));
    const std::map<QString, QString> now = check.values(section);
    for (const auto &[key, value] : expected) {
        const auto it = now.find(key);
        if (it == now.end() || it->second != value)
            return false;
    }
    *this = std::move(check);
    return true;
}

} // namespace platform
