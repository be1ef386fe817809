// The command lines that open a file at a line: the "Editor" setting, desktop entries with each
// editor's own line syntax, and the editors the "Choose Editor…" dialog offers. Argument lists
// are written with | between the arguments; F is the file.
#include "platform/DesktopEntry.h"
#include "results/EditorCatalog.h"
#include "results/EditorCommand.h"

#include <QTest>

using results::EditorCommand;

namespace {

const QString kPath = QStringLiteral("/data/my notes.txt");

QString argv(const results::ProgramCall &call)
{
    return (QStringList{call.program} + call.arguments).join(u'|').replace(kPath, "F");
}

platform::DesktopEntry entry(const QString &id, const QString &lines)
{
    return platform::DesktopEntry::parse(id, "# by hand\r\n[Desktop Entry]\r\nType=Application\n" +
                                                 QString(lines).replace(u'|', u'\n'));
}

} // namespace

class TestEditorCommand : public QObject {
    Q_OBJECT
private slots:
    void fromSetting_data();
    void fromSetting();
    void fromDesktopEntry_data();
    void fromDesktopEntry();
    void settingRoundTrip_data();
    void settingRoundTrip();
    void choices_data();
    void choices();
};

void TestEditorCommand::fromSetting_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("%f and %l, a line past 2^32") << "vim +%l %f" << kPath << "vim|+4294967297|F";
    QTest::newRow("without %f the file goes last") << "kate -b" << kPath << "kate|-b|F";
    QTest::newRow("a quoted program with blanks")
        << "\"/opt/My Ed/ed\" --line %l %f" << kPath << "/opt/My Ed/ed|--line|4294967297|F";
    QTest::newRow("%f and %l inside one argument")
        << "code --goto %f:%l:1" << kPath << "code|--goto|F:4294967297:1";
    QTest::newRow("quotes, a semicolon and $ in the path: no shell reads them")
        << "ed %f"
        << "/d/\"odd\"; rm $HOME"
        << "ed|F";
    QTest::newRow("a %l in the path is not filled in") << "ed %f"
                                                       << "/d/100%l"
                                                       << "ed|F";
    QTest::newRow("%% is a percent sign, tripled quotes a quote, other codes stay")
        << "ed 50%% \"\"\"q\"\"\" %x %f" << kPath << "ed|50%|\"q\"|%x|F";
    QTest::newRow("an empty setting starts nothing") << "\"\"" << kPath << "";
}

void TestEditorCommand::fromSetting()
{
    QFETCH(QString, setting);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(argv(EditorCommand::fromSetting(setting, path, "4294967297")).replace(path, "F"),
             expected);
}

void TestEditorCommand::fromDesktopEntry_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("lines"); // of the [Desktop Entry] group, | between them
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("takesLine");
    QTest::newRow("Kate") << "org.kde.kate.desktop"
                          << "Exec=kate -b %U"
                          << "kate|-b|--line|7|F" << true;
    QTest::newRow("KWrite, %c and %i") << "org.kde.kwrite.desktop"
                                       << "Name=KWrite|Exec=kwrite --caption %c %i %U"
                                       << "kwrite|--caption|KWrite|--line|7|F" << true;
    QTest::newRow("gedit") << "org.gnome.gedit.desktop"
                           << "Exec=gedit %U"
                           << "gedit|+7|F" << true;
    QTest::newRow("GNOME Text Editor takes no line") << "org.gnome.TextEditor.desktop"
                                                     << "Exec=gnome-text-editor %U"
                                                     << "gnome-text-editor|F" << false;
    QTest::newRow("Mousepad") << "org.xfce.mousepad.desktop"
                              << "Exec=mousepad %U"
                              << "mousepad|--line|7|F" << true;
    QTest::newRow("Geany, a quoted path") << "geany.desktop"
                                          << "Exec=\"/opt/Geany IDE/geany\" %f"
                                          << "/opt/Geany IDE/geany|+7|F" << true;
    QTest::newRow("Visual Studio Code by its path")
        << "code.desktop"
        << "Exec=/usr/share/code/code --unity-launch %F"
        << "/usr/share/code/code|--unity-launch|--goto|F:7:1" << true;
    QTest::newRow("Vim") << "vim.desktop"
                         << "Exec=vim %F|Terminal=true"
                         << "x-terminal-emulator|-e|vim|+7|F" << true;
    QTest::newRow("Neovim") << "nvim.desktop"
                            << "Exec=nvim %F|Terminal=true"
                            << "x-terminal-emulator|-e|nvim|+7|F" << true;
    QTest::newRow("nano") << "nano.desktop"
                          << "Exec=nano %F|Terminal=true"
                          << "x-terminal-emulator|-e|nano|+7|F" << true;
    QTest::newRow("GNU Emacs") << "emacs.desktop"
                               << "Exec=emacs %F"
                               << "emacs|+7|F" << true;
    QTest::newRow("Emacs client through sh, its escapes undone")
        << "emacsclient.desktop"
        << "Exec=sh -c \"exec emacsclient \\\\\"\\\\$@\\\\\"\" sh %F"
        << "sh|-c|exec emacsclient \"$@\"|sh|+7|F" << true;
    QTest::newRow("a Flatpak: the line before the forwarded files")
        << "org.gnome.gedit.desktop"
        << "Exec=/usr/bin/flatpak run org.gnome.gedit @@u %U @@"
        << "/usr/bin/flatpak|run|org.gnome.gedit|+7|@@u|F|@@" << true;
    QTest::newRow("under env") << "my.desktop"
                               << "Exec=env GDK_BACKEND=x11 gedit %U"
                               << "env|GDK_BACKEND=x11|gedit|+7|F" << true;
    QTest::newRow("an unknown editor gets the file only") << "leafpad.desktop"
                                                          << "Exec=leafpad %f"
                                                          << "leafpad|F" << false;
    QTest::newRow("no field code, and an action's Exec that is not the entry's")
        << "geany.desktop"
        << "Exec=geany|[Desktop Action new]|Exec=geany --new"
        << "geany|+7|F" << true;
    QTest::newRow("a quote left open starts nothing") << "org.gnome.gedit.desktop"
                                                      << "Exec=\"gedit %U"
                                                      << "" << true;
}

