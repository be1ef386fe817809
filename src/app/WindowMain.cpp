// The window's program: started by the command line's for everything but help, the version
// and a run with no window.

#include "engine/Steps.h"
#include "platform/RealServices.h"
#include "platform/TerminationSignals.h"
#include "results/PackedCopies.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <cstdio>

namespace {

// Returns the paths the window is given: what Qt left of the arguments, made absolute as
// the file dialog gives them; prints what is no path and returns nothing.
std::optional<QStringList> givenPaths(QStringList arguments)
{
    arguments.removeFirst();
    QStringList paths;
    bool optionsEnded = false;
    for (const QString &argument : arguments) {
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.startsWith(u'-') && argument.size() > 1) {
            std::fprintf(stderr,
                         "lumbrex: %s is no option of the window (those of a run need "
                         "--extract)\nUsage: lumbrex --extract [OPTION]... PATH...  or  lumbrex "
                         "[PATH]...  (lumbrex --help tells more)\n",
                         qPrintable(argument));
            return std::nullopt;
        }
        paths.append(QFileInfo(argument).absoluteFilePath());
    }
    return paths;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumbrex"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    const std::optional<QStringList> paths = givenPaths(QApplication::arguments());
    if (!paths)
        return 2;

    platform::RealServices real;

    shell::MainWindow window(real.services(), QApplication::applicationDirPath());
    real.setParent(&window);
    window.startUp();
    window.placeOnScreen(window.screen()->availableGeometry());
    window.show();
    // The files given join the list once the window is up, so a long folder scan shows.
    if (!paths->isEmpty())
        QTimer::singleShot(0, &window, [&window, &paths] { window.addGivenPaths(*paths); });
    // Asked to end by a signal, the program ends at once, as it always did, but the options
    // still being written reach the disk first, and the decompressed copies opened from rows
    // are removed. Nobody is left to read a report of a write that fails then.
    const platform::TerminationSignals endOnSignal([&real] {
        results::PackedCopies::removeAll();
        real.settings.setFailureHandler({});
        try {
            real.settings.flush();
        } catch (const engine::Failure &) {
        }
    });
    return QApplication::exec();
}
