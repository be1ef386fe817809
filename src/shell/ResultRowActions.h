#pragma once

#include "platform/RowOrigin.h"
#include "results/ClipboardCopier.h"
#include "results/RowOpener.h"

#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <functional>
#include <vector>

class QAction;
class QMenu;

namespace shell {

class EditorDialog;
class MainWindow;
class ReportView;

// What the rows of the results list do beyond the buttons under it: Enter and "Open at Line"
// open a row's file at its line in the user's editor, "Open Containing Folder" shows the file,
// Ctrl+C and "Copy" copy the selected rows, Delete and a double-click remove them (never while
// the program is busy or the list is being read), and "Choose Editor…" sets the editor.
class ResultRowActions : public QObject {
    Q_OBJECT
public:
    // Wires the window's results list, which the results handlers see as view; resultsInUse
    // counts the saves, copies, exports and filters reading the list, during which nothing
    // may remove rows.
    ResultRowActions(MainWindow &window, results::ResultsView &view, int &resultsInUse);

    // Opens the current row (else the first selected one) at its line.
    void openCurrentRow();
    // Opens a row's file at its line.
    void openRowAtLine(int row);
    // Shows a row's file in the file manager.
    void openRowFolder(int row);
    // Puts the selected rows on the clipboard, one line each.
    void copySelectedRows();
    // Removes the selected rows, unless the program is busy or the list is being read.
    void removeSelectedRows();
    // Opens the "Choose Editor" dialog; OK stores its command line as the "Editor" setting.
    void chooseEditor();

    // Returns the context menu.
    QMenu &menu() const { return *m_menu; }
    // Returns the row the context menu was opened for, or -1.
    int menuRow() const { return m_menuRow.isValid() ? m_menuRow.row() : -1; }
    // Returns the "Choose Editor" dialog while it is open.
    EditorDialog *editorDialog() const;
    // Reads rows' origins from the function instead of the results list (tests give rows
    // origins with it).
    void setOriginSource(std::function<platform::RowOrigin(int)> source);

    QAction *openAtLineAction = nullptr;
    QAction *openFolderAction = nullptr;
    QAction *copyAction = nullptr;
    QAction *chooseEditorAction = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Prepares the context menu for a point of the list's viewport and pops it up there.
    void showMenu(const QPoint &position);
    platform::RowOrigin originOf(int row) const;
    // Returns the selected rows as sorted ranges that do not overlap.
    std::vector<results::RowRange> selectedRanges() const;
    void showNote(const QString &text);

    MainWindow &m_window;
    // Kept from the start: while the window is destroyed the list is no longer a list.
    ReportView *m_view;
    QObject *m_viewport;
    int &m_resultsInUse;
    results::RowOpener m_opener;
    QMenu *m_menu;
    QPersistentModelIndex m_menuRow;
    QPointer<EditorDialog> m_editorDialog;
    std::function<platform::RowOrigin(int)> m_origins;
};

} // namespace shell
