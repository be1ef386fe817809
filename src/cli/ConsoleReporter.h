#pragma once

#include "engine/Steps.h"

#include <QString>
#include <string>

namespace cli {

// Writes the failures of a command-line run to standard error, one line each: "lumbrex:
// PATH: reason" for what is about the current subject (a file being read or saved, once per
// subject), else "lumbrex: description". Counts every failure, for the exit status.
class ConsoleReporter : public engine::ErrorReporter {
public:
    explicit ConsoleReporter(int fd);

    void reportError(const std::string &tag, int step, const std::string &description) override;

    // Sets what the following reports are about: those under tag (every tag when empty) are
    // said of subject, the first of them only.
    void setSubject(const QString &subject, const std::string &tag = {});
    // Writes "lumbrex: text" and counts a failure.
    void fail(const QString &text);
    // Writes "lumbrex: subject: text" and counts a failure.
    void failAbout(const QString &subject, const QString &text);
    // Writes "lumbrex: text" without counting a failure.
    void note(const QString &text);
    // Returns whether anything failed.
    bool failed() const { return m_failures > 0; }

    // Returns the reason a read or write failure gives on standard error, in the words the
    // system's own tools use ("No such file or directory" for "File not found").
    static QString reasonFor(const std::string &description);

private:
    void say(const QString &line);

    int m_fd;
    int m_failures = 0;
    QString m_subject;
    std::string m_subjectTag;
    bool m_subjectTold = false;
};

} // namespace cli
