#include "CommandLine.h"

#include "run/ModeTable.h"

#include <QCommandLineParser>

namespace cli {

namespace {

// Every option the program takes, its names as the parser knows them.
struct KnownOption {
    QStringList names;
    QString valueName; // empty for a flag
};

const QList<KnownOption> &knownOptions()
{
    static const QList<KnownOption> options = {
        {{"extract"}, {}},
        {{"h", "help"}, {}},
        {{"V", "version"}, {}},
        {{"m", "mode"}, "N"},
        {{"e", "search"}, "TEXT"},
        {{"s", "match-case"}, {}},
        {{"i", "ignore-case"}, {}},
        {{"P", "regex"}, {}},
        {{"F", "fixed-strings"}, {}},
        {{"B", "before-context"}, "X"},
        {{"A", "after-context"}, "Y"},
        {{"C", "context"}, "N"},
        {{"display"}, "HOW"},
        {{"one-line"}, {}},
        {{"no-one-line"}, {}},
        {{"read-as"}, "RULE"},
        {{"scan"}, "PATTERN"},
        {{"files-from"}, "FILE"},
        {{"save-text"}, "FILE"},
        {{"save-xlsx"}, "FILE"},
        {{"use-settings"}, {}},
        {{"n", "line-number"}, {}},
        {{"no-line-number"}, {}},
        {{"crlf"}, {}},
        {{"0", "null"}, {}},
        {{"j", "threads"}, "N"},
    };
    return options;
}

// Returns an option as a user may have typed it: "-B/--before-context", "--display".
QString shown(const char *name)
{
    for (const KnownOption &known : knownOptions()) {
        if (known.names.last() != QLatin1String(name))
            continue;
        return known.names.size() > 1 ? QStringLiteral("-%1/--%2").arg(known.names.first(), name)
                                      : QStringLiteral("--%1").arg(QLatin1String(name));
    }
    return QLatin1String(name);
}

// Reads the options of a parsed command line into Options, one check at a time; the first
// fault found is kept.
class OptionReader {
public:
    explicit OptionReader(const QCommandLineParser &parser) : m_parser(parser) {}

    const QString &error() const { return m_error; }

    bool isSet(const char *name) const { return m_parser.isSet(QLatin1String(name)); }

    void fail(const QString &text)
    {
        if (m_error.isEmpty())
            m_error = text;
    }

    // Returns the one value of an option that may be given once.
    std::optional<QString> single(const char *name)
    {
        const QStringList values = m_parser.values(QLatin1String(name));
        if (values.isEmpty())
            return std::nullopt;
        if (values.size() > 1)
            fail(QStringLiteral("%1 may be given only once").arg(shown(name)));
        return values.last();
    }

    std::optional<int> number(const char *name, const QString &text, int low, int high,
                              const QString &what)
    {
        bool ok = false;
        const int value = text.toInt(&ok);
        if (ok && value >= low && value <= high)
            return value;
        fail(QStringLiteral("%1 takes %2, not '%3'").arg(shown(name), what, text));
        return std::nullopt;
    }

    std::optional<int> number(const char *name, int low, int high, const QString &what)
    {
        const std::optional<QString> text = single(name);
        return text ? number(name, *text, low, high, what) : std::nullopt;
    }

