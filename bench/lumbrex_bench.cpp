// Drives the real main window on the offscreen platform through one extraction run, the way
// a user would, and prints how long it took and how smooth the window stayed.

#include "platform/RealServices.h"
#include "shell/LinesDialog.h"
#include "shell/MainWindow.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

// Answers every box at once, as a user clicking OK or Yes would, and logs what it showed.
class AutoPrompts : public platform::Prompts {
public:
    platform::Answer message(const QString &text, const QString &title, platform::Icon,
                             platform::Buttons buttons) override
    {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
        if (onMessage)
            onMessage(text);
        return buttons == platform::Buttons::YesNo || buttons == platform::Buttons::YesNoCancel
                   ? platform::Answer::Yes
                   : platform::Answer::Ok;
    }
    QString input(const QString &, const QString &, const QString &) override { return {}; }
    std::function<void(const QString &)> onMessage;
};

struct Options {
    int mode = 1;
    QString search;
    bool matchCase = false;
    bool regex = false;
    QString display = QStringLiteral("file-line");
    bool oneLine = false;
    std::optional<int> x;
    std::optional<int> y;
    QString rowsOut;
    int stopAfterMs = -1;
    bool readAsWindows1252 = false;
    int workers = 0;
    QStringList files;
};

[[noreturn]] void usage(const char *why)
{
    std::fprintf(
        stderr,
        "lumbrex-bench: %s\nusage: lumbrex-bench [--mode N] [--search TEXT] "
        "[--match-case] [--regex] [--display line|file-line|file] [--one-line] [--x N] [--y N] "
        "[--rows-out FILE] [--stop-after-ms MS] [--read-as automatic|windows-1252] "
        "[--workers N] FILE...\n",
        why);
    std::exit(2);
}

int number(const QString &text, int low, int high, const char *option)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        usage(option);
    return value;
}

Options parse(const QStringList &args)
{
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        // An option's value is taken as it stands, even when it looks like an option.
        const auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                usage("an option lacks its value");
            return args.at(++i);
        };
        if (arg == QLatin1String("--mode"))
            options.mode = number(value(), 0, 13, "--mode takes 0 to 13");
        else if (arg == QLatin1String("--search"))
            options.search = value();
        else if (arg == QLatin1String("--match-case"))
            options.matchCase = true;
        else if (arg == QLatin1String("--regex"))
            options.regex = true;
        else if (arg == QLatin1String("--display")) {
            options.display = value();
            if (options.display != QLatin1String("line") &&
                options.display != QLatin1String("file-line") &&
                options.display != QLatin1String("file"))
                usage("--display takes line, file-line or file");
        } else if (arg == QLatin1String("--one-line"))
            options.oneLine = true;
        else if (arg == QLatin1String("--x"))
            options.x = number(value(), -1, 12, "--x takes -1 to 12");
        else if (arg == QLatin1String("--y"))
            options.y = number(value(), -1, 12, "--y takes -1 to 12");
        else if (arg == QLatin1String("--rows-out"))
            options.rowsOut = value();
        else if (arg == QLatin1String("--stop-after-ms"))
            options.stopAfterMs = number(value(), 0, 1 << 30, "--stop-after-ms takes milliseconds");
        else if (arg == QLatin1String("--read-as")) {
            const QString rule = value();
            if (rule != QLatin1String("automatic") && rule != QLatin1String("windows-1252"))
                usage("--read-as takes automatic or windows-1252");
            options.readAsWindows1252 = rule == QLatin1String("windows-1252");
        } else if (arg == QLatin1String("--workers"))
            options.workers = number(value(), 0, 256, "--workers takes 0 (one per core) to 256");
        else if (arg == QLatin1String("--"))
            options.files += args.mid(i + 1), i = int(args.size());
        else
            options.files.append(arg);
    }
    return options;
}

