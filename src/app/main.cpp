#include "platform/Prompts.h"
#include "platform/QtFileSystem.h"
#include "platform/QtPlatform.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"
#include "platform/Yield.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumbrex"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));

    platform::QtPrompts prompts;
    platform::QtYield yield;
    platform::IniSettingsStore settings;
    platform::QtFileSystem fileSystem;
    platform::QtFileDialogs dialogs;
    platform::QtClipboard clipboard;
    platform::QtDesktop desktop;
    platform::Services services;
    services.prompts = &prompts;
    services.yield = &yield;
    services.settings = &settings;
    services.fileSystem = &fileSystem;
    services.dialogs = &dialogs;
    services.clipboard = &clipboard;
    services.desktop = &desktop;

    shell::MainWindow window(services, QApplication::applicationDirPath());
    prompts.setParent(&window);
    dialogs.setParent(&window);
    window.Form_Load();
    window.adjustSize();
    window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(),
                                           window.screen()->availableGeometry()));
    window.show();
    return QApplication::exec();
}
