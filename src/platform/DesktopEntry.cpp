#include "DesktopEntry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <utility>

namespace platform {

namespace {

// A desktop entry is a few kilobytes; anything far larger is no desktop entry.
constexpr qint64 kLargestEntry = 1 << 20;

// Undoes the escapes every string value of a desktop entry may hold.
QString unescapeValue(QStringView value)
{
    QString plain;
    plain.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            plain += c;
            continue;
        }
        const QChar next = value.at(++i);
        if (next == u's')
            plain += u' ';
        else if (next == u'n')
            plain += u'\n';
        else if (next == u't')
            plain += u'\t';
        else if (next == u'r')
            plain += u'\r';
        else if (next == u'\\')
            plain += u'\\';
        else
            plain += QStringView(value).sliced(i - 1, 2);
    }
    return plain;
}

// Returns the text of a desktop file, or a null text when it is no regular file of a
// reasonable size: a FIFO put there would block the read.
QString readEntryFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kLargestEntry)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(kLargestEntry));
}

} // namespace

DesktopEntry DesktopEntry::parse(const QString &id, QStringView text)
{
    DesktopEntry entry;
    entry.id = id;
    bool mainGroup = false;
    for (QStringView line : text.tokenize(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            // Actions and other groups have Exec lines of their own.
            mainGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!mainGroup || equals <= 0)
            continue;
        const QStringView key = line.first(equals).trimmed();
        const QString value = unescapeValue(line.sliced(equals + 1).trimmed());
        if (key == u"Name")
            entry.name = value;
        else if (key == u"Exec")
            entry.exec = splitExec(value);
        else if (key == u"Terminal")
            entry.terminal = value == u"true";
        else if (key == u"MimeType")
            entry.mimeTypes = value.split(u';', Qt::SkipEmptyParts);
        else if (key == u"Hidden" || key == u"NoDisplay")
            entry.hidden = entry.hidden || value == u"true";
    }
    return entry;
}

QStringList DesktopEntry::splitExec(QStringView value)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const bool escapable = i + 1 < value.size();
        if (quoted) {
            // Inside quotes a backslash escapes only the characters a shell would expand.
            const QChar next = escapable ? value.at(i + 1) : QChar();
            if (c == u'"')
                quoted = false;
            else if (c == u'\\' && (next == u'"' || next == u'`' || next == u'$' || next == u'\\'))
                current += value.at(++i);
            else
                current += c;
            continue;
        }
        if (c == u' ' || c == u'\t') {
            if (inArgument)
                arguments << std::exchange(current, QString());
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == u'"')
            quoted = true;
        else if (c == u'\\' && escapable)
            current += value.at(++i);
        else
            current += c;
    }
    if (quoted)
        return {};
    if (inArgument)
        arguments << current;
    return arguments;
}

DesktopEntry DesktopEntry::find(const QString &id)
{
    // An id names a file in an applications folder; one with a dash may name a file in a
    // sub-folder ("kde4-kate.desktop" is kde4/kate.desktop).
    if (!id.endsWith(QLatin1String(".desktop")) || id.contains(u'/')) {
        DesktopEntry none;
        none.id = id;
        return none;
    }
    QStringList names{id};
    const qsizetype dash = id.indexOf(u'-');
    if (dash > 0)
        names << QString(id).replace(dash, 1, u'/');
    for (const QString &name : names) {
        const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, name);
        const QString text = path.isEmpty() ? QString() : readEntryFile(path);
        if (!text.isNull())
            return parse(id, text);
    }
    DesktopEntry none;
    none.id = id;
    return none;
}

std::vector<DesktopEntry> DesktopEntry::all()
{
    std::vector<DesktopEntry> entries;
    QSet<QString> seen;
    for (const QString &folder :
         QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        const QDir root(folder);
        QDirIterator files(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                           QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (files.hasNext()) {
            const QString path = files.next();
            const QString id = root.relativeFilePath(path).replace(u'/', u'-');
            if (seen.contains(id))
                continue;
            seen.insert(id);
            const QString text = readEntryFile(path);
            if (!text.isNull())
                entries.push_back(parse(id, text));
        }
    }
    return entries;
}

} // namespace platform
