#pragma once

#include "platform/Prompts.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPlatform.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"
#include "platform/Yield.h"

namespace platform {

// The real platform: message boxes, dialogs, clipboard, desktop, file system, the event-loop
// yield and the settings file, owned together.
class RealServices {
public:
    // Keeps the settings in the given folder instead of the user's configuration folder.
    explicit RealServices(const QString &settingsFolder = QString());

    // Points the boxes and dialogs at their parent window.
    void setParent(QWidget *window);
    // Returns the seams, each pointing at one of the members.
    Services services();

    QtPrompts prompts;
    QtYield yield;
    IniSettingsStore settings;
    QtFileSystem fileSystem;
    QtFileDialogs dialogs;
    QtClipboard clipboard;
    QtDesktop desktop;
};

} // namespace platform
