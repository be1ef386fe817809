#include "FileListController.h"

#include "FileListHost.h"
#include "engine/Steps.h"
#include "platform/ListModel.h"
#include "platform/ModuleNames.h"

namespace filelist {

FileListController::FileListController(FileListHost &host) : m_host(host)
{
}

bool FileListController::busy() const
{
    return m_host.activity() != run::Activity::Idle;
}

int FileListController::carriedRow() const
{
    return m_carried.isValid() ? m_carried.row() : -1;
}

void FileListController::removeSelected()
{
    if (busy())
        return;
    platform::ListModel &files = m_host.files();
    const int row = m_host.selectedRow();
    if (files.count() == 0 || row < 0 || row >= files.count())
        return;
    files.removeAt(row);
}

void FileListController::clearFiles()
{
    engine::Steps steps(m_host.reporter(), platform::mainWindowModule, "PushButton7_Click");
    if (steps.test(100, [&] { return !busy(); }))
        steps.step(100, [&] { m_host.files().clear(); });
}

void FileListController::mouseDown()
{
    m_mouseDown = true;
}

void FileListController::itemClick()
{
    platform::ListModel &files = m_host.files();
    files.flush();
    const int row = m_host.selectedRow();
    if (row < 0 || row >= files.count())
        return;
    // A persistent index follows the entry when rows above it go and forgets it when the
    // entry itself goes, so a later drag never writes into the wrong row.
    m_carried = QPersistentModelIndex(files.index(row, 0));
    m_host.setListDragPointer(true);
}

void FileListController::mouseMove(int hoveredRow, int screenY)
{
    m_host.showArrowPointer();
    if (!m_mouseDown)
        return;
    platform::ListModel &files = m_host.files();
    files.flush();
    const int carried = carriedRow();
    if (hoveredRow < 0 || hoveredRow >= files.count() || carried < 0)
        return;
    const QString carriedText = files.text(carried);
    const QString hoveredText = files.text(hoveredRow);
    if (carriedText == hoveredText)
        return;
    files.setText(carried, hoveredText);
    files.setText(hoveredRow, carriedText);
    m_host.selectRow(hoveredRow);
    m_carried = QPersistentModelIndex(files.index(hoveredRow, 0));
    if (screenY < scrollUpBelowY && hoveredRow > 0)
        m_host.scrollToRow(hoveredRow - 1);
    else if (screenY > scrollDownBeyondY && hoveredRow + 1 < files.count())
        m_host.scrollToRow(hoveredRow + 1);
}

void FileListController::mouseUp()
{
    m_mouseDown = false;
    m_host.setListDragPointer(false);
}

} // namespace filelist
