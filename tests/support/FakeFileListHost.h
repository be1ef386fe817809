#pragma once

#include "Fakes.h"
#include "filelist/FileListHost.h"
#include "platform/ListModel.h"

#include <QList>

namespace fakes {

// A main window for the file list's operations: a list model, scripted prompts and dialogs,
// and a record of every activity, selection, scroll and preset the operations asked for.
class FakeFileListHost : public filelist::FileListHost {
public:
    // Uses the given file system and "programFolder" as the program's folder.
    FakeFileListHost(platform::FileSystem &fileSystem, const QString &programFolder);

    platform::ListModel &files() override { return list; }
    const platform::Services &services() const override { return m_services; }
    engine::ErrorReporter &reporter() override { return reports; }
    QString applicationTitle() const override { return QStringLiteral("Lumbrex"); }
    QString programFolderFile(const QString &name) const override;
    run::Activity activity() const override { return doing; }
    void setActivity(run::Activity activity) override;
    void showArrowPointer() override { ++arrowsShown; }
    int selectedRow() const override { return selected; }
    void selectRow(int row) override;
    void scrollToRow(int row) override { scrolledTo.append(row); }
    void setListDragPointer(bool carrying) override { dragPointer = carrying; }
    void selectLinesAbove(int index) override;
    void selectLinesBelow(int index) override;
    void setSearchText(const QString &text) override;

    // Returns the list's texts.
    QStringList texts() const { return list.texts(); }

    FakePrompts prompts;
    FakeYield yield;
    FakeSettings settings;
    FakeFileDialogs dialogs;
    FakeDesktop desktop;
    RecordingReporter reports;
    platform::ListModel list;

    QString programFolder;
    run::Activity doing = run::Activity::Idle;
    QList<run::Activity> activityChanges;
    int arrowsShown = 0;
    int selected = -1;
    QList<int> scrolledTo;
    bool dragPointer = false;
    // The presets, in the order they were applied: "above=2", "below=1", "text=...".
    QStringList presets;

private:
    platform::Services m_services;
};

} // namespace fakes
