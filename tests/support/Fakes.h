#pragma once

#include "engine/Steps.h"
#include "platform/Clipboard.h"
#include "platform/Desktop.h"
#include "platform/FileDialogs.h"
#include "platform/Prompts.h"
#include "platform/QtFileSystem.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"
#include "platform/Yield.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

namespace fakes {

// Records every message and input box and answers from a script (OK / Yes / empty text when
// the script is empty).
class FakePrompts : public platform::Prompts {
public:
    struct Shown {
        QString text;
        QString title;
        platform::Icon icon;
        platform::Buttons buttons;
    };
    platform::Answer message(const QString &text, const QString &title, platform::Icon icon,
                             platform::Buttons buttons) override;
    QString input(const QString &prompt, const QString &title, const QString &defaultText) override;

    std::vector<Shown> messages;
    QStringList inputPrompts;
    QStringList inputDefaults;
    std::deque<platform::Answer> answers;
    std::deque<QString> inputAnswers;
    // Runs while a message box is shown (as a nested handler would).
    std::function<void(const QString &)> onMessage;

    // Returns the texts of every message shown, in order.
    QStringList texts() const;
    // Returns the texts of the "Application Error" reports only.
    QStringList errors() const;
};

// Counts yields and runs an optional action at each (a click during a run, say).
class FakeYield : public platform::Yield {
public:
    void yield() override;
    int count = 0;
    std::function<void(int)> onYield;
};

// An in-memory settings store that can be told to refuse writes.
class FakeSettings : public platform::SettingsStore {
public:
    QString readSetting(const QString &application, const QString &section, const QString &key,
                        const QString &defaultValue) override;
    void writeSetting(const QString &application, const QString &section, const QString &key,
                      const QString &value) override;
    // Returns the stored value of a key of Tarnwick/Lumbrex, or a null text when absent.
    QString value(const QString &key) const;
    // Stores a value of Tarnwick/Lumbrex directly, as a previous session would have.
    void set(const QString &key, const QString &value);

    QMap<QString, QString> values; // "application/section/key" -> text
    QStringList writes;            // "key=value", in order
    bool refuseWrites = false;
};

// Scripted file dialogs.
class FakeFileDialogs : public platform::FileDialogs {
public:
    QStringList openFiles(const QString &title, const QString &filter) override;
    QString saveFile(const QString &title, const QString &filter,
                     const QString &suggestedName) override;
    QString browseFolder(const QString &title, const QString &startFolder) override;

    QStringList nextOpenFiles;
    QString nextSaveFile;
    QString nextFolder;
    QStringList titles;
    QStringList filters;
    QStringList startFolders;
};

// A clipboard in memory that can refuse a number of attempts.
class FakeClipboard : public platform::Clipboard {
public:
    void clear() override;
    bool setText(const QString &text) override;
    QString text() override { return contents; }

    QString contents;
    int refuseSets = 0;
    int setAttempts = 0;
};

// A desktop that records what it was asked to open and start.
class FakeDesktop : public platform::Desktop {
public:
    bool openFolder(const QString &folder) override;
    bool showInFileManager(const QString &file) override;
    bool hasSpreadsheetApplication() override { return spreadsheetInstalled; }
    bool openSpreadsheet(const QString &file) override;
    QString defaultApplication(const QString &mimeType) override;
    // Records the program and its arguments as one list; throws "File not found: program"
    // for the programs in missingPrograms.
    void startDetached(const QString &program, const QStringList &arguments) override;

    bool spreadsheetInstalled = true;
    QStringList openedFolders;
    QStringList openedSpreadsheets;
    QStringList shownFiles;
    QMap<QString, QString> defaultApplications; // MIME type -> desktop file id
    QStringList missingPrograms;
    QList<QStringList> started;
};

// Collects engine failures as "tag|step|description".
class RecordingReporter : public engine::ErrorReporter {
public:
    void reportError(const std::string &tag, int step, const std::string &description) override;
    QStringList reports;
};

// Every fake, bundled as the services a main window is built with; the file system is real.
struct TestServices {
    FakePrompts prompts;
    FakeYield yield;
    FakeSettings settings;
    FakeFileDialogs dialogs;
    FakeClipboard clipboard;
    FakeDesktop desktop;
    platform::QtFileSystem fileSystem;

    // Returns the seams for a main window.
    platform::Services services();
};

} // namespace fakes
