#pragma once

#include "platform/DesktopEntry.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace results {

// An editor found on this computer, and the "Editor" setting that opens a file at a line in it.
struct EditorChoice {
    QString name;
    QString setting;
};

// The editors the "Choose Editor…" dialog offers.
class EditorCatalog {
public:
    // Returns the editors found on this computer: the applications whose desktop entries open
    // text files, and the known editors whose program is on the PATH.
    static std::vector<EditorChoice> installed();
    // Returns the choices these entries and these programs give: one per program (an entry
    // before a program on the PATH), sorted by name; terminal editors run in the terminal.
    static std::vector<EditorChoice> choicesFrom(const std::vector<platform::DesktopEntry> &entries,
                                                 const std::function<bool(const QString &)> &onPath,
                                                 const QStringList &terminal);
};

} // namespace results
