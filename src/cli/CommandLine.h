#pragma once

#include "engine/TextFormat.h"
#include "run/RunRequest.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace cli {

// What a command line asks the program to do.
enum class Command {
    Window,  // open the window, with the given paths in the file list
    Help,    // print how to use the program
    Version, // print the program's version
    Extract, // run one extraction with no window and print or save its rows
};

// How each printed row ends.
enum class RowEnd { Lf, CrLf, Nul };

// The options of one command line. An option of the run that was not given stays unset: it
// then comes from the stored settings (with --use-settings) or from the defaults.
struct Options {
    Command command = Command::Window;
    std::optional<int> mode; // a position in the window's mode list
    std::optional<int> linesAbove;
    std::optional<int> linesBelow;
    std::optional<QString> searchText;
    std::optional<bool> matchCase;
    std::optional<bool> regex;
    std::optional<bool> oneLine;
    std::optional<run::DisplayOption> display;
    std::optional<engine::ReadRule> readRule;
    // The file-name pattern folders are scanned with ("*.log").
    std::optional<QString> scanPattern;
    QStringList paths;
    QString filesFrom; // a file of paths, "-" for standard input; empty for none
    QString saveText;
    QString saveXlsx;
    bool useSettings = false;
    std::optional<bool> lineNumbers; // each printed row after its line number
    RowEnd rowEnd = RowEnd::Lf;
    int threads = 0; // 0: one per processor core
};

// A parsed command line, or what is wrong with it.
struct ParsedCommandLine {
    Options options;
    QString error; // empty when the command line is sound
};

// Parses the arguments that follow the program's name.
ParsedCommandLine parseCommandLine(const QStringList &arguments);

// Returns whether the arguments that follow the program's name ask for something other than
// the window: any option before a "--" but Qt's own (-platform, -style, ...), so that help,
// the version, a run and a wrong option need no display. Qt's options and paths leave the
// window to start.
bool wantsCommandLine(const QStringList &arguments);

// Returns the one-line hint printed after a wrong command line.
QString usageHint();

// Returns the text --help prints.
QString helpText();

// Returns the text --version prints.
QString versionText();

} // namespace cli
