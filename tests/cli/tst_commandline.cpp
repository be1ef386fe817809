// The command line as a user types it: what is printed, what is said on standard error and
// the exit status, for good command lines and bad ones; and that it gives the window's rows
// and the window's saved file. The real program's process is tried in tst_commandprocess.

#include "cli/CommandLine.h"
#include "cli/CommandLineRun.h"
#include "cli/OutputSink.h"
#include "results/Utf8Text.h"
#include "results/ZipMember.h"
#include "run/ModeTable.h"
#include "shell/MainWindow.h"
#include "support/Fakes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace {

const QByteArray usage =
    "Usage: lumbrex --extract [OPTION]... PATH...  or  lumbrex [PATH]...  (lumbrex --help "
    "tells more)\n";

// What one command line gave.
struct Outcome {
    QByteArray out;
    QByteArray err;
    int status = -1;
};

QByteArray contentsOf(QTemporaryFile &file)
{
    file.seek(0);
    return file.readAll();
}

// Runs a command line in this process, its standard streams in files.
Outcome runLine(const QStringList &arguments, const QByteArray &input = {},
                const QString &settingsFolder = QStringLiteral("/nonexistent"))
{
    QTemporaryFile in, out, err;
    if (!in.open() || !out.open() || !err.open() || in.write(input) != input.size() ||
        !in.flush() || !in.seek(0))
        qFatal("cannot make the standard streams");
    ::lseek(in.handle(), 0, SEEK_SET);
    Outcome outcome;
    outcome.status =
        cli::runCommandLine(arguments, {in.handle(), out.handle(), err.handle(), settingsFolder});
    outcome.out = contentsOf(out);
    outcome.err = contentsOf(err);
    return outcome;
}

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void extraction_data();
    void extraction();
    void badCommandLines_data();
    void badCommandLines();
    void storedSettings_data();
    void storedSettings();
    void saves_data();
    void saves();
    void lineNumbers_data();
    void lineNumbers();
    void windowAndCommandLineGiveTheSameRows();
    void wantsCommandLine_data();
    void wantsCommandLine();
    void documentsKnowEveryOption_data();
    void documentsKnowEveryOption();
    void interruptedWritesLoseNothing();

private:
    QTemporaryDir m_dir;
};

void TestCommandLine::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
    write("names.txt", "Name:\r\nSmith\r\nage 3\r\nname: x\r\n");
    write("lf.txt", "alpha\nbeta hit\ngamma\n");
    write("utf8.txt", "caf\xC3\xA9 hit\nx\n");
    write("utf16.txt", QByteArray("\xFF\xFEh\0i\0t\0 \0\xE9\0\n\0", 14));
    write("dash.txt", "a -x b\nno\n");
    write("gaps.txt", "\n\nhit x\n\n\nhit y\n");
    write("long.txt", QByteArray(70000, 'x') + " hit\nhit again\n");
    // Rows enough for the workers to write them as text: Windows-1252 with CR LF, and UTF-8
    // with a letter beyond U+00FF, each line numbered in its text.
    QByteArray many1252, many8;
    for (int i = 1; i <= 2000; ++i) {
        many1252 += "caf\xE9 hit " + QByteArray::number(i) + "\r\n";
        many8 += "\xC5\x82 caf\xC3\xA9 hit " + QByteArray::number(i) + "\n";
    }
    write("many1252.txt", many1252);
    write("many8.txt", many8);
    write(QStringLiteral("%1/many.txt").arg(QString(70, u'd')), many1252);
    write("logs/a.log", "hit one\n");
    write("logs/b.txt", "hit two\n");
    write("logs/sub/c.log", "hit three\n");
    write("loop/d.txt", "hit four\n");
    QVERIFY(QFile::link(m_dir.filePath("loop"), m_dir.filePath("loop/back")));
    QVERIFY(::mkfifo(QFile::encodeName(m_dir.filePath("fifo")).constData(), 0600) == 0);
}

void TestCommandLine::init()
{
    QDir::setCurrent(m_dir.path());
}

