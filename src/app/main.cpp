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
    // Asked to end by a signal, the program ends as when its window is closed: the options
    // still being written reach the disk first.
    const platform::TerminationSignals endOnSignal([&window] { window.close(); });
    return QApplication::exec();
}