// Writes the rows as one JSON array of strings, every character kept.
bool writeRows(const QString &path, platform::ListModel &rows)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray out = "[";
    for (int r = 0; r < rows.count(); ++r) {
        if (r > 0)
            out += ',';
        out += '"';
        // Escapes first, then the whole row as UTF-8, so surrogate pairs stay together.
        QString escaped;
        for (const QChar c : rows.text(r)) {
            const char16_t u = c.unicode();
            if (u == '"' || u == '\\') {
                escaped += QLatin1Char('\\');
                escaped += c;
            } else if (u < 0x20) {
                escaped += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
            } else {
                escaped += c;
            }
        }
        out += escaped.toUtf8();
        out += '"';
        if (out.size() > (1 << 22)) {
            file.write(out);
            out.clear();
        }
    }
    out += "]\n";
    file.write(out);
    return file.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Options options = parse(QCoreApplication::arguments());
    if (options.files.isEmpty())
        usage("no FILE given");

    QTemporaryDir settingsFolder;
    AutoPrompts prompts;
    platform::RealServices real(settingsFolder.path());
    platform::Services services = real.services();
    services.prompts = &prompts;
    platform::QtYield &yield = real.yield;
    platform::IniSettingsStore &settings = real.settings;

    shell::MainWindow window(services, QCoreApplication::applicationDirPath());
    window.startUp();
    window.show();
    QCoreApplication::processEvents();

    const QString application = QStringLiteral("Tarnwick");
    const QString section = QStringLiteral("Lumbrex");
    if (options.x)
        settings.writeSetting(application, section, QStringLiteral("Combo2"),
                              QString::number(*options.x));
    if (options.y)
        settings.writeSetting(application, section, QStringLiteral("Combo3"),
                              QString::number(*options.y));
    window.modeList->setCurrentIndex(options.mode);
    window.searchBox->setText(options.search);
    if (window.matchCaseBox->isChecked() != options.matchCase)
        window.matchCaseBox->click();
    if (window.oneLineBox->isChecked() != options.oneLine)
        window.oneLineBox->click();
    if (window.readAsWindows1252Box->isChecked() != options.readAsWindows1252)
        window.readAsWindows1252Box->click();
    if (window.regexBox->isChecked() != options.regex)
        window.regexBox->click();
    window.extraction().setWorkerCount(options.workers);
    QRadioButton *display = options.display == QLatin1String("line")   ? window.lineOnlyOption
                            : options.display == QLatin1String("file") ? window.fileOnlyOption
                                                                       : window.fileAndLineOption;
    display->click();
    for (const QString &file : options.files)
        window.files().append(file);

    // The lines dialog opens before an X/Y run; close it with its Close button.
    QTimer dialogCloser;
    QObject::connect(&dialogCloser, &QTimer::timeout, [] {
        if (auto *dialog = qobject_cast<shell::LinesDialog *>(QApplication::activeModalWidget()))
            dialog->closeButton->click();
    });
    dialogCloser.start(1);
    // A user clicks Start in a window already drawn: what the set-up above changed is drawn
    // now, not in the timed run.
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    bool running = false;
    qint64 lastPump = 0;
    qint64 maxGap = 0;
    const auto pumped = [&] {
        if (!running)
            return;
        const qint64 now = clock.nsecsElapsed();
        maxGap = std::max(maxGap, now - lastPump);
        lastPump = now;
    };
    yield.addBeforePump(pumped);
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                     pumped);

    qint64 doneAt = -1;
    prompts.onMessage = [&](const QString &text) {
        if (text == QLatin1String("Done.") && doneAt < 0)
            doneAt = clock.nsecsElapsed();
    };
    qint64 stopClickAt = -1;
    if (options.stopAfterMs >= 0)
        QTimer::singleShot(options.stopAfterMs, [&] {
            if (window.startButton->text() == QLatin1String("Stop Extracting")) {
                stopClickAt = clock.nsecsElapsed();
                window.startButton->click();
            }
        });

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    clock.start();
    running = true;
    window.startButton->click();
    const qint64 idleAt = clock.nsecsElapsed();
    running = false;
    maxGap = std::max(maxGap, (doneAt >= 0 ? doneAt : idleAt) - lastPump);
    window.results().flush();

    const qint64 end = doneAt >= 0 ? doneAt : idleAt;
    if (!options.rowsOut.isEmpty() && !writeRows(options.rowsOut, window.results())) {
        std::fprintf(stderr, "lumbrex-bench: cannot write %s\n", qPrintable(options.rowsOut));
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double maxRssMb = double(usage.ru_maxrss) / 1024.0;
    std::fprintf(stderr, "max_rss_mb=%.0f\n", maxRssMb);
    const auto seconds = [](const timeval &t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    const double cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime) -
                       seconds(before.ru_utime) - seconds(before.ru_stime);
    // The peak resident memory goes on the result line too: with millions of rows it is the
    // rows' cost.
    std::printf("rows=%d seconds=%.3f max_gap_ms=%.1f stop_ms=%.1f cpu_s=%.3f max_rss_mb=%.0f\n",
                window.results().count(), double(end) / 1e9, double(maxGap) / 1e6,
                stopClickAt >= 0 ? double(idleAt - stopClickAt) / 1e6 : 0.0, cpu, maxRssMb);
    return 0;
}
