#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <vector>

namespace platform {

// An application's desktop entry (a .desktop file), as far as starting it with a file goes:
// its name, its command line and whether it runs in a terminal.
struct DesktopEntry {
    // The desktop file id, "org.gnome.gedit.desktop".
    QString id;
    QString name;
    // The command line split into arguments; field codes (%f, %U, ...) are still in them.
    QStringList exec;
    bool terminal = false;
    QStringList mimeTypes;
    // Set by Hidden=true or NoDisplay=true: the entry is not offered to the user.
    bool hidden = false;

    // Returns whether the entry can start anything.
    bool usable() const { return !exec.isEmpty() && !exec.first().isEmpty(); }

    // Returns the entry described by the text of a desktop file (its [Desktop Entry] group).
    static DesktopEntry parse(const QString &id, QStringView text);
    // Returns the arguments of an Exec value, unquoted by the rules of desktop entries; empty
    // when a quote is left open.
    static QStringList splitExec(QStringView value);
    // Returns the entry with that id from the first XDG applications folder that has it; an
    // unusable entry when none has.
    static DesktopEntry find(const QString &id);
    // Returns every entry of the XDG applications folders, an id found in an earlier folder
    // hiding the same id in later ones.
    static std::vector<DesktopEntry> all();
};

} // namespace platform