void TestCommandLine::extraction_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<int>("status");

    const QStringList x{"--extract"};
    QTest::newRow("the defaults: the matching line after its path")
        << x + QStringList{"-e", "name:", "names.txt"} << QByteArray()
        << QByteArray("names.txt Name:\nnames.txt name: x\n") << QByteArray() << 0;
    QTest::newRow("match case, line only")
        << x + QStringList{"--search", "Name:", "-s", "--display", "line", "names.txt"}
        << QByteArray() << QByteArray("Name:\n") << QByteArray() << 0;
    QTest::newRow("file only, once per row")
        << x + QStringList{"-e", "name", "--display", "file", "names.txt"} << QByteArray()
        << QByteArray("names.txt\nnames.txt\n") << QByteArray() << 0;
    QTest::newRow("a mode by number")
        << x + QStringList{"-m", "5", "-e", "Smith", "--display", "line", "names.txt"}
        << QByteArray() << QByteArray("Smith\nage 3\n") << QByteArray() << 0;
    QTest::newRow("a mode by name")
        << x + QStringList{"--mode=first-below", "-e", "smith", "--display=line", "names.txt"}
        << QByteArray() << QByteArray("age 3\n") << QByteArray() << 0;
    QTest::newRow("-B and -A pick the lines mode")
        << x + QStringList{"-B1", "-A0", "-e", "age", "--display", "line", "names.txt"}
        << QByteArray() << QByteArray("Smith\nage 3\n") << QByteArray() << 0;
    QTest::newRow("-C sets both, and 0 takes none")
        << x + QStringList{"-C", "0", "-e", "age", "--display", "line", "names.txt"} << QByteArray()
        << QByteArray("age 3\n") << QByteArray() << 0;
    QTest::newRow("one line: the blocks of a piece joined")
        << x + QStringList{"--one-line", "-m",        "above-1", "-e",
                           "name",       "--display", "line",    "names.txt"}
        << QByteArray() << QByteArray("Name: age 3name: x \n") << QByteArray() << 0;
    QTest::newRow("a regular expression")
        << x + QStringList{"-P", "-e", "^n\\w+:", "--display", "line", "names.txt"} << QByteArray()
        << QByteArray("Name:\nname: x\n") << QByteArray() << 0;
    QTest::newRow("a search text that starts with a dash")
        << x + QStringList{"-e", "-x", "--display", "line", "dash.txt"} << QByteArray()
        << QByteArray("a -x b\n") << QByteArray() << 0;
    QTest::newRow("an empty search text: every line that is not empty")
        << x + QStringList{"-e", "", "--display", "line", "lf.txt"} << QByteArray()
        << QByteArray("alpha\nbeta hit\ngamma\n") << QByteArray() << 0;
    QTest::newRow("CR LF row ends")
        << x + QStringList{"--crlf", "-e", "hit", "lf.txt", "utf8.txt"} << QByteArray()
        << QByteArray("lf.txt beta hit\r\nutf8.txt caf\xC3\xA9 hit\r\n") << QByteArray() << 0;
    QTest::newRow("NUL row ends") << x + QStringList{"-0",   "-e",     "hit",      "--display",
                                                     "line", "lf.txt", "utf16.txt"}
                                  << QByteArray() << QByteArray("beta hit\0hit \xC3\xA9\0", 16)
                                  << QByteArray() << 0;
    QTest::newRow("read as Windows-1252: UTF-8 bytes one by one")
        << x + QStringList{"--read-as", "windows-1252", "-e",      "hit",
                           "--display", "line",         "utf8.txt"}
        << QByteArray() << QByteArray("caf\xC3\x83\xC2\xA9 hit\nx\n\n") << QByteArray() << 0;
    QTest::newRow("nothing found: status 1") << x + QStringList{"-e", "zzz", "names.txt"}
                                             << QByteArray() << QByteArray() << QByteArray() << 1;
    QTest::newRow("a folder: its files, then its sub-folders'")
        << x + QStringList{"-e", "hit", "logs"} << QByteArray()
        << QByteArray("logs/a.log hit one\nlogs/b.txt hit two\nlogs/sub/c.log hit three\n")
        << QByteArray() << 0;
    QTest::newRow("a folder scanned for a pattern")
        << x + QStringList{"-e", "hit", "--scan", "*.LOG", "logs/"} << QByteArray()
        << QByteArray("logs/a.log hit one\nlogs/sub/c.log hit three\n") << QByteArray() << 0;
    QTest::newRow("a folder scanned for an extension and a name pattern, as the prompt takes")
        << x + QStringList{"-e", "hit", "--scan", "txt;a.*", "logs/"} << QByteArray()
        << QByteArray("logs/a.log hit one\nlogs/b.txt hit two\n") << QByteArray() << 0;
    QTest::newRow("a folder loop is said and not walked again")
        << x + QStringList{"-e", "hit", "--display", "line", "loop"} << QByteArray()
        << QByteArray("hit four\n")
        << QByteArray("lumbrex: loop/back: folder loop: it leads back to a folder above it, so "
                      "it is not scanned again\n")
        << 2;
    QTest::newRow("files from standard input: CR LF, empty lines")
        << x + QStringList{"-e", "hit", "--files-from", "-", "--display", "line"}
        << QByteArray("lf.txt\r\n\r\nutf8.txt\r\n") << QByteArray("beta hit\ncaf\xC3\xA9 hit\n")
        << QByteArray() << 0;
    QTest::newRow("files from a list after the paths given, folders scanned")
        << x + QStringList{"-e", "hit", "lf.txt", "--files-from", "-"} << QByteArray("logs/sub\n")
        << QByteArray("lf.txt beta hit\nlogs/sub/c.log hit three\n") << QByteArray() << 0;
    QTest::newRow("a long list, looked at by two threads: its folders scanned in place")
        << x + QStringList{"-e", "hit", "--files-from", "-", "--display", "line"}
        << QByteArray("lf.txt\n").repeated(1500) + "logs/sub\nutf8.txt\n"
        << QByteArray("beta hit\n").repeated(1500) + "hit three\ncaf\xC3\xA9 hit\n"
        << QByteArray() << 0;
    QTest::newRow("files from a list: a name that is not UTF-8 is said by its line")
        << x + QStringList{"-e", "hit", "--files-from", "-", "--display", "line"}
        << QByteArray("caf\xE9.txt\nlf.txt\n") + QByteArray("nu\0l\n", 5)
        << QByteArray("beta hit\n")
        << QByteArray("lumbrex: (standard input):1: the name is not valid UTF-8, so it cannot "
                      "be opened by name; left out\nlumbrex: (standard input):3: the name is not "
                      "valid UTF-8, so it cannot be opened by name; left out\n")
        << 2;
    QTest::newRow("a file that cannot be read is said, the run goes on")
        << x + QStringList{"-e", "hit", "--display", "line", "gone.txt", "lf.txt", "logs/a.log"}
        << QByteArray() << QByteArray("beta hit\nhit one\n")
        << QByteArray("lumbrex: gone.txt: No such file or directory\n") << 2;
    QTest::newRow("a folder among the paths runs in its place; what is said keeps their order")
        << x + QStringList{"-e", "hit", "lf.txt", "gone.txt", "logs/sub", "nope.txt", "utf8.txt"}
        << QByteArray()
        << QByteArray("lf.txt beta hit\nlogs/sub/c.log hit three\nutf8.txt caf\xC3\xA9 hit\n")
        << QByteArray("lumbrex: gone.txt: No such file or directory\n"
                      "lumbrex: nope.txt: No such file or directory\n")
        << 2;
    QTest::newRow("a folder given twice, and a file in it given too: each read each time")
        << x + QStringList{"-e",      "hit", "--display", "line", "logs/sub", "logs/sub/c.log",
                           "logs/sub"}
        << QByteArray() << QByteArray("hit three\n").repeated(3) << QByteArray() << 0;
    QTest::newRow("a FIFO and a device are not read, and nothing waits")
        << x + QStringList{"-e", "hit", "--display", "line", "fifo", "/dev/zero", "lf.txt"}
        << QByteArray() << QByteArray("beta hit\n")
        << QByteArray("lumbrex: fifo: not a regular file (a FIFO, socket or device), not read\n"
                      "lumbrex: /dev/zero: not a regular file (a FIFO, socket or device), not "
                      "read\n")
        << 2;
    QTest::newRow("an option after the paths, and -- before a path")
        << x + QStringList{"lf.txt", "-e", "hit", "--", "-e"} << QByteArray()
        << QByteArray("lf.txt beta hit\n") << QByteArray("lumbrex: -e: No such file or directory\n")
        << 2;
    QTest::newRow("the version") << QStringList{"--version"} << QByteArray()
                                 << QByteArray("lumbrex 1.0.0\n") << QByteArray() << 0;
}

