#pragma once

#include "platform/DesktopEntry.h"

#include <QString>
#include <QStringList>
#include <span>

namespace results {

// How an editor's command line takes the line to open a file at.
enum class LineSyntax {
    None,       // it takes none: the file opens at its top
    Plus,       // +LINE before the file (gedit, Geany, vim, nvim, nano, emacs)
    LineOption, // --line LINE before the file (Kate, KWrite, Mousepad)
    Goto,       // --goto FILE:LINE:1 (Visual Studio Code)
};

// An editor whose way of taking a line number is known.
struct KnownEditor {
    const char *program;   // the name of its program
    const char *desktopId; // its usual desktop file id
    const char *name;
    LineSyntax syntax;
    // When it is offered because its program is on the PATH: whether it runs in a terminal,
    // and an option it then needs.
    bool inTerminal;
    const char *terminalOption;
    // Whether its program alone on the PATH makes it an editor to offer.
    bool offeredFromPath;
};

// A program and its arguments, to be started without a shell.
struct ProgramCall {
    QString program;
    QStringList arguments;
    // The editor's name, and whether it was given the line (an editor that takes no line
    // number, or that is not known, opens the file at its top).
    QString editorName;
    bool takesLine = true;
};

// The command lines that open a file at a line: from the "Editor" setting, or from a desktop
// entry with that editor's own way of taking a line number.
class EditorCommand {
public:
    // Stand for the file and the line in a call that is written back as a setting.
    static const QString pathMarker;
    static const QString lineMarker;

    // Returns the editors whose line syntax is known.
    static std::span<const KnownEditor> knownEditors();
    // Returns the known editor a desktop entry starts (by its program, else by its id), or
    // nullptr.
    static const KnownEditor *identify(const platform::DesktopEntry &entry);

    // Returns the call an "Editor" setting makes: the setting split into arguments as
    // QProcess::splitCommand splits it ("" groups, """ is a quote), %f and %l replaced in
    // each argument by the path and the line (%% is a percent sign), the path appended when
    // no argument holds %f. An empty setting gives an empty program.
    static ProgramCall fromSetting(const QString &setting, const QString &path,
                                   const QString &line);
    // Returns the call that opens a file at a line with a desktop entry's application: the
    // editor's line arguments right before the file's field code (or a Flatpak @@ marker
    // before it), the file where the field code is, at the end without one; an entry that
    // runs in a terminal runs as terminal -e command.
    static ProgramCall fromDesktopEntry(const platform::DesktopEntry &entry, const QString &path,
                                        const QString &line, const QStringList &terminal);
    // Returns the user's terminal: $TERMINAL split into arguments, else x-terminal-emulator.
    static QStringList userTerminal();
    // Returns the "Editor" setting that makes the call: every argument quoted where needed,
    // every % doubled, and the markers written as %f and %l.
    static QString settingFor(const ProgramCall &call);
};

} // namespace results
