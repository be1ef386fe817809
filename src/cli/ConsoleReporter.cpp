#include "ConsoleReporter.h"

#include <QByteArray>
#include <cerrno>
#include <unistd.h>
#include <utility>

namespace cli {

ConsoleReporter::ConsoleReporter(int fd) : m_fd(fd)
{
}

QString ConsoleReporter::reasonFor(const std::string &description)
{
    // The reader's and the writers' descriptions, and what the system's tools say instead.
    static const std::pair<const char *, const char *> reasons[] = {
        {"File not found", "No such file or directory"},
        {"Path not found", "No such file or directory"},
        {"Permission denied", "Permission denied"},
        {"Path is a folder, not a file", "Is a directory"},
        {"Not a regular file (FIFO, socket or device)",
         "not a regular file (a FIFO, socket or device), not read"},
        {"Bad file name or number", "File name too long"},
        {"Too many files", "Too many open files"},
        {"Device I/O error", "Input/output error"},
        {"Out of memory", "out of memory"},
    };
    for (const auto &[said, reason] : reasons)
        if (description == said)
            return QString::fromLatin1(reason);
    return QString::fromStdString(description);
}

void ConsoleReporter::reportError(const std::string &tag, int, const std::string &description)
{
    ++m_failures;
    if (m_subject.isEmpty() || (!m_subjectTag.empty() && tag != m_subjectTag)) {
        say(QString::fromStdString(description));
        return;
    }
    // A file that cannot be opened fails at every step after the open too: the first
    // failure says why.
    if (std::exchange(m_subjectTold, true))
        return;
    say(m_subject + QStringLiteral(": ") + reasonFor(description));
}

void ConsoleReporter::setSubject(const QString &subject, const std::string &tag)
{
    m_subject = subject;
    m_subjectTag = tag;
    m_subjectTold = false;
}

void ConsoleReporter::fail(const QString &text)
{
    ++m_failures;
    say(text);
}

void ConsoleReporter::failAbout(const QString &subject, const QString &text)
{
    fail(subject + QStringLiteral(": ") + text);
}

void ConsoleReporter::note(const QString &text)
{
    say(text);
}

void ConsoleReporter::say(const QString &line)
{
    // One write a line, so lines of several writers do not mix.
    const QByteArray bytes = QStringLiteral("lumbrex: ").toUtf8() + line.toUtf8() + '\n';
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return; // nobody reads standard error any more
        data += written;
        left -= written;
    }
}

} // namespace cli
