#include "EditorCatalog.h"

#include "results/EditorCommand.h"

#include <QSet>
#include <QStandardPaths>
#include <algorithm>

namespace results {

namespace {

// Returns what tells one editor from another: its known program, else its command's program.
QString editorKey(const platform::DesktopEntry &entry)
{
    if (const KnownEditor *known = EditorCommand::identify(entry))
        return QLatin1String(known->program);
    return entry.exec.isEmpty() ? QString() : entry.exec.first().section(u'/', -1);
}

} // namespace

std::vector<EditorChoice> EditorCatalog::installed()
{
    return choicesFrom(
        platform::DesktopEntry::all(),
        [](const QString &program) { return !QStandardPaths::findExecutable(program).isEmpty(); },
        EditorCommand::userTerminal());
}

std::vector<EditorChoice>
EditorCatalog::choicesFrom(const std::vector<platform::DesktopEntry> &entries,
                           const std::function<bool(const QString &)> &onPath,
                           const QStringList &terminal)
{
    // The known editors on the PATH are offered as their desktop entries would start them.
    std::vector<platform::DesktopEntry> candidates;
    for (const platform::DesktopEntry &entry : entries)
        if (entry.usable() && !entry.hidden &&
            entry.mimeTypes.contains(QStringLiteral("text/plain")) && onPath(entry.exec.first()))
            candidates.push_back(entry);
    for (const KnownEditor &editor : EditorCommand::knownEditors()) {
        const QString program = QLatin1String(editor.program);
        if (!editor.offeredFromPath || !onPath(program))
            continue;
        platform::DesktopEntry entry;
        entry.id = QLatin1String(editor.desktopId);
        entry.name = QLatin1String(editor.name);
        entry.terminal = editor.inTerminal;
        entry.exec = QStringList{program};
        if (editor.inTerminal && editor.terminalOption)
            entry.exec << QLatin1String(editor.terminalOption);
        entry.exec << QStringLiteral("%F");
        candidates.push_back(entry);
    }
    std::vector<EditorChoice> choices;
    QSet<QString> offered;
    for (const platform::DesktopEntry &entry : candidates) {
        const QString key = editorKey(entry);
        if (offered.contains(key))
            continue;
        offered.insert(key);
        const ProgramCall call = EditorCommand::fromDesktopEntry(
            entry, EditorCommand::pathMarker, EditorCommand::lineMarker, terminal);
        choices.push_back(
            {entry.name.isEmpty() ? entry.id : entry.name, EditorCommand::settingFor(call)});
    }
    std::stable_sort(choices.begin(), choices.end(), [](const auto &a, const auto &b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return choices;
}

} // namespace results
