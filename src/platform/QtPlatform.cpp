#include "QtPlatform.h"

#include "engine/Steps.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace platform {

QStringList QtFileDialogs::openFiles(const QString &title, const QString &filter)
{
    return QFileDialog::getOpenFileNames(m_parent, title, QString(), filter);
}

QString QtFileDialogs::saveFile(const QString &title, const QString &filter,
                                const QString &suggestedName)
{
    return QFileDialog::getSaveFileName(m_parent, title, suggestedName, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString QtFileDialogs::browseFolder(const QString &title, const QString &startFolder)
{
    // With no folder chosen before (or one since removed), browsing starts at home, not in
    // the working folder.
    return QFileDialog::getExistingDirectory(
        m_parent, title,
        startFolder.isEmpty() || !QDir(startFolder).exists() ? QDir::homePath() : startFolder);
}

void QtClipboard::clear()
{
    QGuiApplication::clipboard()->clear();
}

bool QtClipboard::setText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(text);
    return clipboard->text() == text;
}

QString QtClipboard::text()
{
    return QGuiApplication::clipboard()->text();
}

bool QtDesktop::openFolder(const QString &folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

namespace {

const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");

// Returns whether a service answers on the bus now or is started by the bus when called.
bool offersService(QDBusConnection &bus, const QString &service)
{
    QDBusConnectionInterface *names = bus.interface();
    if (!names)
        return false;
    const QDBusReply<bool> running = names->isServiceRegistered(service);
    if (running.isValid() && running.value())
        return true;
    const QDBusReply<QStringList> startable = names->activatableServiceNames();
    return startable.isValid() && startable.value().contains(service);
}

} // namespace

bool QtDesktop::showInFileManager(const QString &file)
{
    const QString folder = QFileInfo(file).absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !offersService(bus, fileManagerService))
        return openFolder(folder);
    QDBusMessage call = QDBusMessage::createMethodCall(
        fileManagerService, QStringLiteral("/org/freedesktop/FileManager1"), fileManagerService,
        QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)} << QString();
    // A file manager that is started for the call may take seconds to answer: the window
    // does not wait for it, and opens the folder itself if the call fails.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 15000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher *answered) {
                         if (answered->isError())
                             QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
                         answered->deleteLater();
                     });
    return true;
}

QString QtDesktop::defaultApplication(const QString &mimeType)
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return {};
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(query.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
}

void QtDesktop::startDetached(const QString &program, const QStringList &arguments)
{
    // A name without a slash is looked up on the PATH, as a shell would; QProcess would only
    // say that it failed, not why.
    const QString path = program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
    const QFileInfo info(path);
    if (program.isEmpty() || path.isEmpty() || !info.exists())
        throw engine::Failure("File not found: " + program.toStdString());
    if (info.isDir() || !info.isExecutable())
        throw engine::Failure("Permission denied: " + path.toStdString());
    QProcess process;
    process.setProgram(path);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        throw engine::Failure(process.errorString().toStdString() + ": " + path.toStdString());
}

bool QtDesktop::hasSpreadsheetApplication()
{
    return !defaultApplication(
                QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"))
                .isEmpty();
}
bool QtDesktop::openSpreadsheet(const QString &file)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

} // namespace platform
