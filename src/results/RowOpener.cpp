#include "RowOpener.h"

#include "engine/Steps.h"
#include "platform/Desktop.h"
#include "platform/DesktopEntry.h"
#include "platform/FileSystem.h"
#include "platform/ModuleNames.h"
#include "platform/Prompts.h"
#include "platform/SettingsStore.h"
#include "results/EditorCommand.h"
#include "results/PackedCopies.h"
#include "results/ResultsView.h"

#include <QFileInfo>

namespace results {

namespace {

const QString noOriginNote = QStringLiteral("This row does not say which file it came from.");

const QString chooseEditorHint = QStringLiteral(
    "\"Choose Editor\u2026\" in the menu of the results list (right-click a row) sets one.");

} // namespace

const QString RowOpener::editorKey = QStringLiteral("Editor");

RowOpener::RowOpener(ResultsView &view, const platform::Services &services,
                     engine::ErrorReporter &reporter, Note note)
    : m_view(view), m_services(services), m_reporter(reporter), m_note(std::move(note)),
      m_copies(std::make_unique<PackedCopies>(*services.fileSystem))
{
}

RowOpener::~RowOpener() = default;

QString RowOpener::editorSetting() const
{
    return m_services.settings
        ->readSetting(platform::settingsApplication, platform::settingsSection, editorKey,
                      QString())
        .trimmed();
}

void RowOpener::storeEditorSetting(const QString &setting)
{
    m_services.settings->writeSetting(platform::settingsApplication, platform::settingsSection,
                                      editorKey, setting.trimmed());
}

void RowOpener::message(const QString &text)
{
    m_services.prompts->message(text, m_view.applicationTitle(), platform::Icon::Warning);
}

bool RowOpener::fileStillThere(const QString &path)
{
    // An editor handed a missing file would open an empty one under its name.
    if (!m_services.fileSystem->fileExists(path)) {
        message(QStringLiteral("The file of this row is no longer there:\r\n") + path);
        return false;
    }
    if (!m_services.fileSystem->isUsableFile(path)) {
        message(QStringLiteral("The file of this row is no longer a regular file:\r\n") + path);
        return false;
    }
    return true;
}

void RowOpener::openAtLine(const platform::RowOrigin &origin)
{
    if (!origin.known()) {
        m_note(noOriginNote);
        return;
    }
    if (!fileStillThere(origin.path))
        return;
    // A row read from a file's own bytes (every file read as Windows-1252, say) opens the
    // file, whatever it holds.
    if (origin.member.set())
        openCopy(origin);
    else
        openFile(origin.path, origin.line);
}

void RowOpener::openCopy(const platform::RowOrigin &origin)
{
    const QString existing = m_copies->existingCopy(origin.path, origin.member);
    if (!existing.isEmpty()) {
        openFile(existing, origin.line);
        return;
    }
    const QString shown =
        origin.member.name.isEmpty() ? QFileInfo(origin.path).fileName() : origin.member.name;
    if (m_copies->busy()) {
        m_note(QStringLiteral("A decompressed copy is still being made; open this row again "
                              "once it is open."));
        return;
    }
    m_note(QStringLiteral("Decompressing ") + shown +
           QStringLiteral(" into a read-only copy\u2026"));
    const uint64_t line = origin.line;
    const QString source = origin.path;
    m_copies->make(origin.path, origin.member,
                   [this, line, source, shown](const QString &copy, const QString &failure) {
                       if (copy.isEmpty()) {
                           message(QStringLiteral("The text of this row could not be copied "
                                                  "out of ") +
                                   source + QStringLiteral(" (") + shown +
                                   QStringLiteral("):\r\n") + failure);
                           return;
                       }
                       openFile(copy, line);
                   });
}

void RowOpener::openFile(const QString &path, uint64_t lineNumber)
{
    // Line numbers go past 2^32: they are handed on as text, never through an int.
    const QString line = QString::number(lineNumber);
    ProgramCall call = EditorCommand::fromSetting(editorSetting(), path, line);
    if (call.program.isEmpty()) {
        const QString id = m_services.desktop->defaultApplication(QStringLiteral("text/plain"));
        const platform::DesktopEntry entry = platform::DesktopEntry::find(id);
        if (!entry.usable()) {
            message((id.isEmpty() ? QStringLiteral("No application is set to open text files.")
                                  : QStringLiteral("The application set to open text files (") +
                                        id + QStringLiteral(") cannot be found.")) +
                    QStringLiteral("\r\n\r\n") + chooseEditorHint);
            return;
        }
        call = EditorCommand::fromDesktopEntry(entry, path, line, EditorCommand::userTerminal());
        if (!call.takesLine && !m_notedEditors.contains(entry.id)) {
            m_notedEditors.insert(entry.id);
            m_note(call.editorName +
                   QStringLiteral(" takes no line number: the file opens at its top. ") +
                   chooseEditorHint);
        }
    }
    engine::Steps steps(m_reporter, platform::mainWindowModule, "OpenAtLine");
    steps.step(100, [&] { m_services.desktop->startDetached(call.program, call.arguments); });
}

void RowOpener::openContainingFolder(const platform::RowOrigin &origin)
{
    if (!origin.known()) {
        m_note(noOriginNote);
        return;
    }
    engine::Steps steps(m_reporter, platform::mainWindowModule, "OpenContainingFolder");
    if (m_services.fileSystem->fileExists(origin.path)) {
        steps.step(100, [&] {
            if (!m_services.desktop->showInFileManager(origin.path))
                throw engine::Failure("The file manager could not be started to show " +
                                      origin.path.toStdString());
        });
        return;
    }
    const QString folder = QFileInfo(origin.path).absolutePath();
    if (!m_services.fileSystem->attributes(folder).folder) {
        message(QStringLiteral("The folder of this row is no longer there:\r\n") + folder);
        return;
    }
    steps.step(102, [&] {
        if (!m_services.desktop->openFolder(folder))
            throw engine::Failure("The file manager could not be started to open " +
                                  folder.toStdString());
    });
    m_note(QStringLiteral("The file of this row is no longer there; its folder is shown."));
}

} // namespace results