    // Returns true, false or nothing for a pair of options that turn one thing on and off.
    std::optional<bool> onOrOff(const char *on, const char *off)
    {
        if (isSet(on) && isSet(off))
            fail(QStringLiteral("%1 and %2 contradict each other").arg(shown(on), shown(off)));
        if (isSet(on))
            return true;
        if (isSet(off))
            return false;
        return std::nullopt;
    }

private:
    const QCommandLineParser &m_parser;
    QString m_error;
};

std::optional<int> readMode(OptionReader &reader)
{
    const std::optional<QString> text = reader.single("mode");
    if (!text)
        return std::nullopt;
    const int named = run::positionNamed(*text);
    if (named >= 0)
        return named;
    return reader.number("mode", *text, 0, int(run::modeNames().size()) - 1,
                         QStringLiteral("0 to 13 or a mode name (lumbrex --help lists them)"));
}

void readLines(OptionReader &reader, Options &options)
{
    // Made without arg(), which would wake the locale's machinery at every start for a text
    // that is shown only when a count is wrong.
    const QString what =
        QStringLiteral("a line count from 0 to ") + QString::number(run::kMostLines);
    const std::optional<int> both = reader.number("context", 0, run::kMostLines, what);
    options.linesAbove = reader.number("before-context", 0, run::kMostLines, what);
    options.linesBelow = reader.number("after-context", 0, run::kMostLines, what);
    if (!options.linesAbove)
        options.linesAbove = both;
    if (!options.linesBelow)
        options.linesBelow = both;
    if (!options.linesAbove && !options.linesBelow)
        return;
    // Lines above and below belong to the one mode that takes them; given alone, they pick it.
    const int around = run::positionOf(engine::Mode::ExtractSearchWordLineUpXDownY);
    if (!options.mode)
        options.mode = around;
    else if (*options.mode != around)
        reader.fail(QStringLiteral("-A, -B and -C set the lines of mode %1 (%2) only")
                        .arg(around)
                        .arg(run::modeNames().at(around)));
}

void readDisplay(OptionReader &reader, Options &options)
{
    if (const std::optional<QString> how = reader.single("display")) {
        if (*how == QLatin1String("line"))
            options.display = run::DisplayOption::LineOnly;
        else if (*how == QLatin1String("file-line"))
            options.display = run::DisplayOption::FileAndLine;
        else if (*how == QLatin1String("file"))
            options.display = run::DisplayOption::FileOnly;
        else
            reader.fail(
                QStringLiteral("--display takes line, file-line or file, not '%1'").arg(*how));
    }
    if (const std::optional<QString> rule = reader.single("read-as")) {
        if (*rule == QLatin1String("automatic"))
            options.readRule = engine::ReadRule::Automatic;
        else if (*rule == QLatin1String("windows-1252"))
            options.readRule = engine::ReadRule::Windows1252CrLf;
        else
            reader.fail(
                QStringLiteral("--read-as takes automatic or windows-1252, not '%1'").arg(*rule));
    }
    if (reader.isSet("crlf") && reader.isSet("null"))
        reader.fail(QStringLiteral("--crlf and -0/--null contradict each other"));
    options.rowEnd = reader.isSet("null")   ? RowEnd::Nul
                     : reader.isSet("crlf") ? RowEnd::CrLf
                                            : RowEnd::Lf;
    options.lineNumbers = reader.onOrOff("line-number", "no-line-number");
}

void readExtraction(OptionReader &reader, Options &options)
{
    options.mode = readMode(reader);
    readLines(reader, options);
    options.searchText = reader.single("search");
    options.matchCase = reader.onOrOff("match-case", "ignore-case");
    options.regex = reader.onOrOff("regex", "fixed-strings");
    options.oneLine = reader.onOrOff("one-line", "no-one-line");
    readDisplay(reader, options);
    options.scanPattern = reader.single("scan");
    if (options.scanPattern && options.scanPattern->isEmpty())
        reader.fail(QStringLiteral("--scan takes a file-name pattern such as '*.log'"));
    options.filesFrom = reader.single("files-from").value_or(QString());
    options.saveText = reader.single("save-text").value_or(QString());
    options.saveXlsx = reader.single("save-xlsx").value_or(QString());
    if (reader.isSet("save-text") && options.saveText.isEmpty())
        reader.fail(QStringLiteral("--save-text takes a file name"));
    if (reader.isSet("save-xlsx") && options.saveXlsx.isEmpty())
        reader.fail(QStringLiteral("--save-xlsx takes a file name"));
    // The saved files are the window's, which number no row.
    if (options.lineNumbers.value_or(false) &&
        (reader.isSet("save-text") || reader.isSet("save-xlsx")))
        reader.fail(QStringLiteral("-n/--line-number numbers printed rows; --save-text and "
                                   "--save-xlsx write the window's files, which have no numbers"));
    options.useSettings = reader.isSet("use-settings");
    options.threads =
        reader.number("threads", 0, 256, QStringLiteral("0 (one per core) to 256")).value_or(0);
    if (options.paths.isEmpty() && options.filesFrom.isEmpty())
        reader.fail(QStringLiteral("no files given"));
}

// What --help prints before and after the list of modes.
const char helpBeforeModes[] =
    "Usage: lumbrex [PATH]...\n"
    "       lumbrex --extract [OPTION]... PATH...\n"
    "\n"
    "Without --extract, opens the window with the files given in its file list; a\n"
    "folder adds the files of its whole tree that have the stored extension.\n"
    "\n"
    "With --extract, runs one extraction with no window and prints its rows, one a\n"
    "line, in UTF-8. Folders among the paths are scanned, sub-folders included.\n"
    "\n"
    "What to find:\n"
    "  -e, --search TEXT        the search text (may start with '-'); empty finds\n"
    "                           every line that is not empty\n"
    "  -s, --match-case         match case;  -i, --ignore-case: do not (the default)\n"
    "  -P, --regex              TEXT is a PCRE2 regular expression, as in grep -P\n"
    "  -F, --fixed-strings      TEXT is plain text (the default)\n"
    "  -m, --mode N             the extraction mode, by number or name (below);\n"
    "                           the default is 1, line\n"
    "  -B, --before-context X   lines above of mode 0, from 0 to 12 (default 1)\n"
    "  -A, --after-context Y    lines below of mode 0, from 0 to 12 (default 1)\n"
    "  -C, --context N          both; any of the three picks mode 0 by itself\n"
    "      --read-as RULE       automatic (each file's own encoding and line ends,\n"
    "                           the default) or windows-1252 (every file as\n"
    "                           Windows-1252 with CR LF line ends)\n"
    "\n"
    "Which files:\n"
    "      --scan PATTERN       scan folders for names like PATTERN: extensions or\n"
    "                           wildcards parted by ';' or blanks ('log *.log*');\n"
    "                           the default is every file\n"
    "      --files-from FILE    also read paths from FILE, one a line ('-': standard\n"
    "                           input)\n"
    "\n"
    "What each row shows:\n"
    "      --display HOW        line, file-line (the path, a space, the line: the\n"
    "                           default) or file\n"
    "      --one-line           join the blocks of each piece of a file into one row\n"
    "      --no-one-line        one row per line (the default)\n"
    "  -n, --line-number        put the number of the row's line in its file and a\n"
    "                           colon before each row printed\n"
    "      --no-line-number     no numbers (the default)\n"
    "      --crlf               end each row with CR LF instead of LF\n"
    "  -0, --null               end each row with NUL instead of LF\n"
    "\n"
    "Where the rows go (instead of standard output):\n"
    "      --save-text FILE     the aligned text file the window saves\n"
    "      --save-xlsx FILE     the spreadsheet the window makes\n"
    "\n"
    "How:\n"
    "      --use-settings       take each option not given here from the window's\n"
    "                           stored settings (never written); without it no\n"
    "                           setting is read\n"
    "  -j, --threads N          worker threads; 0 (the default) is one per core\n"
    "  -h, --help               print this help;  -V, --version: the version\n"
    "\n"
    "Modes (--mode):\n";
const char helpAfterModes[] =
    "\n"
    "Exit status: 0 when rows were found, 1 when none were, 2 when a file could not\n"
    "be read or an option was wrong. Read failures go to standard error as\n"
    "'lumbrex: PATH: reason'; the run goes on with the next file.\n";

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const KnownOption &known : knownOptions()) {
        QCommandLineOption option(known.names);
        if (!known.valueName.isEmpty())
            option.setValueName(known.valueName);
        parser.addOption(option);
    }
    ParsedCommandLine parsed;
    // The parser takes the program's name first.
    if (!parser.parse(QStringList{QStringLiteral("lumbrex")} + arguments)) {
        parsed.error = parser.errorText();
        if (parsed.error.endsWith(u'.'))
            parsed.error.chop(1);
        return parsed;
    }
    Options &options = parsed.options;
    options.paths = parser.positionalArguments();
    OptionReader reader(parser);
    if (reader.isSet("help")) {
        options.command = Command::Help;
        return parsed;
    }
    if (reader.isSet("version")) {
        options.command = Command::Version;
        return parsed;
    }
    if (!reader.isSet("extract")) {
        // Only the window takes paths without --extract; none of the run's options.
        const QStringList given = parser.optionNames();
        if (!given.isEmpty())
            parsed.error =
                QStringLiteral("%1%2 needs --extract")
                    .arg(given.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"),
                         given.first());
        return parsed;
    }
    options.command = Command::Extract;
    readExtraction(reader, options);
    parsed.error = reader.error();
    return parsed;
}

