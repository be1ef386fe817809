#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <utility>
#include <vector>

namespace platform {

// The bytes of an INI file in the form QSettings reads and writes, read and edited in place:
// setting a value rewrites that value's bytes only, so every other key and section, comment,
// line end and byte that is not UTF-8 stays as it was.
class IniText {
public:
    // Takes the bytes of a file, which may start with a UTF-8 byte-order mark.
    explicit IniText(QByteArray bytes);

    // Returns the bytes as they now stand.
    const QByteArray &bytes() const { return m_bytes; }
    // Returns whether a section header lacks its closing bracket, which QSettings takes for a
    // damaged file.
    bool damaged() const { return m_damaged; }
    // Returns the values of a section's keys as QSettings reads them: a key repeated, in one
    // section or in sections of the same name, has its last value.
    std::map<QString, QString> values(const QString &section) const;
    // Sets keys of a named section: a key that exists gets its new value where its last value
    // stands, a new key goes after the last line of the section's last occurrence, and a
    // missing section is added at the end. Returns false, leaving the bytes as they were,
    // when the result would not read back as set (the file ends inside a quoted value, say).
    bool setValues(const QString &section, const std::vector<std::pair<QString, QString>> &values);

private:
    // One logical line: a key line, a line without "=" or a section header (comments and
    // blank lines are no lines of their own); offsets into the bytes.
    struct Line {
        qsizetype start = 0;
        qsizetype end = 0;
        qsizetype equals = -1;
        bool unterminated = false; // runs to the end of the file inside quotes
    };
    struct Section {
        QString name;
        Line header;
        std::vector<Line> lines;
    };
    // A change of the bytes: what lies from one offset to another becomes new bytes.
    struct Edit {
        qsizetype from;
        qsizetype to;
        QByteArray bytes;
    };

    void parse();
    QString keyOf(const Line &line) const;
    // Returns the line that holds a key's value in a section, or none.
    const Line *lineOf(const QString &section, const QString &key) const;
    // Returns the edit that puts a value in place of a line's value, blanks kept around it.
    Edit valueEdit(const Line &line, const QByteArray &escaped) const;
    // Returns the edit that adds lines of new keys to a section, or the section with them.
    Edit newKeysEdit(const QString &section, const QByteArray &lines) const;
    // Returns where the physical line holding offset ends, after its line end.
    qsizetype afterLineEnd(qsizetype offset, bool &hasLineEnd) const;
    QByteArray lineEnd() const;

    QByteArray m_bytes;
    std::vector<Section> m_sections; // the first holds the lines before any header
    bool m_damaged = false;
};

} // namespace platform
