#pragma once

#include <QString>
#include <QStringList>

namespace cli {

struct Options;
class ConsoleReporter;

// Where a command line reads and writes: its standard streams, and the folder of the
// settings file (empty: the user's own).
struct Console {
    int input = 0;
    int output = 1;
    int errors = 2;
    QString settingsFolder;
};

// Carries out a command line that asks for no window (the arguments after the program's
// name): help, the version, or one extraction. Returns the exit status: 0 when rows were
// found, 1 when none were, 2 when anything failed or the command line was wrong. Ctrl+C and
// a closed output pipe end the program as those signals do.
int runCommandLine(const QStringList &arguments, const Console &console = {});

// Runs one extraction for the options (of Command::Extract) and returns the exit status.
int runExtraction(Options options, const Console &console, ConsoleReporter &reporter);

} // namespace cli
