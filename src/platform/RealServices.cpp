#include "RealServices.h"

#include "platform/HeapTuning.h"

namespace platform {

RealServices::RealServices(const QString &settingsFolder) : settings(settingsFolder)
{
    tuneHeapForRuns();
}

void RealServices::setParent(QWidget *window)
{
    prompts.setParent(window);
    dialogs.setParent(window);
}

Services RealServices::services()
{
    Services all;
    all.prompts = &prompts;
    all.yield = &yield;
    all.settings = &settings;
    all.fileSystem = &fileSystem;
    all.dialogs = &dialogs;
    all.clipboard = &clipboard;
    all.desktop = &desktop;
    return all;
}

} // namespace platform