// Good command lines: the rows, what is said and the status, as grep users expect them.
void TestCommandLine::extraction()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(int, status);
    const Outcome outcome = runLine(arguments, input);
    QCOMPARE(outcome.err, err);
    QCOMPARE(outcome.out, out);
    QCOMPARE(outcome.status, status);
}

void TestCommandLine::badCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("err"); // the first line; the usage hint follows
    QTest::addColumn<bool>("hint");
    const QStringList x{"--extract"};
    QTest::newRow("an unknown option")
        << x + QStringList{"--frobnicate", "lf.txt"}
        << QByteArray("lumbrex: Unknown option 'frobnicate'") << true;
    QTest::newRow("an unknown short option")
        << x + QStringList{"-q", "lf.txt"} << QByteArray("lumbrex: Unknown option 'q'") << true;
    QTest::newRow("a missing value") << x + QStringList{"lf.txt", "-e"}
                                     << QByteArray("lumbrex: Missing value after '-e'") << true;
    QTest::newRow("X above 12") << x + QStringList{"-B", "13", "lf.txt"}
                                << QByteArray("lumbrex: -B/--before-context takes a line count "
                                              "from 0 to 12, not '13'")
                                << true;
    QTest::newRow("Y below 0") << x + QStringList{"--after-context=-1", "lf.txt"}
                               << QByteArray("lumbrex: -A/--after-context takes a line count "
                                             "from 0 to 12, not '-1'")
                               << true;
    QTest::newRow("lines for another mode")
        << x + QStringList{"-m", "line", "-A", "2", "lf.txt"}
        << QByteArray("lumbrex: -A, -B and -C set the lines of mode 0 (around) only") << true;
    QTest::newRow("a mode beyond the list")
        << x + QStringList{"--mode", "14", "lf.txt"}
        << QByteArray("lumbrex: -m/--mode takes 0 to 13 or a mode name (lumbrex --help lists "
                      "them), not '14'")
        << true;
    QTest::newRow("a mode name nobody has")
        << x + QStringList{"--mode", "Line", "lf.txt"}
        << QByteArray("lumbrex: -m/--mode takes 0 to 13 or a mode name (lumbrex --help lists "
                      "them), not 'Line'")
        << true;
    QTest::newRow("a display nobody has")
        << x + QStringList{"--display", "path", "lf.txt"}
        << QByteArray("lumbrex: --display takes line, file-line or file, not 'path'") << true;
    QTest::newRow("a reading rule nobody has")
        << x + QStringList{"--read-as", "latin1", "lf.txt"}
        << QByteArray("lumbrex: --read-as takes automatic or windows-1252, not 'latin1'") << true;
    QTest::newRow("two row ends") << x + QStringList{"--crlf", "-0", "lf.txt"}
                                  << QByteArray("lumbrex: --crlf and -0/--null contradict each "
                                                "other")
                                  << true;
    QTest::newRow("two search texts")
        << x + QStringList{"-e", "a", "-e", "b", "lf.txt"}
        << QByteArray("lumbrex: -e/--search may be given only once") << true;
    QTest::newRow("match case on and off") << x + QStringList{"-s", "-i", "lf.txt"}
                                           << QByteArray("lumbrex: -s/--match-case and "
                                                         "-i/--ignore-case contradict each other")
                                           << true;
    QTest::newRow("too many threads") << x + QStringList{"-j", "1000", "lf.txt"}
                                      << QByteArray("lumbrex: -j/--threads takes 0 (one per "
                                                    "core) to 256, not '1000'")
                                      << true;
    QTest::newRow("line numbers for a saved file")
        << x + QStringList{"-n", "--save-text", "rows.txt", "lf.txt"}
        << QByteArray("lumbrex: -n/--line-number numbers printed rows; --save-text and "
                      "--save-xlsx write the window's files, which have no numbers")
        << true;
    QTest::newRow("line numbers on and off") << x + QStringList{"-n", "--no-line-number", "lf.txt"}
                                             << QByteArray("lumbrex: -n/--line-number and "
                                                           "--no-line-number contradict each other")
                                             << true;
    QTest::newRow("no paths") << x + QStringList{"-e", "hit"}
                              << QByteArray("lumbrex: no files given") << true;
    QTest::newRow("an unknown option without --extract")
        << QStringList{"--frobnicate", "lf.txt"}
        << QByteArray("lumbrex: Unknown option 'frobnicate'") << true;
    QTest::newRow("a run's short option without --extract")
        << QStringList{"-e", "x", "lf.txt"} << QByteArray("lumbrex: -e needs --extract") << true;
    QTest::newRow("a run's option without --extract")
        << QStringList{"--mode", "2", "lf.txt"} << QByteArray("lumbrex: --mode needs --extract")
        << true;
    QTest::newRow("an empty scan pattern")
        << x + QStringList{"--scan", "", "logs"}
        << QByteArray("lumbrex: --scan takes a file-name pattern such as '*.log'") << true;
    QTest::newRow("an invalid regular expression: PCRE2's message and offset")
        << x + QStringList{"-P", "-e", "a(b", "lf.txt"}
        << QByteArray("lumbrex: The search text is not a valid regular expression: missing "
                      "closing parenthesis at offset 3.")
        << false;
    QTest::newRow("a list of paths that is not there")
        << x + QStringList{"--files-from", "nolist.txt"}
        << QByteArray("lumbrex: nolist.txt: No such file or directory") << false;
    QTest::newRow("a device that never ends as the list of paths: refused, memory kept")
        << x + QStringList{"--files-from", "/dev/zero"}
        << QByteArray("lumbrex: /dev/zero: larger than 1 GiB, so no list of paths; not read")
        << false;
    QTest::newRow("a folder as the list of paths")
        << x + QStringList{"--files-from", "logs"} << QByteArray("lumbrex: logs: Is a directory")
        << false;
}

