#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

namespace filelist {

// The key the extension last typed for "Add All File(s) In Folder" is stored under, and the
// extension taken when none is stored (every file).
inline const QString extensionKey = QStringLiteral("Extension");
inline const QString anyExtension = QStringLiteral("*");

class FileListHost;
class FolderScan;
struct LeftOut;

// Fills the input file list: "Add All File(s) In Folder", "Add File(s)" and files or folders
// dropped from a file manager.
class FileAdder {
public:
    // The most characters the file dialog's combined answer may take.
    static constexpr int dialogBufferChars = 30000;

    FileAdder(FileListHost &host, FolderScan &scan);

    // "Add All File(s) In Folder": asks for an extension and a folder, then adds the
    // matching files of the whole tree while the window shows busy, and says in one message
    // what could not be added, if anything.
    void addFolder();
    // "Add File(s)": adds what the multi-select file dialog returns, or says that too many
    // files were chosen.
    void addFiles();
    // Adds dropped paths in order: a folder with every file of its tree, anything else as
    // it stands; then says how many dropped names could not be read back, and in one
    // message what the folders' trees could not add, if anything.
    void dropPaths(const QStringList &paths, int unreadable = 0);
    // Adds paths given on the command line in order, as "Add File(s)" adds chosen files; a
    // folder adds the files of its tree that have the stored extension, as "Add All File(s)
    // In Folder" does. Paths that name nothing are left out and reported once.
    void addGivenPaths(const QStringList &paths);

    // Returns whether a drag carries a list of local files, the only thing a drop takes.
    static bool acceptsDrop(const QMimeData &data);
    // Returns the local paths of a drag, in the order it lists them. A name that is not
    // valid UTF-8 cannot be read back from its text: it is left out and counted in
    // unreadable.
    static QStringList droppedPaths(const QMimeData &data, int *unreadable = nullptr);
    // Returns the length of the dialog's combined answer for the chosen paths: the folder
    // and every name, each followed by a NUL, plus a closing NUL.
    static qsizetype dialogAnswerLength(const QStringList &paths);

private:
    void tellLeftOut(const LeftOut &leftOut);

    FileListHost &m_host;
    FolderScan &m_scan;
};

} // namespace filelist
