#pragma once

#include <QPersistentModelIndex>

namespace filelist {

class FileListHost;

// Takes entries out of the input file list and reorders them: removal of the selected
// entry, "Clear List", and dragging an entry over the others, which exchanges texts.
class FileListController {
public:
    // Pointer heights on the screen, in pixels, above and below which a drag scrolls.
    static constexpr int scrollUpBelowY = 305;
    static constexpr int scrollDownBeyondY = 364;

    explicit FileListController(FileListHost &host);

    // Removes the selected entry (double-click or Delete), unless the window is busy.
    void removeSelected();
    // "Clear List": removes every entry, unless the window is busy.
    void clearFiles();

    // A mouse button went down over the list.
    void mouseDown();
    // An entry was clicked: the selected entry becomes the carried one.
    void itemClick();
    // The pointer moved over the list; hoveredRow is the row under it (-1 for none) and
    // screenY its height on the screen. Exchanges the carried and hovered texts while a
    // button is down.
    void mouseMove(int hoveredRow, int screenY);
    // The mouse button was released over the list.
    void mouseUp();

    // Returns whether a mouse button is down on the list.
    bool isMouseDown() const { return m_mouseDown; }
    // Returns the row of the carried entry, or -1 when there is none.
    int carriedRow() const;

private:
    bool busy() const;

    FileListHost &m_host;
    bool m_mouseDown = false;
    QPersistentModelIndex m_carried;
};

} // namespace filelist