// Bad command lines: one clear line, the usage hint where the command line itself is wrong,
// status 2, and nothing printed.
void TestCommandLine::badCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, err);
    QFETCH(bool, hint);
    const Outcome outcome = runLine(arguments);
    QCOMPARE(outcome.err, err + '\n' + (hint ? usage : QByteArray()));
    QCOMPARE(outcome.out, QByteArray());
    QCOMPARE(outcome.status, 2);
}

void TestCommandLine::storedSettings_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<int>("status");
    const QByteArray below = "[Lumbrex]\nText1=Smith\nOption1=True\nOption2=False\nCombo1=5\n";
    const QStringList x{"--extract", "--use-settings"};
    const auto refused = [](const char *key, const char *value, const char *why) {
        return QByteArray("lumbrex: settings: the stored value of \"") + key + "\" (\"" + value +
               "\") is none the window takes (" + why + "); the window's choice is taken instead\n";
    };
    QTest::newRow("without --use-settings nothing is read")
        << below << QStringList{"--extract", "-e", "age", "names.txt"}
        << QByteArray("names.txt age 3\n") << QByteArray() << 0;
    QTest::newRow("the stored search text, mode and display")
        << below << x + QStringList{"names.txt"} << QByteArray("Smith\nage 3\n") << QByteArray()
        << 0;
    QTest::newRow("a flag takes over from the stored value")
        << below << x + QStringList{"--display", "file", "-m", "1", "names.txt"}
        << QByteArray("names.txt\n") << QByteArray() << 0;
    QTest::newRow("the stored lines above and below")
        << QByteArray(
               "[Lumbrex]\nCombo1=0\nCombo2=2\nCombo3=0\nText1=age\nOption1=True\nOption2=False\n")
        << x + QStringList{"names.txt"} << QByteArray("Name:\nSmith\nage 3\n") << QByteArray() << 0;
    QTest::newRow("a stored line count the dialog refuses: one line, said")
        << QByteArray(
               "[Lumbrex]\nCombo1=0\nCombo2=99\nCombo3=0\nText1=age\nOption1=True\nOption2=False\n")
        << x + QStringList{"names.txt"} << QByteArray("Smith\nage 3\n")
        << refused("Combo2", "99", "Invalid property value") << 2;
    QTest::newRow("stored match case and regular expression")
        << QByteArray("[Lumbrex]\nCombo1=1\nText1=^N\nCheck1=1\nCheck4=1\nOption1=1\nOption2=0\n")
        << x + QStringList{"names.txt"} << QByteArray("Name:\n") << QByteArray() << 0;
    QTest::newRow("a bad stored check box counts as off")
        << QByteArray("[Lumbrex]\nCombo1=1\nText1=name:\nCheck1=7\nOption1=True\nOption2=False\n")
        << x + QStringList{"names.txt"} << QByteArray("Name:\nname: x\n")
        << refused("Check1", "7", "Invalid property value") << 2;
    QTest::newRow("no display option stored: no row")
        << QByteArray("[Lumbrex]\nCombo1=1\nText1=Smith\nOption2=False\n")
        << x + QStringList{"names.txt"} << QByteArray() << QByteArray() << 1;
    QTest::newRow("a stored mode beyond the list keeps the first")
        << QByteArray("[Lumbrex]\nCombo1=20\nText1=Smith\nOption1=True\nOption2=False\n")
        << x + QStringList{"names.txt"} << QByteArray("Name:\nSmith\nage 3\n")
        << refused("Combo1", "20", "Invalid property value") << 2;
    QTest::newRow("the stored extension scans folders")
        << QByteArray("[Lumbrex]\nExtension=log\nOption1=True\nOption2=False\n")
        << x + QStringList{"-e", "hit", "-m", "line", "logs"} << QByteArray("hit one\nhit three\n")
        << QByteArray() << 0;
    QTest::newRow("the window's line numbers shown: printed rows numbered")
        << QByteArray("[Lumbrex]\nCheck5=1\nCombo1=1\nOption1=True\nOption2=False\n")
        << x + QStringList{"-e", "age", "names.txt"} << QByteArray("3:age 3\n") << QByteArray()
        << 0;
    QTest::newRow("the window's line numbers shown, --no-line-number given")
        << QByteArray("[Lumbrex]\nCheck5=1\nCombo1=1\nOption1=True\nOption2=False\n")
        << x + QStringList{"--no-line-number", "-e", "age", "names.txt"} << QByteArray("age 3\n")
        << QByteArray() << 0;
    QTest::newRow("the window's defaults: mode 0, one line above and below")
        << QByteArray("[Other]\nText1=x\n") << x + QStringList{"-e", "Smith", "names.txt"}
        << QByteArray("names.txt Name:\nnames.txt Smith\nnames.txt age 3\n") << QByteArray() << 0;
}

