#pragma once

#include <QString>

namespace platform {
class ListModel;
class Yield;
} // namespace platform

namespace filelist {

class FileListHost;
class FolderScan;

// The example files beside the program: their list is recorded once at start-up in the
// setting "Snapshot" (scrambled) and "Load Sample/Example Files" adds them from there.
class SampleFiles {
public:
    // The key "Snapshot" is scrambled with; eight lower-case letters.
    static const QString scrambleKey;
    // The settings key that holds the recorded list.
    static const QString snapshotKey;

    SampleFiles(FileListHost &host, FolderScan &scan);

    // Records the paths of the files in the program's "Samples" folder as "Snapshot";
    // throws engine::Failure when that fails.
    void recordSampleFiles();
    // Appends every recorded sample file that still exists and is not yet listed, then asks
    // whether to open the samples folder.
    void loadSampleFiles(platform::ListModel &list);
    // "Load Sample/Example Files": loads the samples, then presets 2 lines above, 1 line
    // below and the search text "Dozida".
    void loadSamples();

    // Returns the text with the key's character codes added, code by code (single-byte
    // code page, wrapping past 255); throws engine::Failure("Overflow") past 32767
    // characters.
    static QString scrambleText(const QString &text, const QString &key, platform::Yield &yield);
    // Undoes scrambleText for texts of codes 1 to 255.
    static QString unscrambleText(const QString &text, const QString &key, platform::Yield &yield);
    // Returns whether some entry of the list has exactly this text.
    static bool listContainsText(const platform::ListModel &list, const QString &text);
    // Returns the stored form of a list of paths: UTF-8 bytes as single-byte characters,
    // so any path survives the single-byte scramble.
    static QString snapshotText(const QString &paths);
    // Returns the paths of a stored form; the inverse of snapshotText.
    static QString pathsFromSnapshotText(const QString &text);

private:
    QString samplesFolder() const;

    FileListHost &m_host;
    FolderScan &m_scan;
};

} // namespace filelist
