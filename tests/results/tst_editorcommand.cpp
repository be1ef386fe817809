// The command lines that open a file at a line: the "Editor" setting and desktop entries.
#include "platform/DesktopEntry.h"
#include "results/EditorCommand.h"

#include <QTest>

using results::EditorCommand;

namespace {

const QString kPath = QStringLiteral("/data/notes.txt");

QStringList argv(const results::ProgramCall &call)
{
    return call.program.isEmpty() ? QStringList{} : QStringList{call.program} + call.arguments;
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
};

void TestEditorCommand::fromSetting_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("%f and %l arguments of their own")
        << "gedit +%l %f" << kPath << "7" << QStringList{"gedit", "+7", kPath};
    QTest::newRow("without %f the path goes last")
        << "kate -b" << kPath << "7" << QStringList{"kate", "-b", kPath};
    QTest::newRow("a quoted program with blanks")
        << "\"/opt/My Editor/ed\" --line %l %f" << kPath << "7"
        << QStringList{"/opt/My Editor/ed", "--line", "7", kPath};
    QTest::newRow("%f and %l inside one argument")
        << "code --goto %f:%l:1" << kPath << "12" << QStringList{"code", "--goto", kPath + ":12:1"};
    QTest::newRow("a path with blanks, quotes and a semicolon stays one argument")
        << "ed %f"
        << "/d/my \"odd\"; rm x.txt"
        << "1" << QStringList{"ed", "/d/my \"odd\"; rm x.txt"};
    QTest::newRow("a %l in the path is not filled in")
        << "ed %f +%l"
        << "/d/100%l.txt"
        << "3" << QStringList{"ed", "/d/100%l.txt", "+3"};
    QTest::newRow("%% is a percent sign, other codes stay")
        << "ed --title=50%% %x %f" << kPath << "3" << QStringList{"ed", "--title=50%", "%x", kPath};
    QTest::newRow("triple quotes are a quote")
        << "ed \"\"\"quoted\"\"\" %f" << kPath << "3" << QStringList{"ed", "\"quoted\"", kPath};
    QTest::newRow("a line past 2^32 is passed whole")
        << "vim +%l %f" << kPath << "4294967297" << QStringList{"vim", "+4294967297", kPath};
    QTest::newRow("empty setting") << "" << kPath << "3" << QStringList{};
    QTest::newRow("quotes around nothing") << "\"\"" << kPath << "3" << QStringList{};
}

void TestEditorCommand::fromSetting()
{
    QFETCH(QString, setting);
    QFETCH(QString, path);
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    QCOMPARE(argv(EditorCommand::fromSetting(setting, path, line)), expected);
}