// A run prepared in the window repeats on the command line; the settings file is only read.
void TestCommandLine::storedSettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(int, status);
    QTemporaryDir settings;
    const QString file = settings.filePath("Tarnwick.ini");
    write(file, ini);
    const QDateTime written = QFileInfo(file).lastModified();
    const Outcome outcome = runLine(arguments, {}, settings.path());
    QCOMPARE(outcome.err, err);
    QCOMPARE(outcome.out, out);
    QCOMPARE(outcome.status, status);
    QCOMPARE(readFile(file), ini);
    QCOMPARE(QFileInfo(file).lastModified(), written);
    QCOMPARE(QDir(settings.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{"Tarnwick.ini"});
}

void TestCommandLine::saves_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("saved"); // "(none)": no file; "(workbook)": a whole .xlsx
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<int>("status");
    const QStringList x{"--extract", "--display", "line"};
    write("wide.txt", "hit \xE6\x97\xA5\n");
    QTest::newRow("aligned text in Windows-1252")
        << x + QStringList{"-e", "name", "--save-text", "saved.txt", "names.txt"} << "saved.txt"
        << QByteArray("Results\t\r\nName:  \t\r\nname: x\t\r\n") << QByteArray() << 0;
    QTest::newRow("aligned text in UTF-8 with a mark, for a row Windows-1252 cannot hold")
        << x + QStringList{"-e", "hit", "--save-text", "wide-saved.txt", "wide.txt"}
        << "wide-saved.txt" << QByteArray("\xEF\xBB\xBFResults\t\r\nhit \xE6\x97\xA5  \t\r\n")
        << QByteArray() << 0;
    QTest::newRow("nothing found: the header alone, status 1")
        << x + QStringList{"-e", "zzz", "--save-text", "empty.txt", "names.txt"} << "empty.txt"
        << QByteArray("Results\t\r\n") << QByteArray() << 1;
    QTest::newRow("a workbook") << x + QStringList{"-e", "hit", "--save-xlsx", "rows.xlsx", "logs"}
                                << "rows.xlsx" << QByteArray("(workbook)") << QByteArray() << 0;
    QTest::newRow("text onto a full disk: said, status 2")
        << x + QStringList{"-e", "name", "--save-text", "/dev/full", "names.txt"} << QString()
        << QByteArray() << QByteArray("lumbrex: /dev/full: No space left on device\n") << 2;
    QTest::newRow("a workbook onto a full disk: said, status 2")
        << x + QStringList{"-e", "name", "--save-xlsx", "/dev/full", "names.txt"} << QString()
        << QByteArray() << QByteArray("lumbrex: /dev/full: No space left on device\n") << 2;
    QTest::newRow("a workbook into a folder that is not there: nothing made")
        << x + QStringList{"-e", "name", "--save-xlsx", "nowhere/rows.xlsx", "names.txt"}
        << "nowhere/rows.xlsx" << QByteArray("(none)")
        << QByteArray("lumbrex: nowhere/rows.xlsx: No such file or directory\n") << 2;
    QTest::newRow("text onto a folder: said, the folder kept")
        << x + QStringList{"-e", "name", "--save-text", "logs", "names.txt"} << QString()
        << QByteArray() << QByteArray("lumbrex: logs: Path/File access error: logs is a folder\n")
        << 2;
    QTest::newRow("a folder among the paths: its files' paths saved in its place")
        << QStringList{"--extract",   "--display", "file",   "-e",       "hit",
                       "--save-text", "tree.txt",  "lf.txt", "logs/sub", "utf8.txt"}
        << "tree.txt"
        << QByteArray(
               "Results       \t\r\nlf.txt        \t\r\nlogs/sub/c.log\t\r\nutf8.txt      \t\r\n")
        << QByteArray() << 0;
    QTest::newRow("a read failure still saves what was found, status 2")
        << x + QStringList{"-e", "hit", "--save-text", "partial.txt", "gone.txt", "lf.txt"}
        << "partial.txt" << QByteArray("Results \t\r\nbeta hit\t\r\n")
        << QByteArray("lumbrex: gone.txt: No such file or directory\n") << 2;
    if (::geteuid() != 0) {
        QDir().mkpath("locked");
        QFile::setPermissions("locked", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QTest::newRow("a workbook into a read-only folder: nothing made")
            << x + QStringList{"-e", "name", "--save-xlsx", "locked/rows.xlsx", "names.txt"}
            << "locked/rows.xlsx" << QByteArray("(none)")
            << QByteArray("lumbrex: locked/rows.xlsx: Permission denied\n") << 2;
    }
}