namespace {

// The options Qt's window classes take for themselves, with one dash or two, and whether each
// takes the next argument as its value (unless written with "=").
struct WindowOption {
    const char *name;
    bool takesValue;
};

constexpr WindowOption windowOptions[] = {
    {"platform", true},      {"platformpluginpath", true},
    {"platformtheme", true}, {"plugin", true},
    {"qmljsdebugger", true}, {"qwindowgeometry", true},
    {"geometry", true},      {"qwindowtitle", true},
    {"title", true},         {"qwindowicon", true},
    {"icon", true},          {"session", true},
    {"display", true},       {"name", true},
    {"visual", true},        {"style", true},
    {"stylesheet", true},    {"reverse", false},
    {"widgetcount", false},  {"nograb", false},
    {"dograb", false},       {"sync", false},
};

bool isOwnLongOption(const QString &name)
{
    for (const KnownOption &known : knownOptions())
        if (known.names.last() == name && name.size() > 1)
            return true;
    return false;
}

const WindowOption *windowOption(const QString &name)
{
    for (const WindowOption &option : windowOptions)
        if (name == QLatin1String(option.name))
            return &option;
    return nullptr;
}

} // namespace

bool wantsCommandLine(const QStringList &arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            return false;
        if (!argument.startsWith(u'-') || argument.size() == 1)
            continue;
        // Qt's own options go to the window; ours (first: --display is both), and any other,
        // to the command line, which says what is wrong with them without looking for a
        // display.
        const bool twoDashes = argument.startsWith(QLatin1String("--"));
        const QString name = argument.mid(twoDashes ? 2 : 1).section(u'=', 0, 0);
        if (twoDashes && isOwnLongOption(name))
            return true;
        const WindowOption *option = windowOption(name);
        if (!option)
            return true;
        if (option->takesValue && !argument.contains(u'='))
            ++i;
    }
    return false;
}

QString usageHint()
{
    return QStringLiteral("Usage: lumbrex --extract [OPTION]... PATH...  or  lumbrex [PATH]...  "
                          "(lumbrex --help tells more)");
}

QString helpText()
{
    QString modes;
    for (qsizetype i = 0; i < run::modeNames().size(); ++i)
        modes += QStringLiteral("  %1 %2\n").arg(i, 2).arg(run::modeNames().at(i)) +
                 QStringLiteral("     %1\n").arg(run::modeCaptions().at(i));
    return QLatin1String(helpBeforeModes) + modes + QLatin1String(helpAfterModes);
}

QString versionText()
{
    return QStringLiteral("lumbrex " LUMBREX_VERSION);
}

} // namespace cli
