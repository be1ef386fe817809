#pragma once

#include "engine/FileReader.h"
#include "engine/Modes.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace run {

// Which part of a result the rows show.
enum class DisplayOption {
    None,        // no rows are added
    LineOnly,    // the line
    FileAndLine, // the file's path, a space and the line
    FileOnly,    // the file's path
};

// Everything one extraction run needs, taken once when it starts: a front end (the window, the
// command line) fills it in, and the run reads nothing else.
struct RunRequest {
    // The mode; nothing finds no blocks (no mode chosen).
    std::optional<engine::Mode> mode;
    // The lines above and below of the X/Y mode; 0 or less takes none.
    int linesAbove = 1;
    int linesBelow = 1;
    QString searchText;
    bool matchCase = false;
    // Whether the search text is a regular expression.
    bool regex = false;
    engine::ReadRule readRule = engine::ReadRule::Automatic;
    DisplayOption display = DisplayOption::FileAndLine;
    // Whether a piece's blocks are joined into one row.
    bool oneLine = false;
    // Whether rows carry the numbers of their lines; output that shows none spares the
    // counting (its rows then stand for line 0).
    bool lineNumbers = true;
    // The files, in the order their rows come.
    QStringList paths;
};

// The most lines the X/Y mode takes above or below a match.
inline constexpr int kMostLines = 12;

// Returns the line count a stored text stands for: a whole number from -1 (nothing picked) to
// 12. Throws engine::Failure ("Type mismatch", "Overflow", "Invalid property value") for any
// other text, which the lines dialog refuses too.
int storedLineCount(const QString &stored);

// Returns the message for a search text that is no valid regular expression, or nothing when
// the request's search text serves (always, unless it is a regular expression).
std::optional<QString> patternProblem(const RunRequest &request);

} // namespace run
