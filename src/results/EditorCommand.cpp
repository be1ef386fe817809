#include "EditorCommand.h"

#include <QProcess>
#include <algorithm>

namespace results {

namespace {

// Each line syntax as the editor's own manual or --help gives it (Debian 12's packages).
// GNOME Text Editor 43 takes no line number on its command line.
constexpr KnownEditor kEditors[] = {
    {"kate", "org.kde.kate.desktop", "Kate", LineSyntax::LineOption, false, nullptr, true},
    {"kwrite", "org.kde.kwrite.desktop", "KWrite", LineSyntax::LineOption, false, nullptr, true},
    {"gedit", "org.gnome.gedit.desktop", "gedit", LineSyntax::Plus, false, nullptr, true},
    {"gnome-text-editor", "org.gnome.TextEditor.desktop", "GNOME Text Editor", LineSyntax::None,
     false, nullptr, true},
    {"mousepad", "org.xfce.mousepad.desktop", "Mousepad", LineSyntax::LineOption, false, nullptr,
     true},
    {"geany", "geany.desktop", "Geany", LineSyntax::Plus, false, nullptr, true},
    {"code", "code.desktop", "Visual Studio Code", LineSyntax::Goto, false, nullptr, true},
    {"gvim", "gvim.desktop", "GVim", LineSyntax::Plus, false, nullptr, true},
    {"vim", "vim.desktop", "Vim", LineSyntax::Plus, true, nullptr, true},
    {"nvim", "nvim.desktop", "Neovim", LineSyntax::Plus, true, nullptr, true},
    {"nano", "nano.desktop", "GNU nano", LineSyntax::Plus, true, nullptr, true},
    {"emacs", "emacs.desktop", "GNU Emacs", LineSyntax::Plus, true, "-nw", true},
    // Started by its desktop entry through sh, which hands it the arguments after the script.
    {"emacsclient", "emacsclient.desktop", "Emacs (Client)", LineSyntax::Plus, false, nullptr,
     false},
};

// Returns the name of the program a command line starts, past an env and its assignments.
QString programName(const QStringList &exec)
{
    qsizetype at = 0;
    const auto name = [&](qsizetype i) { return exec.at(i).section(u'/', -1); };
    if (!exec.isEmpty() && name(0) == u"env") {
        ++at;
        while (at < exec.size() && (exec.at(at).contains(u'=') || exec.at(at).startsWith(u'-')))
            ++at;
    }
    return at < exec.size() ? name(at) : QString();
}

// Returns the argument with the desktop entry's field codes filled in: the file codes by the
// path (only the first time, *placed then set), %c by the name, %% by a percent sign; the
// other codes go.
QString expandFieldCodes(const QString &argument, const QString &path, const QString &name,
                         bool *placed)
{
    QString expanded;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        const QChar c = argument.at(i);
        if (c != u'%' || i + 1 == argument.size()) {
            expanded += c;
            continue;
        }
        const QChar code = argument.at(++i);
        if (QStringView(u"fFuU").contains(code)) {
            if (!*placed)
                expanded += path;
            *placed = true;
        } else if (code == u'c') {
            expanded += name;
        } else if (code == u'%') {
            expanded += u'%';
        }
    }
    return expanded;
}

bool holdsFileCode(const QString &argument)
{
    for (qsizetype i = 0; i + 1 < argument.size(); ++i) {
        if (argument.at(i) != u'%')
            continue;
        if (QStringView(u"fFuU").contains(argument.at(i + 1)))
            return true;
        ++i; // %% and the other codes
    }
    return false;
}

// The arguments that go before the file, and the file's own argument.
QStringList lineArguments(LineSyntax syntax, const QString &line)
{
    switch (syntax) {
    case LineSyntax::Plus:
        return {QLatin1Char('+') + line};
    case LineSyntax::LineOption:
        return {QStringLiteral("--line"), line};
    case LineSyntax::Goto:
        return {QStringLiteral("--goto")};
    case LineSyntax::None:
        break;
    }
    return {};
}

QString fileArgument(LineSyntax syntax, const QString &path, const QString &line)
{
    // A column after the line keeps a path that itself ends in ":digits" whole.
    return syntax == LineSyntax::Goto ? path + u':' + line + QStringLiteral(":1") : path;
}

} // namespace