// The exports the window makes, written where the command line says; a failure leaves
// nothing behind.
void TestCommandLine::saves()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, target);
    QFETCH(QByteArray, saved);
    QFETCH(QByteArray, err);
    QFETCH(int, status);
    const QStringList before = QDir().entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    const Outcome outcome = runLine(arguments);
    QCOMPARE(outcome.err, err);
    QCOMPARE(outcome.out, QByteArray());
    QCOMPARE(outcome.status, status);
    if (saved == "(workbook)")
        QVERIFY(results::zipMemberComplete(target, "xl/worksheets/sheet1.xml", "</worksheet>"));
    else if (!target.isEmpty())
        QCOMPARE(readFile(target), saved);
    else
        QCOMPARE(QDir().entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
    // No temporary file of a save is left beside its target or in the temporary folder.
    QCOMPARE(QDir::temp().entryList({"lumbrex-*.xlsx"}), QStringList());
}

void TestCommandLine::lineNumbers_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out");
    const QStringList x{"--extract", "-n"};
    QTest::newRow("before the path: the number of the matching line")
        << x + QStringList{"-e", "hit", "lf.txt"} << QByteArray("2:lf.txt beta hit\n");
    QTest::newRow("--line-number, lines above and below numbered each")
        << QStringList{"--extract", "--line-number", "-C1",  "-e",
                       "age",       "--display",     "line", "names.txt"}
        << QByteArray("2:Smith\n3:age 3\n4:name: x\n");
    QTest::newRow("-n among other short options, NUL row ends")
        << QStringList{"--extract", "-sn0", "-e", "Name", "--display", "line", "names.txt"}
        << QByteArray("1:Name:\0", 8);
    QTest::newRow("the path alone: the number of the line that matched")
        << x + QStringList{"-m", "first-below", "-e", "Smith", "--display", "file", "names.txt"}
        << QByteArray("2:names.txt\n");
    QTest::newRow("one line: the number of the row's first line")
        << x + QStringList{"--one-line", "-m",        "below-1", "-e",
                           "beta",       "--display", "line",    "lf.txt"}
        << QByteArray("2:beta hitgamma \n");
    QTest::newRow("each file counts from 1, empty lines counted")
        << x + QStringList{"-e", "hit", "--display", "line", "logs/a.log", "gaps.txt"}
        << QByteArray("1:hit one\n3:hit x\n6:hit y\n");
    QTest::newRow("UTF-8 and UTF-16 lines")
        << x + QStringList{"-e", "\xC3\xA9", "--display", "line", "utf8.txt", "utf16.txt"}
        << QByteArray("1:caf\xC3\xA9 hit\n1:hit \xC3\xA9\n");
    QTest::newRow("lines read as Windows-1252 with CR LF ends")
        << x + QStringList{"--read-as", "windows-1252", "-e", "x", "--display", "line", "names.txt"}
        << QByteArray("4:name: x\n");
    QTest::newRow("the tail of a line cut at the end of a piece: the line's number")
        << x + QStringList{"-e", "hit", "--display", "line", "long.txt"}
        << "1:" + QByteArray(70000 - 65536, 'x') + " hit\n2:hit again\n";
    QByteArray numbered, plain, deep;
    const QByteArray deepPath = QByteArray(70, 'd') + "/many.txt";
    for (int i = 1; i <= 2000; ++i) {
        numbered += QByteArray::number(i) + ":many1252.txt caf\xC3\xA9 hit " +
                    QByteArray::number(i) + "\r\n";
        plain += "\xC5\x82 caf\xC3\xA9 hit " + QByteArray::number(i) + '\0';
        deep += QByteArray::number(i) + ':' + deepPath + " caf\xC3\xA9 hit " +
                QByteArray::number(i) + '\n';
    }
    QTest::newRow("many Windows-1252 rows after their path, CR LF ends")
        << x + QStringList{"--crlf", "-e", "hit", "many1252.txt"} << numbered;
    QTest::newRow("many rows of one file, then the next file's on the same worker")
        << x + QStringList{"-j", "1", "--crlf", "-e", "hit", "many1252.txt", "gaps.txt"}
        << numbered + "3:gaps.txt hit x\r\n6:gaps.txt hit y\r\n";
    QTest::newRow("many rows after a path of more than two words")
        << x + QStringList{"-e", "hit", QString::fromLatin1(deepPath)} << deep;
    QTest::newRow("many UTF-8 rows, unnumbered, NUL ends")
        << QStringList{"--extract", "-0", "-e", "hit", "--display", "line", "many8.txt"} << plain;
    QTest::newRow("--no-line-number takes over")
        << QStringList{"--extract", "--no-line-number", "-e", "hit", "lf.txt"}
        << QByteArray("lf.txt beta hit\n");
}

