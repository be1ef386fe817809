#include "engine/Steps.h"
#include "platform/RealServices.h"
#include "platform/TerminationSignals.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumbrex"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));

    platform::RealServices real;

    shell::MainWindow window(real.services(), QApplication::applicationDirPath());
    real.setParent(&window);
    window.startUp();
    window.placeOnScreen(window.screen()->availableGeometry());
    window.show();
    // Asked to end by a signal, the program ends at once, as it always did, but the options
    // still being written reach the disk first. Nobody is left to read a report of a write
    // that fails then.
    const platform::TerminationSignals endOnSignal([&real] {
        real.settings.setFailureHandler({});
        try {
            real.settings.flush();
        } catch (const engine::Failure &) {
        }
    });
    return QApplication::exec();
}
