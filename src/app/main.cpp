#include "platform/RealServices.h"
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
    return QApplication::exec();
}