void TestEditorCommand::fromDesktopEntry()
{
    QFETCH(QString, id);
    QFETCH(QString, lines);
    QFETCH(QString, expected);
    QFETCH(bool, takesLine);
    const results::ProgramCall call =
        EditorCommand::fromDesktopEntry(entry(id, lines), kPath, "7", {"x-terminal-emulator"});
    QCOMPARE(argv(call), expected);
    QCOMPARE(call.takesLine, takesLine);
}

void TestEditorCommand::settingRoundTrip_data()
{
    QTest::addColumn<QString>("arguments"); // P and L stand for the file and the line
    QTest::newRow("blanks") << "/opt/My Ed/ed|--title|two words|+L|P";
    QTest::newRow("quotes in, at the start and the end") << "ed|a\"b|\"lead|trail\"|\"|P";
    QTest::newRow("percent signs") << "ed|50%|%f|%%|P:L:1";
}

void TestEditorCommand::settingRoundTrip()
{
    // A found editor's call is written as a setting; read back, it makes the same call.
    QFETCH(QString, arguments);
    QStringList parts = arguments.split(u'|');
    results::ProgramCall call;
    call.program = parts.takeFirst();
    call.arguments = parts.replaceInStrings("P", EditorCommand::pathMarker)
                         .replaceInStrings("L", EditorCommand::lineMarker);
    const QString setting = EditorCommand::settingFor(call);
    QCOMPARE(argv(EditorCommand::fromSetting(setting, kPath, "42")),
             QString(arguments).replace("P", "F").replace("L", "42"));
}

void TestEditorCommand::choices_data()
{
    QTest::addColumn<QStringList>("entries"); // id, then its lines
    QTest::addColumn<QStringList>("onPath");
    QTest::addColumn<QStringList>("expected");
    const QString text = "|MimeType=text/plain;";
    QTest::newRow("an entry's line syntax; a terminal entry in the terminal")
        << QStringList{"org.kde.kate.desktop", "Name=Kate|Exec=kate -b %U" + text, "nvim.desktop",
                       "Name=Neovim|Exec=nvim %F|Terminal=true" + text}
        << QStringList{"kate", "nvim"}
        << QStringList{"Kate: kate -b --line %l %f", "Neovim: urxvt -hold -e nvim +%l %f"};
    QTest::newRow("a program gone, a hidden entry, an image viewer: none")
        << QStringList{"a.desktop", "Name=A|Exec=gone %f" + text,
                       "b.desktop", "Name=B|Exec=b %f|NoDisplay=true" + text,
                       "c.desktop", "Name=C|Exec=c %f|MimeType=image/png;"}
        << QStringList{"b", "c"} << QStringList{};
    QTest::newRow("programs on the PATH, sorted; an entry first; emacs in the terminal")
        << QStringList{"org.gnome.gedit.desktop", "Name=Text Editor|Exec=gedit %U" + text}
        << QStringList{"vim", "emacs", "gedit", "emacsclient"}
        << QStringList{"GNU Emacs: urxvt -hold -e emacs -nw +%l %f", "Text Editor: gedit +%l %f",
                       "Vim: urxvt -hold -e vim +%l %f"};
}

void TestEditorCommand::choices()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, onPath);
    QFETCH(QStringList, expected);
    std::vector<platform::DesktopEntry> found;
    for (qsizetype i = 0; i + 1 < entries.size(); i += 2)
        found.push_back(entry(entries[i], entries[i + 1]));
    QStringList shown;
    const auto there = [&](const QString &program) { return onPath.contains(program); };
    for (const auto &choice : results::EditorCatalog::choicesFrom(found, there, {"urxvt", "-hold"}))
        shown << choice.name + ": " + choice.setting;
    QCOMPARE(shown, expected);
}

QTEST_APPLESS_MAIN(TestEditorCommand)
#include "tst_editorcommand.moc"
