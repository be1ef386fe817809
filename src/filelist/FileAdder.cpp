#include "FileAdder.h"

#include "FileListHost.h"
#include "FolderScan.h"
#include "engine/Steps.h"
#include "platform/FileDialogs.h"
#include "platform/FileSystem.h"
#include "platform/ListModel.h"
#include "platform/ModuleNames.h"
#include "platform/Paths.h"
#include "platform/Prompts.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"

#include <QFile>
#include <QMimeData>
#include <QUrl>

namespace filelist {

namespace {

const QString &application = platform::settingsApplication;
const QString &section = platform::settingsSection;

// Says how many files, chosen or dropped, were left out for names that cannot be read back.
std::string leftOutText(int count, const char *how)
{
    if (count == 1)
        return std::string("1 ") + how +
               " file was left out: its name is not valid UTF-8, so it cannot be opened by name";
    return std::to_string(count) + " " + how +
           " files were left out: their names are not valid UTF-8, so they cannot be opened "
           "by name";
}

} // namespace

FileAdder::FileAdder(FileListHost &host, FolderScan &scan) : m_host(host), m_scan(scan)
{
}

void FileAdder::addFolder()
{
    engine::Steps steps(m_host.reporter(), platform::mainWindowModule, "PushButton1_Click");
    const platform::Services &services = m_host.services();
    platform::SettingsStore &store = *services.settings;
    QString extension;
    steps.step(100, [&] {
        const QString stored = store.readSetting(application, section, extensionKey, anyExtension);
        extension = services.prompts->input(
            QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                           "files, doc for all doc files, etc.)"),
            m_host.applicationTitle(), stored);
    });
    if (steps.test(102, [&] { return extension.isEmpty(); }))
        return;
    steps.step(104, [&] { store.writeSetting(application, section, extensionKey, extension); });
    QString chosen;
    steps.step(106, [&] {
        const QString last =
            store.readSetting(application, section, QStringLiteral("LastFolder"), QString());
        chosen = services.dialogs->browseFolder(QStringLiteral("Please select folder:"), last);
    });
    if (steps.test(108, [&] { return chosen.isEmpty(); }))
        return;
    QString folder;
    steps.step(333, [&] { folder = chosen; });
    steps.step(334, [&] {
        store.writeSetting(application, section, QStringLiteral("LastFolder"), folder);
    });
    // A scan started during a run leaves the run's state as it is.
    const run::Activity before = m_host.activity();
    steps.step(110, [&] {
        if (before == run::Activity::Idle)
            m_host.setActivity(run::Activity::Busy);
    });
    const LeftOut leftOut =
        m_scan.addFolderTree(folder, FolderScan::namePatterns(extension), m_host.files(), steps);
    // Unless something else took over meanwhile (a run started during the scan, say).
    steps.step(132, [&] {
        if (m_host.activity() == run::Activity::Busy)
            m_host.setActivity(before);
    });
    tellLeftOut(leftOut);
}

void FileAdder::addGivenPaths(const QStringList &paths)
{
    engine::Steps steps(m_host.reporter(), platform::mainWindowModule, "Form_Load");
    const platform::Services &services = m_host.services();
    QString extension = anyExtension;
    steps.step(190, [&] {
        extension =
            services.settings->readSetting(application, section, extensionKey, anyExtension);
    });
    platform::ListModel &files = m_host.files();
    LeftOut leftOut;
    QStringList missing;
    int unreadable = 0;
    for (const QString &path : paths) {
        if (m_scan.isFolder(path)) {
            const run::Activity before = m_host.activity();
            if (before == run::Activity::Idle)
                m_host.setActivity(run::Activity::Busy);
            leftOut +=
                m_scan.addFolderTree(path, FolderScan::namePatterns(extension), files, steps);
            if (m_host.activity() == run::Activity::Busy)
                m_host.setActivity(before);
        } else if (services.fileSystem->fileExists(path)) {
            // One chosen file is listed as the dialog gave it, several normalized.
            steps.step(192, [&] {
                files.append(paths.size() == 1 ? path : platform::normalizePath(path));
            });
        } else if (path.contains(QChar(QChar::ReplacementCharacter))) {
            ++unreadable;
        } else {
            missing.append(path);
        }
    }
    if (unreadable > 0)
        steps.step(194, [&] { throw engine::Failure(leftOutText(unreadable, "given")); });
    if (!missing.isEmpty())
        steps.step(196, [&] {
            throw engine::Failure("File not found: " +
                                  (missing.size() == 1
                                       ? missing.first()
                                       : QStringLiteral("%1 of the given paths name nothing (the "
                                                        "first: %2)")
                                             .arg(missing.size())
                                             .arg(missing.first()))
                                      .toStdString());
        });
    tellLeftOut(leftOut);
}

