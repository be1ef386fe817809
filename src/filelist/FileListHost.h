#pragma once

#include "run/Activity.h"

#include <QString>

namespace engine {
class ErrorReporter;
}

namespace platform {
class ListModel;
struct Services;
} // namespace platform

namespace filelist {

// The main window as the input file list sees it: the list and its view, the window's
// pointer, the presets the sample files apply, and the platform seams.
class FileListHost {
public:
    virtual ~FileListHost() = default;

    // Returns the input file list.
    virtual platform::ListModel &files() = 0;
    // Returns the platform seams.
    virtual const platform::Services &services() const = 0;
    // Returns the reporter every tagged operation reports its failures to.
    virtual engine::ErrorReporter &reporter() = 0;
    // Returns the title of message boxes that have none of their own.
    virtual QString applicationTitle() const = 0;
    // Returns the path of a file or folder in the program's folder.
    virtual QString programFolderFile(const QString &name) const = 0;

    // Returns what the program is doing.
    virtual run::Activity activity() const = 0;
    // Sets what the program is doing; the window's pointer follows.
    virtual void setActivity(run::Activity activity) = 0;
    // Shows the arrow, the pointer over the list, unless the program shows it is busy.
    virtual void showArrowPointer() = 0;

    // Returns the selected row of the list (from 0), or -1 when none is selected.
    virtual int selectedRow() const = 0;
    // Selects one row of the list.
    virtual void selectRow(int row) = 0;
    // Scrolls the list so that a row is in view.
    virtual void scrollToRow(int row) = 0;
    // Shows the drag pointer over the list while an entry is carried, or the normal one.
    virtual void setListDragPointer(bool carrying) = 0;

    // Selects an entry of the lines-above list of the lines dialog, which stores it.
    virtual void selectLinesAbove(int index) = 0;
    // Selects an entry of the lines-below list of the lines dialog, which stores it.
    virtual void selectLinesBelow(int index) = 0;
    // Sets the search text, which stores it.
    virtual void setSearchText(const QString &text) = 0;
};

} // namespace filelist
