#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>

namespace cli {

class ConsoleReporter;

// Gathers the paths of a command-line run: those given, then those of a list of paths
// (--files-from); and gives a folder among them as the files of its tree whose names match
// a pattern, as the window's folder scan finds them. What cannot be gathered is reported.
class InputPaths {
public:
    // Reports to reporter; reads a list named "-" from the file descriptor input.
    InputPaths(ConsoleReporter &reporter, int input);

    // Returns the paths in order, or nothing when the list of paths cannot be read at all; a
    // folder among them is to be given as its files with filesOf(), whose names match pattern.
    std::optional<QStringList> gather(const QStringList &given, const QString &listFile,
                                      const QString &pattern);
    // Hands the files of a folder's tree to found in order, as the scan finds them, until
    // stop is set; runs on a thread of its own. Returns what is to be said of the folder
    // (what the scan left out), to be called on the thread of the reporter.
    std::function<void()> filesOf(const QString &folder,
                                  const std::function<void(const QStringList &)> &found,
                                  const std::atomic<bool> &stop);
    // Makes a folder scan under way end at its next yield, and those after it end at once.
    void stop();

    // Returns the paths of a list, one a line (LF or CR LF; empty lines skipped). A name that
    // is not valid UTF-8 (or holds a NUL) is left out, its line number in badLines.
    static QStringList pathsOfList(const QByteArray &bytes, QList<int> &badLines);

private:
    std::optional<QByteArray> readList(const QString &listFile);

    ConsoleReporter &m_reporter;
    int m_input;
    QStringList m_patterns;
    std::atomic<bool> m_stopped{false};
};

} // namespace cli