void TestEditorCommand::fromDesktopEntry_data()
{
    // The entry's id and its [Desktop Entry] lines as a desktop file holds them.
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("takesLine");
    const QStringList terminal{"x-terminal-emulator", "-e"};

    QTest::newRow("Kate") << "org.kde.kate.desktop"
                          << "Exec=kate -b %U" << QStringList{"kate", "-b", "--line", "7", kPath}
                          << true;
    QTest::newRow("KWrite, with %c and %i")
        << "org.kde.kwrite.desktop"
        << "Name=KWrite\nExec=kwrite --caption %c %i %U"
        << QStringList{"kwrite", "--caption", "KWrite", "--line", "7", kPath} << true;
    QTest::newRow("gedit") << "org.gnome.gedit.desktop"
                           << "Exec=gedit %U" << QStringList{"gedit", "+7", kPath} << true;
    QTest::newRow("GNOME Text Editor takes no line")
        << "org.gnome.TextEditor.desktop"
        << "Exec=gnome-text-editor %U" << QStringList{"gnome-text-editor", kPath} << false;
    QTest::newRow("Mousepad") << "org.xfce.mousepad.desktop"
                              << "Exec=mousepad %U" << QStringList{"mousepad", "--line", "7", kPath}
                              << true;
    QTest::newRow("Geany") << "geany.desktop"
                           << "Exec=geany %F" << QStringList{"geany", "+7", kPath} << true;
    QTest::newRow("Visual Studio Code by its path")
        << "code.desktop"
        << "Exec=/usr/share/code/code --unity-launch %F"
        << QStringList{"/usr/share/code/code", "--unity-launch", "--goto", kPath + ":7:1"} << true;
    QTest::newRow("Vim in the terminal")
        << "vim.desktop"
        << "Exec=vim %F\nTerminal=true" << terminal + QStringList{"vim", "+7", kPath} << true;
    QTest::newRow("Neovim in the terminal")
        << "nvim.desktop"
        << "Exec=nvim %F\nTerminal=true" << terminal + QStringList{"nvim", "+7", kPath} << true;
    QTest::newRow("nano in the terminal")
        << "nano.desktop"
        << "Exec=nano %F\nTerminal=true" << terminal + QStringList{"nano", "+7", kPath} << true;
    QTest::newRow("GNU Emacs") << "emacs.desktop"
                               << "Exec=emacs %F" << QStringList{"emacs", "+7", kPath} << true;
    QTest::newRow("Emacs client through sh, its escapes undone")
        << "emacsclient.desktop"
        << "Exec=sh -c \"if [ -n \\\\\"\\\\$*\\\\\" ]; then exec emacsclient \\\\\"\\\\$@\\\\\"; "
           "fi\" sh %F"
        << QStringList{"sh", "-c", "if [ -n \"$*\" ]; then exec emacsclient \"$@\"; fi",
                       "sh", "+7", kPath}
        << true;
    QTest::newRow("gedit as a Flatpak: the line before the forwarded files")
        << "org.gnome.gedit.desktop"
        << "Exec=/usr/bin/flatpak run --command=gedit --file-forwarding org.gnome.gedit @@u %U @@"
        << QStringList{"/usr/bin/flatpak",
                       "run",
                       "--command=gedit",
                       "--file-forwarding",
                       "org.gnome.gedit",
                       "+7",
                       "@@u",
                       kPath,
                       "@@"}
        << true;
    QTest::newRow("gedit under env")
        << "my-gedit.desktop"
        << "Exec=env GDK_BACKEND=x11 gedit %U"
        << QStringList{"env", "GDK_BACKEND=x11", "gedit", "+7", kPath} << true;
    QTest::newRow("a quoted program path with a blank")
        << "geany.desktop"
        << "Exec=\"/opt/Geany IDE/geany\" %f" << QStringList{"/opt/Geany IDE/geany", "+7", kPath}
        << true;
    QTest::newRow("an unknown editor gets the file only")
        << "leafpad.desktop"
        << "Exec=leafpad %f" << QStringList{"leafpad", kPath} << false;
    QTest::newRow("no field code: line and file go last")
        << "geany.desktop"
        << "Exec=geany" << QStringList{"geany", "+7", kPath} << true;
    QTest::newRow("the Exec of an action is not the entry's")
        << "org.gnome.gedit.desktop"
        << "Exec=gedit %U\n[Desktop Action new-window]\nExec=gedit --new-window"
        << QStringList{"gedit", "+7", kPath} << true;
    QTest::newRow("a quote left open starts nothing") << "org.gnome.gedit.desktop"
                                                      << "Exec=\"gedit %U" << QStringList{} << true;
}

void TestEditorCommand::fromDesktopEntry()
{
    QFETCH(QString, id);
    QFETCH(QString, lines);
    QFETCH(QStringList, expected);
    QFETCH(bool, takesLine);
    const platform::DesktopEntry entry = platform::DesktopEntry::parse(
        id, QStringLiteral("# made by hand\r\n[Desktop Entry]\r\nType=Application\n") + lines);
    const results::ProgramCall call = EditorCommand::fromDesktopEntry(
        entry, kPath, QStringLiteral("7"), {QStringLiteral("x-terminal-emulator")});
    QCOMPARE(argv(call), expected);
    QCOMPARE(call.takesLine, takesLine);
}

void TestEditorCommand::settingRoundTrip_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("plain") << QStringList{"gedit", "+LINE", "PATH"};
    QTest::newRow("blanks") << QStringList{"/opt/My Editor/ed", "--title", "two words", "PATH"};
    QTest::newRow("quotes inside, at the start and the end")
        << QStringList{"ed", "a\"b", "\"lead", "trail\"", "\"", "PATH"};
    QTest::newRow("percent signs") << QStringList{"ed", "50%", "%f", "%%", "PATHx:LINE:1"};
    QTest::newRow("a shell script") << QStringList{
        "sh", "-c", "if [ -n \"$*\" ]; then exec emacsclient \"$@\"; fi", "sh", "+LINE", "PATH"};
}

void TestEditorCommand::settingRoundTrip()
{
    // The dialog writes a found editor's call as a setting; read back, it makes the same call.
    QFETCH(QStringList, arguments);
    results::ProgramCall call;
    for (QString &argument : arguments)
        argument.replace(QStringLiteral("PATH"), EditorCommand::pathMarker)
            .replace(QStringLiteral("LINE"), EditorCommand::lineMarker);
    call.program = arguments.takeFirst();
    call.arguments = arguments;
    const QString setting = EditorCommand::settingFor(call);
    QStringList expected = QStringList{call.program} + call.arguments;
    for (QString &argument : expected)
        argument.replace(EditorCommand::pathMarker, kPath)
            .replace(EditorCommand::lineMarker, QStringLiteral("42"));
    QCOMPARE(argv(EditorCommand::fromSetting(setting, kPath, QStringLiteral("42"))), expected);
}

QTEST_APPLESS_MAIN(TestEditorCommand)
#include "tst_editorcommand.moc"
