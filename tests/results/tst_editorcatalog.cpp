// The editors the "Choose Editor…" dialog offers.
#include "results/EditorCatalog.h"

#include <QTest>

namespace {

platform::DesktopEntry entry(const QString &id, const QString &name, const QString &exec,
                             bool terminal = false, bool hidden = false,
                             const QString &types = QStringLiteral("text/plain;"))
{
    return platform::DesktopEntry::parse(
        id, QStringLiteral("[Desktop Entry]\nName=%1\nExec=%2\nTerminal=%3\nNoDisplay=%4\n"
                           "MimeType=%5\n")
                .arg(name, exec, terminal ? "true" : "false", hidden ? "true" : "false", types));
}

} // namespace

class TestEditorCatalog : public QObject {
    Q_OBJECT
private slots:
    void choices_data();
    void choices();
};

void TestEditorCatalog::choices_data()
{
    QTest::addColumn<std::vector<platform::DesktopEntry>>("entries");
    QTest::addColumn<QStringList>("onPath");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("an entry that opens text files, with its line syntax")
        << std::vector{entry("org.kde.kate.desktop", "Kate", "kate -b %U")} << QStringList{"kate"}
        << QStringList{"Kate: kate -b --line %l %f"};
    QTest::newRow("a terminal entry runs in the terminal")
        << std::vector{entry("nvim.desktop", "Neovim", "nvim %F", true)} << QStringList{"nvim"}
        << QStringList{"Neovim: urxvt -hold -e nvim +%l %f"};
    QTest::newRow("an entry whose program is gone, a hidden one, one for images: none")
        << std::vector{entry("org.gnome.gedit.desktop", "gedit", "gedit %U"),
                       entry("secret.desktop", "Secret", "secret %f", false, true),
                       entry("viewer.desktop", "Viewer", "viewer %f", false, false, "image/png;")}
        << QStringList{"secret", "viewer"} << QStringList{};
    QTest::newRow("known programs on the PATH, sorted by name; emacs in the terminal")
        << std::vector<platform::DesktopEntry>{} << QStringList{"vim", "emacs", "code", "nano"}
        << QStringList{"GNU Emacs: urxvt -hold -e emacs -nw +%l %f",
                       "GNU nano: urxvt -hold -e nano +%l %f", "Vim: urxvt -hold -e vim +%l %f",
                       "Visual Studio Code: code --goto %f:%l:1"};
    QTest::newRow("an entry comes before the same program on the PATH")
        << std::vector{entry("org.gnome.gedit.desktop", "Text Editor (gedit)", "gedit %U")}
        << QStringList{"gedit"} << QStringList{"Text Editor (gedit): gedit +%l %f"};
    QTest::newRow("an unknown editor opens the file only; a quoted path stays quoted")
        << std::vector{entry("pad.desktop", "Pad", "\"/opt/My Pad/pad\" --new %f")}
        << QStringList{"/opt/My Pad/pad"} << QStringList{"Pad: \"/opt/My Pad/pad\" --new %f"};
    QTest::newRow("the emacs client is offered through its entry only")
        << std::vector<platform::DesktopEntry>{} << QStringList{"emacsclient"} << QStringList{};
}

void TestEditorCatalog::choices()
{
    QFETCH(std::vector<platform::DesktopEntry>, entries);
    QFETCH(QStringList, onPath);
    QFETCH(QStringList, expected);
    QStringList shown;
    const auto found = [&](const QString &program) { return onPath.contains(program); };
    for (const results::EditorChoice &choice :
         results::EditorCatalog::choicesFrom(entries, found, {"urxvt", "-hold"}))
        shown << choice.name + ": " + choice.setting;
    QCOMPARE(shown, expected);
}

QTEST_APPLESS_MAIN(TestEditorCatalog)
#include "tst_editorcatalog.moc"
