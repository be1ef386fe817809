#pragma once

namespace platform {

class Prompts;
class FileDialogs;
class Clipboard;
class Desktop;
class FileSystem;
class Yield;
class SettingsStore;

// The platform seams the main window is built with: the real ones in the program, fakes in
// tests. Every member is set.
struct Services {
    Prompts *prompts = nullptr;
    FileDialogs *dialogs = nullptr;
    Clipboard *clipboard = nullptr;
    Desktop *desktop = nullptr;
    FileSystem *fileSystem = nullptr;
    Yield *yield = nullptr;
    SettingsStore *settings = nullptr;
};

} // namespace platform