// -n: each row after the number of its line in its file, as grep -n prints it, for every
// kind of row a mode or display makes.
void TestCommandLine::lineNumbers()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, out);
    const Outcome outcome = runLine(arguments);
    QCOMPARE(outcome.err, QByteArray());
    QCOMPARE(outcome.out, out);
    QCOMPARE(outcome.status, 0);
}

// The command line is one more front end of the window's run: over random files in every
// encoding and line end, with random options, it prints the window's rows (with -n, after the
// line each row came from in the window's list), and saves the window's text file byte for
// byte.
void TestCommandLine::windowAndCommandLineGiveTheSameRows()
{
    std::mt19937 random(22);
    const QList<QByteArray> parts = {
        "hit",      "Hit ", "x", "\r\n", "\n",           "\r",
        "\xC3\xA9", "\xE9", " ", "\xFF", "\xE6\x97\xA5", "\xF0\x9F\x98\x80",
        "-"};
    const QStringList searches = {"hit", "", "\xC3\xA9", "i", "-", "h.t", "^x", "\xE6\x97\xA5"};
    fakes::TestServices fakes;
    shell::MainWindow w(fakes.services(), QStringLiteral("/nonexistent"));
    w.startUp();
    w.m_linesDialogClosedWithClose = true;
    QTemporaryDir files;
    for (int round = 0; round < 24; ++round) {
        QStringList paths;
        for (int f = 0; f < 8; ++f) {
            QByteArray content;
            for (int k = int(random() % 90); k > 0; --k)
                content += parts[int(random() % parts.size())];
            if (random() % 6 == 0) {
                // UTF-16 with its mark, now and then with a lone surrogate.
                const QString text = QString::fromUtf8(content) +
                                     (random() % 2 ? QString(QChar(0xD800)) : QString());
                content = QByteArray("\xFF\xFE") +
                          QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
            }
            paths << files.filePath(QStringLiteral("r%1-%2.txt").arg(round).arg(f));
            write(paths.last(), content);
        }
        paths << files.filePath(QStringLiteral("missing.txt"));
        const int position = int(random() % 14);
        const QString search = searches.at(int(random() % searches.size()));
        const bool matchCase = random() % 2, regex = random() % 3 == 0, oneLine = random() % 2;
        const bool windows1252 = random() % 5 == 0;
        const int display = int(random() % 3);
        const int above = int(random() % 13), below = int(random() % 13);

        QStringList arguments{"--extract",
                              "-j",
                              QString::number(1 + random() % 3),
                              "-m",
                              random() % 2 ? QString::number(position)
                                           : run::modeNames().at(position),
                              "--search",
                              search,
                              "--display",
                              QStringList{"line", "file-line", "file"}.at(display)};
        if (position == 0)
            arguments << "-B" << QString::number(above) << "-A" << QString::number(below);
        arguments << (matchCase ? "-s" : "-i") << (regex ? "-P" : "-F");
        if (oneLine)
            arguments << "--one-line";
        if (windows1252)
            arguments << "--read-as"
                      << "windows-1252";
        const bool save = round % 4 == 0;
        const bool numbered = !save && random() % 2;
        if (numbered)
            arguments << "-n";
        const QString saved = files.filePath(QStringLiteral("saved-%1.txt").arg(round));
        if (save)
            arguments << "--save-text" << saved;
        arguments << "--" << paths;
        const Outcome outcome = runLine(arguments);

        fakes.settings.set("Combo2", QString::number(above));
        fakes.settings.set("Combo3", QString::number(below));
        w.files().clear();
        for (const QString &path : paths)
            w.files().append(path);
        w.modeList->setCurrentIndex(position);
        w.searchBox->setText(search);
        w.matchCaseBox->setChecked(matchCase);
        w.regexBox->setChecked(regex);
        w.oneLineBox->setChecked(oneLine);
        w.readAsWindows1252Box->setChecked(windows1252);
        (display == 0   ? w.lineOnlyOption
         : display == 1 ? w.fileAndLineOption
                        : w.fileOnlyOption)
            ->click();
        w.results().clear();
        w.startButton->click();

        QByteArray rows;
        const QStringList texts = w.results().texts();
        for (int r = 0; r < texts.size(); ++r) {
            std::string bytes;
            results::appendUtf8(texts.at(r), bytes);
            const uint64_t line = w.results().origin(r).line;
            if (numbered && line > 0)
                bytes = std::to_string(line) + ':' + bytes;
            rows += QByteArray::fromStdString(bytes) + '\n';
        }
        const QByteArray context = arguments.join(u' ').toUtf8();
        QCOMPARE(outcome.status, 2); // the missing file
        QVERIFY2(outcome.err.endsWith("missing.txt: No such file or directory\n"),
                 outcome.err.constData());
        if (!save) {
            QVERIFY2(outcome.out == rows, context.constData());
            continue;
        }
        const QString fromWindow = files.filePath(QStringLiteral("window-%1.txt").arg(round));
        fakes.dialogs.nextSaveFile = fromWindow;
        w.saveTextButton->click();
        QVERIFY2(readFile(saved) == readFile(fromWindow), context.constData());
    }
}

