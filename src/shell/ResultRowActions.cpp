#include "ResultRowActions.h"

#include "engine/Steps.h"
#include "platform/Clipboard.h"
#include "platform/ModuleNames.h"
#include "results/EditorCatalog.h"
#include "shell/CaptionProgressBar.h"
#include "shell/EditorDialog.h"
#include "shell/MainWindow.h"
#include "shell/ReportView.h"
#include "shell/ResultsReading.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>

namespace shell {

ResultRowActions::ResultRowActions(MainWindow &window, results::ResultsView &view,
                                   int &resultsInUse)
    : QObject(&window), m_window(window), m_view(window.resultsList),
      m_viewport(window.resultsList->viewport()), m_resultsInUse(resultsInUse),
      m_opener(view, window.services(), window.reporter(),
               [this](const QString &text) { showNote(text); }),
      m_menu(new QMenu(window.resultsList))
{
    // Several rows may be selected for a copy or a removal; the file list keeps one.
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The menu is asked for with the mouse over the rows (a point of the viewport) or with
    // the keyboard on the list (the current row): the two come as events of their own.
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);

    m_menu->setObjectName(QStringLiteral("mnuResults"));
    const auto add = [this](const char *name, const QString &caption, const QKeySequence &keys,
                            auto handler) {
        QAction *action = m_menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        // The keys are the list's own (see eventFilter); the menu only shows them.
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    openAtLineAction = add("mnuOpenAtLine", QStringLiteral("Open at Line"),
                           QKeySequence(Qt::Key_Return), [this] { openRowAtLine(menuRow()); });
    openFolderAction = add("mnuOpenFolder", QStringLiteral("Open Containing Folder"), {},
                           [this] { openRowFolder(menuRow()); });
    m_menu->addSeparator();
    copyAction =
        add("mnuCopy", QStringLiteral("Copy"), QKeySequence::Copy, [this] { copySelectedRows(); });
    m_menu->addSeparator();
    chooseEditorAction = add("mnuChooseEditor", QStringLiteral("Choose Editor\u2026"), {},
                             [this] { chooseEditor(); });
}

EditorDialog *ResultRowActions::editorDialog() const
{
    return m_editorDialog;
}

void ResultRowActions::setOriginSource(std::function<platform::RowOrigin(int)> source)
{
    m_origins = std::move(source);
}

platform::RowOrigin ResultRowActions::originOf(int row) const
{
    if (row < 0 || row >= m_window.results().count())
        return {};
    return m_origins ? m_origins(row) : m_window.results().origin(row);
}

void ResultRowActions::showNote(const QString &text)
{
    m_window.showStatusNote(text);
}

std::vector<results::RowRange> ResultRowActions::selectedRanges() const
{
    std::vector<results::RowRange> ranges;
    const int rows = m_window.results().count();
    // A selection is a few ranges however many rows it holds: never a list of its rows.
    for (const QItemSelectionRange &range : m_view->selectionModel()->selection()) {
        const int first = std::max(range.top(), 0);
        const int last = std::min(range.bottom(), rows - 1);
        if (range.isValid() && first <= last)
            ranges.push_back({first, last});
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<results::RowRange> merged;
    for (const results::RowRange &range : ranges) {
        if (!merged.empty() && range.first <= merged.back().last + 1)
            merged.back().last = std::max(merged.back().last, range.last);
        else
            merged.push_back(range);
    }
    return merged;
}

void ResultRowActions::openCurrentRow()
{
    const QModelIndex current = m_view->currentIndex();
    int row = current.isValid() ? current.row() : -1;
    if (row < 0) {
        const std::vector<results::RowRange> selected = selectedRanges();
        row = selected.empty() ? -1 : selected.front().first;
    }
    openRowAtLine(row);
}

void ResultRowActions::openRowAtLine(int row)
{
    // Rows are only ever appended while a run goes, so a row's number stays its own.
    if (row >= 0 && row < m_window.results().count())
        m_opener.openAtLine(originOf(row));
}

void ResultRowActions::openRowFolder(int row)
{
    if (row >= 0 && row < m_window.results().count())
        m_opener.openContainingFolder(originOf(row));
}

void ResultRowActions::copySelectedRows()
{
    const std::vector<results::RowRange> selected = selectedRanges();
    if (m_resultsInUse > 0 || selected.empty())
        return;
    // Building the text yields: meanwhile nothing may remove the rows it reads.
    const ResultsReading reading(m_resultsInUse);
    engine::Steps steps(m_window.reporter(), platform::mainWindowModule, "CopyRows");
    steps.step(100, [&] {
        const QString text = results::ClipboardCopier::clipboardText(m_window.results(), selected,
                                                                     *m_window.services().yield);
        platform::Clipboard &clipboard = *m_window.services().clipboard;
        clipboard.clear();
        if (!results::ClipboardCopier::setTextWithRetry(clipboard, text))
            throw engine::Failure("The clipboard is in use by another program and did not take "
                                  "the rows");
    });
}

void ResultRowActions::removeSelectedRows()
{
    if (m_window.activity() != run::Activity::Idle || m_resultsInUse > 0)
        return;
    std::vector<int> rows;
    engine::Steps steps(m_window.reporter(), platform::mainWindowModule, "RemoveRows");
    steps.step(100, [&] {
        for (const results::RowRange &range : selectedRanges())
            for (int row = range.first; row <= range.last; ++row)
                rows.push_back(row);
        m_window.results().removeRowsSorted(std::move(rows));
    });
}

void ResultRowActions::chooseEditor()
{
    if (m_editorDialog) {
        m_editorDialog->raise();
        return;
    }
    auto *dialog =
        new EditorDialog(results::EditorCatalog::installed(), m_opener.editorSetting(), &m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_editorDialog = dialog;
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        engine::Steps steps(m_window.reporter(), platform::editorDialogModule, "Command1_Click");
        steps.step(100, [&] { m_opener.storeEditorSetting(dialog->command()); });
    });
    // Window-modal and shown at once: the window's loop goes on under it.
    dialog->open();
}

void ResultRowActions::showMenu(const QPoint &position)
{
    // The row under the pointer; below the rows, or from the keyboard, the current row when
    // it is selected.
    QModelIndex index = m_view->indexAt(position);
    if (!index.isValid()) {
        const QModelIndex current = m_view->currentIndex();
        if (current.isValid() && m_view->selectionModel()->isSelected(current))
            index = current;
    }
    m_menuRow = QPersistentModelIndex(index);
    const bool known = index.isValid() && originOf(index.row()).known();
    openAtLineAction->setEnabled(known);
    openFolderAction->setEnabled(known);
    copyAction->setEnabled(m_resultsInUse == 0 && !selectedRanges().empty());
    m_menu->popup(m_view->viewport()->mapToGlobal(position));
}

bool ResultRowActions::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::ContextMenu && (watched == m_view || watched == m_viewport)) {
        const auto *asked = static_cast<QContextMenuEvent *>(event);
        if (asked->reason() != QContextMenuEvent::Keyboard)
            showMenu(m_view->viewport()->mapFromGlobal(asked->globalPos()));
        else if (const QModelIndex current = m_view->currentIndex(); current.isValid()) {
            m_view->scrollTo(current);
            showMenu(m_view->visualRect(current).center());
        } else
            showMenu(QPoint(-1, -1));
        return true;
    }
    if (watched == m_view && type == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            openCurrentRow();
        else if (key->key() == Qt::Key_Delete)
            removeSelectedRows();
        else if (key->matches(QKeySequence::Copy))
            copySelectedRows();
        else
            return false;
        return true;
    }
    if (watched != m_viewport)
        return false;
    if (type == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        // As in the file list: the selected rows go, wherever the double-click was.
        removeSelectedRows();
        return true;
    }
    if (type == QEvent::MouseButtonPress) {
        // The view would clear the selection on a press below the last row, and the press
        // that opens a double-click there would leave nothing for it to remove.
        const auto *press = static_cast<QMouseEvent *>(event);
        return !m_view->indexAt(press->position().toPoint()).isValid();
    }
    return false;
}

} // namespace shell
