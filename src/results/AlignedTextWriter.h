#pragma once

#include <QString>
#include <string>

namespace engine {
class ErrorReporter;
}

namespace platform {
class ListModel;
class Yield;
} // namespace platform

namespace results {

class OutputFile;
class ProgressIndicator;

// Writes a list as an aligned text file: a header line, then one line per row; every cell
// padded with blanks to its column's width (in characters, at most maxColumnWidth) and
// followed by a tab; CR LF line ends; Windows-1252, or UTF-8 with a byte-order mark when some
// cell holds a character Windows-1252 cannot hold.
class AlignedTextWriter {
public:
    // The widest a column is padded to, in characters; longer cells are written unpadded.
    static constexpr int maxColumnWidth = 1024;

    AlignedTextWriter(platform::Yield &yield, engine::ErrorReporter &reporter);

    // Writes the list to path, replacing an existing file only once every line has been
    // written. The first failure ends the save with one report (tag
    // "Main.SaveListviewProperlySpaced"), leaves an existing file untouched and returns false.
    // Progress may be null.
    bool saveAligned(const platform::ListModel &list, const QString &path,
                     ProgressIndicator *progress);

private:
    // One save under way: what it writes, and the step the error report quotes.
    struct Save {
        const platform::ListModel &list;
        ProgressIndicator *progress;
        QString caption;
        int at = 100;
        int width = 0;
        bool utf8 = false;
    };
    void showProgress(Save &save, int firstStep, double value);
    void writeRows(Save &save, OutputFile &file);

    platform::Yield &m_yield;
    engine::ErrorReporter &m_reporter;
};

} // namespace results