void TestCommandLine::wantsCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("wanted");
    QTest::newRow("nothing: the window") << QStringList{} << false;
    QTest::newRow("paths: the window") << QStringList{"a.txt", "logs"} << false;
    QTest::newRow("Qt's own options: the window")
        << QStringList{"-platform", "offscreen", "-style=fusion", "--platform", "xcb"} << false;
    QTest::newRow("Qt's options with their values apart, then paths")
        << QStringList{"-style", "-fusion", "-reverse", "--qwindowtitle", "--x", "a.txt"} << false;
    QTest::newRow("a run's short option alone: refused with no display")
        << QStringList{"-e", "x", "a.txt"} << true;
    QTest::newRow("an unknown option: refused with no display")
        << QStringList{"a.txt", "--frobnicate"} << true;
    QTest::newRow("an unknown option after Qt's") << QStringList{"-platform", "xcb", "-q"} << true;
    QTest::newRow("a dash alone is a path") << QStringList{"-"} << false;
    QTest::newRow("--display is a run's, -display Qt's")
        << QStringList{"-display", ":0", "--display", "line"} << true;
    QTest::newRow("--help") << QStringList{"--help"} << true;
    QTest::newRow("-h") << QStringList{"a.txt", "-h"} << true;
    QTest::newRow("-V") << QStringList{"-V"} << true;
    QTest::newRow("--extract") << QStringList{"a.txt", "--extract"} << true;
    QTest::newRow("a run's long option, with its value") << QStringList{"--mode=2"} << true;
    QTest::newRow("after --, a path") << QStringList{"--", "--help"} << false;
}

// What needs no window is decided before any display is looked for.
void TestCommandLine::wantsCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, wanted);
    QCOMPARE(cli::wantsCommandLine(arguments), wanted);
}

void TestCommandLine::documentsKnowEveryOption_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("dash"); // how the document writes "-"
    QTest::newRow("the bash completion") << "assets/bash-completion/lumbrex"
                                         << "-";
    QTest::newRow("the manual page") << "assets/debian/lumbrex.1"
                                     << "\\-";
}

// Every long option and mode name that --help lists is completed and documented, so none of
// them falls behind when an option is added.
void TestCommandLine::documentsKnowEveryOption()
{
    QFETCH(QString, document);
    QFETCH(QString, dash);
    const QString text = QString::fromUtf8(
        readFile(QDir(qEnvironmentVariable("LUMBREX_SOURCE_DIR")).filePath(document)));
    QVERIFY(text.size() > 100);
    const QRegularExpression longOption(QStringLiteral("--[a-z0-9-]+"));
    QStringList names = run::modeNames();
    for (const QRegularExpressionMatch &found : longOption.globalMatch(cli::helpText()))
        names.append(found.captured());
    for (QString name : names) {
        name.replace(QStringLiteral("-"), dash);
        QVERIFY2(text.contains(name), qPrintable(name));
    }
}

QTEST_MAIN(TestCommandLine)

// A signal that lands while the output waits for a slow reader cuts a write short: what is
// left of it, rows the workers made and rows made here alike, goes out next, in order.
void TestCommandLine::interruptedWritesLoseNothing()
{
    const auto writeRows = [](cli::OutputSink &sink) {
        std::mt19937 random(7);
        for (int i = 0; i < 2000; ++i) {
            const std::string row = "row " + std::to_string(i) + std::string(random() % 90, 'x');
            sink.addRowWindows1252(QString(), row, {0, 0});
            const size_t size = 1 + random() % 3000;
            engine::OwnedBytes text(static_cast<char *>(std::malloc(size)));
            std::memset(text.get(), 'a' + i % 26, size);
            text[size - 1] = '\n';
            sink.adoptText(std::move(text), size, 1);
        }
        return sink.finish();
    };
    QTemporaryFile whole;
    QVERIFY(whole.open());
    cli::OutputSink wholeSink(whole.handle(), cli::RowEnd::Lf, {}, {});
    QVERIFY(writeRows(wholeSink));
    const QByteArray expected = contentsOf(whole);

    int ends[2];
    QVERIFY(::pipe(ends) == 0);
    ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
    QByteArray received;
    std::thread reader([&] {
        char block[1000];
        ssize_t got;
        while ((got = ::read(ends[0], block, sizeof block)) > 0) {
            received.append(block, got);
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    });
    struct sigaction quiet {};
    quiet.sa_handler = [](int) {};
    struct sigaction before {};
    ::sigaction(SIGALRM, &quiet, &before); // no SA_RESTART: a blocked write returns short
    const itimerval often{{0, 300}, {0, 300}};
    ::setitimer(ITIMER_REAL, &often, nullptr);
    cli::OutputSink sink(ends[1], cli::RowEnd::Lf, {}, {});
    const bool written = writeRows(sink);
    const itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &before, nullptr);
    ::close(ends[1]);
    reader.join();
    ::close(ends[0]);
    QVERIFY(written);
    QCOMPARE(received.size(), expected.size());
    QVERIFY(received == expected);
}

#include "tst_commandline.moc"