const QString EditorCommand::pathMarker = QString(QChar(0xE000));
const QString EditorCommand::lineMarker = QString(QChar(0xE001));

std::span<const KnownEditor> EditorCommand::knownEditors()
{
    return kEditors;
}

const KnownEditor *EditorCommand::identify(const platform::DesktopEntry &entry)
{
    const QString program = programName(entry.exec);
    for (const KnownEditor &editor : kEditors)
        if (program == QLatin1String(editor.program))
            return &editor;
    // A Flatpak or a wrapper script starts another program; the id still tells the editor.
    for (const KnownEditor &editor : kEditors)
        if (entry.id == QLatin1String(editor.desktopId))
            return &editor;
    return nullptr;
}

ProgramCall EditorCommand::fromSetting(const QString &setting, const QString &path,
                                       const QString &line)
{
    QStringList arguments = QProcess::splitCommand(setting);
    bool placed = false;
    for (QString &argument : arguments) {
        QString filled;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            const QChar c = argument.at(i);
            const QChar next = i + 1 < argument.size() ? argument.at(i + 1) : QChar();
            if (c == u'%' && next == u'f') {
                filled += path;
                placed = true;
            } else if (c == u'%' && next == u'l') {
                filled += line;
            } else if (c == u'%' && next == u'%') {
                filled += u'%';
            } else {
                filled += c;
                continue;
            }
            ++i;
        }
        argument = filled;
    }
    ProgramCall call;
    if (arguments.isEmpty())
        return call;
    if (!placed)
        arguments << path;
    call.program = arguments.takeFirst();
    call.arguments = arguments;
    call.editorName = call.program;
    return call;
}

ProgramCall EditorCommand::fromDesktopEntry(const platform::DesktopEntry &entry,
                                            const QString &path, const QString &line,
                                            const QStringList &terminal)
{
    const KnownEditor *editor = identify(entry);
    const LineSyntax syntax = editor ? editor->syntax : LineSyntax::None;
    ProgramCall call;
    call.editorName = !entry.name.isEmpty() ? entry.name : entry.id;
    call.takesLine = syntax != LineSyntax::None;
    QStringList command;
    bool placed = false;
    for (const QString &argument : entry.exec) {
        if (!placed && holdsFileCode(argument)) {
            // Flatpak forwards the files between @@ markers; options go before them.
            qsizetype at = command.size();
            if (at > 1 && (command.last() == u"@@" || command.last() == u"@@u"))
                --at;
            const QStringList before = lineArguments(syntax, line);
            for (qsizetype i = 0; i < before.size(); ++i)
                command.insert(at + i, before.at(i));
            command << expandFieldCodes(argument, fileArgument(syntax, path, line), call.editorName,
                                        &placed);
            continue;
        }
        const QString expanded = expandFieldCodes(argument, path, call.editorName, &placed);
        // A code that stood alone and went (%i, %k, a second %F) leaves no empty argument.
        if (!expanded.isEmpty() || argument.isEmpty())
            command << expanded;
    }
    if (!placed && !command.isEmpty())
        command << lineArguments(syntax, line) << fileArgument(syntax, path, line);
    if (entry.terminal && !command.isEmpty())
        command = terminal + QStringList{QStringLiteral("-e")} + command;
    if (!command.isEmpty()) {
        call.program = command.takeFirst();
        call.arguments = command;
    }
    return call;
}

QStringList EditorCommand::userTerminal()
{
    const QStringList chosen = QProcess::splitCommand(qEnvironmentVariable("TERMINAL"));
    return chosen.isEmpty() ? QStringList{QStringLiteral("x-terminal-emulator")} : chosen;
}

QString EditorCommand::settingFor(const ProgramCall &call)
{
    QStringList quoted;
    for (const QString &argument : QStringList{call.program} + call.arguments) {
        QString text = QString(argument).replace(u'%', QStringLiteral("%%"));
        text.replace(pathMarker, QStringLiteral("%f")).replace(lineMarker, QStringLiteral("%l"));
        const bool plain = !text.isEmpty() && std::none_of(text.cbegin(), text.cend(), [](QChar c) {
            return c.isSpace() || c == u'"';
        });
        // QProcess::splitCommand reads """ as one quote, inside quotes or out.
        quoted << (plain ? text : u'"' + text.replace(u'"', QStringLiteral("\"\"\"")) + u'"');
    }
    return quoted.join(u' ');
}

} // namespace results
