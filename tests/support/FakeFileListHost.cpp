#include "FakeFileListHost.h"

namespace fakes {

FakeFileListHost::FakeFileListHost(platform::FileSystem &fileSystem, const QString &folder)
    : programFolder(folder)
{
    m_services.prompts = &prompts;
    m_services.yield = &yield;
    m_services.settings = &settings;
    m_services.dialogs = &dialogs;
    m_services.desktop = &desktop;
    m_services.fileSystem = &fileSystem;
    list.setHeader(QStringLiteral("File(s)"));
}

QString FakeFileListHost::programFolderFile(const QString &name) const
{
    return programFolder + u'/' + name;
}

void FakeFileListHost::setActivity(run::Activity activity)
{
    doing = activity;
    activityChanges.append(activity);
}

void FakeFileListHost::selectRow(int row)
{
    selected = row;
}

void FakeFileListHost::selectLinesAbove(int index)
{
    presets.append(QStringLiteral("above=%1").arg(index));
}

void FakeFileListHost::selectLinesBelow(int index)
{
    presets.append(QStringLiteral("below=%1").arg(index));
}

void FakeFileListHost::setSearchText(const QString &text)
{
    presets.append(QStringLiteral("text=") + text);
}

} // namespace fakes