void FileAdder::tellLeftOut(const LeftOut &leftOut)
{
    if (leftOut.any())
        m_host.services().prompts->message(leftOut.message(), m_host.applicationTitle(),
                                           platform::Icon::None, platform::Buttons::Ok);
}

qsizetype FileAdder::dialogAnswerLength(const QStringList &paths)
{
    if (paths.isEmpty())
        return 0;
    if (paths.size() == 1)
        return paths.first().size() + 2;
    const QString &first = paths.first();
    QString folder = first.left(first.size() - platform::fileNameFromPath(first).size());
    if (folder.size() > 1)
        folder.chop(1);
    qsizetype length = folder.size() + 1;
    for (const QString &path : paths)
        length += platform::fileNameFromPath(path).size() + 1;
    return length + 1;
}

void FileAdder::addFiles()
{
    engine::Steps steps(m_host.reporter(), platform::mainWindowModule, "PushButton6_Click");
    const platform::Services &services = m_host.services();
    QString title;
    QString filter;
    steps.step(104, [&] {
        title = QStringLiteral("Add File(s) - Use Ctrl & Shift to select multiple files");
    });
    steps.step(106, [&] { filter = QStringLiteral("All Files (*);;Text Files (*.txt)"); });
    QStringList chosen;
    bool tooMany = false;
    steps.step(108, [&] {
        chosen = services.dialogs->openFiles(title, filter);
        tooMany = dialogAnswerLength(chosen) > dialogBufferChars;
    });
    if (tooMany) {
        services.prompts->message(
            QStringLiteral("You've selected too many files to add.\r\rPlease try adding via "
                           "the \"Add All\" button."),
            m_host.applicationTitle(), platform::Icon::None, platform::Buttons::Ok);
        return;
    }
    // The dialog shows a name that is not valid UTF-8 with replacement characters, and that
    // text names no file: such picks are left out and counted rather than listed to fail
    // later as "File not found".
    const qsizetype picked = chosen.size();
    chosen.removeIf([&](const QString &path) {
        return path.contains(QChar(QChar::ReplacementCharacter)) &&
               !services.fileSystem->fileExists(path);
    });
    const int unreadable = int(picked - chosen.size());
    auto reportUnreadable = [&] {
        if (unreadable > 0)
            steps.step(134, [&] { throw engine::Failure(leftOutText(unreadable, "chosen")); });
    };
    if (steps.test(110, [&] { return chosen.isEmpty(); })) {
        reportUnreadable();
        return;
    }
    platform::ListModel &files = m_host.files();
    if (steps.test(114, [&] { return picked == 1; })) {
        steps.step(118, [&] { files.append(chosen.first()); });
    } else {
        for (const QString &path : chosen)
            steps.step(132, [&] { files.append(platform::normalizePath(path)); });
    }
    reportUnreadable();
}

bool FileAdder::acceptsDrop(const QMimeData &data)
{
    // Files whose names cannot be read back are taken too, so the drop can say so.
    int unreadable = 0;
    return !droppedPaths(data, &unreadable).isEmpty() || unreadable > 0;
}

QStringList FileAdder::droppedPaths(const QMimeData &data, int *unreadable)
{
    QStringList paths;
    if (!data.hasFormat(QStringLiteral("text/uri-list")))
        return paths;
    for (const QUrl &url : data.urls()) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty())
            continue;
        const QString path = url.toLocalFile();
        const QByteArray bytes =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (url.host().isEmpty() && QFile::encodeName(path) != bytes) {
            if (unreadable)
                ++*unreadable;
            continue;
        }
        paths.append(path);
    }
    return paths;
}

void FileAdder::dropPaths(const QStringList &paths, int unreadable)
{
    // A drop carries no tag of its own; its walk reports under this name rather than let a
    // failure escape the event loop.
    engine::Steps steps(m_host.reporter(), platform::mainWindowModule, "ListView1_OLEDragDrop");
    platform::ListModel &files = m_host.files();
    LeftOut leftOut;
    for (const QString &path : paths) {
        if (m_scan.isFolder(path))
            leftOut += m_scan.addFolderTree(path, {QStringLiteral("*.*")}, files, steps);
        else
            steps.step(100, [&] { files.append(path); });
    }
    if (unreadable > 0)
        steps.step(102, [&] { throw engine::Failure(leftOutText(unreadable, "dropped")); });
    tellLeftOut(leftOut);
}

} // namespace filelist
