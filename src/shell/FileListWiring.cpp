#include "filelist/FileAdder.h"
#include "filelist/FileListController.h"
#include "filelist/FileListEvents.h"
#include "filelist/FileListHost.h"
#include "filelist/FolderScan.h"
#include "filelist/SampleFiles.h"
#include "platform/FileSystem.h"
#include "platform/Yield.h"
#include "shell/LinesDialog.h"
#include "shell/MainWindow.h"
#include "shell/Pointers.h"
#include "shell/ReportView.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

namespace shell {

namespace {

// The main window and its file list view, as the file list's operations see them.
class WindowHost : public filelist::FileListHost {
public:
    WindowHost(MainWindow &window, QAbstractItemView &view) : m_window(window), m_view(view) {}

    platform::ListModel &files() override { return m_window.files(); }
    const platform::Services &services() const override { return m_window.services(); }
    engine::ErrorReporter &reporter() override { return m_window.reporter(); }
    QString applicationTitle() const override { return m_window.applicationTitle(); }
    QString programFolderFile(const QString &name) const override
    {
        return m_window.programFolderFile(name);
    }
    run::Activity activity() const override { return m_window.activity(); }
    void setActivity(run::Activity activity) override { m_window.setActivity(activity); }
    void showArrowPointer() override { m_window.setHoverPointer(MainWindow::Pointer::Arrow); }

    int selectedRow() const override
    {
        const QModelIndexList rows = m_view.selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    void selectRow(int row) override
    {
        m_view.selectionModel()->setCurrentIndex(m_window.files().index(row, 0),
                                                 QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
    }
    void scrollToRow(int row) override { m_view.scrollTo(m_window.files().index(row, 0)); }
    void setListDragPointer(bool carrying) override
    {
        QWidget *viewport = m_view.viewport();
        if (!carrying) {
            // Unset rather than an arrow, so the hourglass of a running scan still shows.
            viewport->unsetCursor();
            return;
        }
        const QString icon = m_window.programFolderFile(QStringLiteral("drag.ico"));
        if (!m_window.services().fileSystem->fileExists(icon))
            return;
        try {
            viewport->setCursor(loadCursorFile(icon));
        } catch (const engine::Failure &) {
            // An unreadable pointer file leaves the normal pointer; the drag works the same.
        }
    }

    void selectLinesAbove(int index) override
    {
        m_window.linesDialog().linesAboveList->setCurrentIndex(index);
    }
    void selectLinesBelow(int index) override
    {
        m_window.linesDialog().linesBelowList->setCurrentIndex(index);
    }
    void setSearchText(const QString &text) override { m_window.searchBox->setText(text); }

private:
    MainWindow &m_window;
    QAbstractItemView &m_view;
};

// Owns the file list's operations for the life of the window, and stops a folder walk when
// the window closes so the program can end at once.
class FileListParts : public QObject {
public:
    FileListParts(MainWindow &window, QAbstractItemView &view)
        : QObject(&window), host(window, view),
          scan(*window.services().fileSystem, *window.services().yield, window.reporter()),
          controller(host), adder(host, scan), samples(host, scan),
          events(std::make_unique<filelist::FileListEvents>(view, controller, adder))
    {
        window.installEventFilter(this);
    }

    WindowHost host;
    filelist::FolderScan scan;
    filelist::FileListController controller;
    filelist::FileAdder adder;
    filelist::SampleFiles samples;
    // Declared last so it goes first: it refers to the controller and the adder.
    std::unique_ptr<filelist::FileListEvents> events;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Close && watched == parent())
            scan.stop();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void MainWindow::connectFileList()
{
    auto *parts = new FileListParts(*this, *filesList);
    connect(addFolderButton, &QPushButton::clicked, parts, [parts] { parts->adder.addFolder(); });
    connect(addFilesButton, &QPushButton::clicked, parts, [parts] { parts->adder.addFiles(); });
    connect(clearFilesButton, &QPushButton::clicked, parts,
            [parts] { parts->controller.clearFiles(); });
    connect(loadSamplesButton, &QPushButton::clicked, parts,
            [parts] { parts->samples.loadSamples(); });
    recordSampleFiles = [parts] { parts->samples.recordSampleFiles(); };
    addGivenPaths = [parts](const QStringList &paths) { parts->adder.addGivenPaths(paths); };
    // Rows found by a folder walk join the list in batches, right before each event pump.
    if (auto *pump = dynamic_cast<platform::QtYield *>(m_services.yield))
        pump->addBeforePump([this] { m_files.flush(); });
}

} // namespace shell
