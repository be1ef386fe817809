#pragma once

#include <QObject>

class QAbstractItemView;

namespace filelist {

class FileAdder;
class FileListController;

// Turns the list view's mouse, key and drop events into the file list's operations:
// double-click and Delete remove, a pressed button drags entries, dropped files are added.
class FileListEvents : public QObject {
    Q_OBJECT
public:
    // Watches the view and its viewport; the controller and adder must outlive this object.
    FileListEvents(QAbstractItemView &view, FileListController &controller, FileAdder &adder,
                   QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool viewportEvent(QEvent *event);

    QAbstractItemView &m_view;
    // Kept from the start: the view is no longer a view while its destructor sends the last
    // events, so it cannot be asked for its viewport then.
    QObject *m_viewport;
    FileListController &m_controller;
    FileAdder &m_adder;
};

} // namespace filelist
