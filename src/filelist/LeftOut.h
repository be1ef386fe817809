#pragma once

#include <QString>
#include <QStringList>

namespace filelist {

// What a folder scan could not add to the list, and why.
struct LeftOut {
    int longFolders = 0;   // paths longer than the platform opens
    int longFiles = 0;     // the same, of files
    int deniedFolders = 0; // folders that may not be listed
    // Links to a folder on the way down to them, which the walk does not enter again. Their
    // files are in the list already, so they count neither in any() nor in message().
    QStringList loops;

    // Returns whether anything was left out.
    bool any() const { return longFolders + longFiles + deniedFolders > 0; }
    // Adds what another scan left out.
    LeftOut &operator+=(const LeftOut &other);
    // Returns the one message that says how many folders and files were left out and why.
    QString message() const;
};

} // namespace filelist
