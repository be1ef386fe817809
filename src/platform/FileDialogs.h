#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// The file-open and file-save dialogs and the folder browser.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Shows a multi-select open dialog; returns the chosen paths, none on Cancel.
    virtual QStringList openFiles(const QString &title, const QString &filter) = 0;
    // Shows a save dialog; returns the chosen path, empty on Cancel. The dialog itself
    // does not ask about overwriting: the caller does.
    virtual QString saveFile(const QString &title, const QString &filter,
                             const QString &suggestedName) = 0;
    // Shows the folder browser starting at a folder (empty: its own default place);
    // returns the chosen folder, empty on Cancel.
    virtual QString browseFolder(const QString &title, const QString &startFolder) = 0;
};

} // namespace platform
