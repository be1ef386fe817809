#include "FileListEvents.h"

#include "FileAdder.h"
#include "FileListController.h"

#include <QAbstractItemView>
#include <QCursor>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>

namespace filelist {

FileListEvents::FileListEvents(QAbstractItemView &view, FileListController &controller,
                               FileAdder &adder, QObject *parent)
    : QObject(parent), m_view(view), m_viewport(view.viewport()), m_controller(controller),
      m_adder(adder)
{
    view.setAcceptDrops(true);
    view.viewport()->setAcceptDrops(true);
    view.viewport()->setMouseTracking(true);
    view.installEventFilter(this);
    view.viewport()->installEventFilter(this);
    // The view selects the pressed row first; only then is it the carried entry.
    connect(&view, &QAbstractItemView::pressed, this, [this] { m_controller.itemClick(); });
}

bool FileListEvents::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_viewport)
        return viewportEvent(event);
    if (watched == &m_view && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        m_controller.removeSelected();
        return true;
    }
    return false;
}

bool FileListEvents::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        m_controller.mouseDown();
        // The view would clear the selection on a press below the last row, and the press
        // that opens a double-click there would leave nothing for it to remove.
        const auto *press = static_cast<QMouseEvent *>(event);
        return !m_view.indexAt(press->position().toPoint()).isValid();
    }
    case QEvent::MouseMove: {
        const auto *move = static_cast<QMouseEvent *>(event);
        const int hovered = m_view.indexAt(move->position().toPoint()).row();
        const bool dragging = m_controller.isMouseDown();
        m_controller.mouseMove(hovered, QCursor::pos().y());
        // While an entry is carried the exchange decides the selection, not the view's
        // own drag-select.
        return dragging;
    }
    case QEvent::MouseButtonRelease:
        m_controller.mouseUp();
        return false;
    case QEvent::MouseButtonDblClick:
        m_controller.removeSelected();
        return true;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDropEvent *>(event);
        if (FileAdder::acceptsDrop(*drag->mimeData()))
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        int unreadable = 0;
        const QStringList paths = FileAdder::droppedPaths(*drop->mimeData(), &unreadable);
        if (paths.isEmpty() && unreadable == 0) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        // The drag source waits for the drop to be answered: a large folder is walked after
        // that, not inside it.
        QTimer::singleShot(0, this,
                           [this, paths, unreadable] { m_adder.dropPaths(paths, unreadable); });
        return true;
    }
    default:
        return false;
    }
}

} // namespace filelist
