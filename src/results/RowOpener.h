#pragma once

#include "platform/RowOrigin.h"
#include "platform/Services.h"

#include <QSet>
#include <QString>
#include <functional>
#include <memory>

namespace engine {
class ErrorReporter;
}

namespace results {

class PackedCopies;
class ResultsView;

// Opens the file a result row came from: in the user's editor at the row's line, or in the
// file manager. A row of the text inside a compressed file or an archive member opens a
// read-only copy of that text, made on a thread of its own and removed with this object. A
// command that cannot be started is reported under "Form1.OpenAtLine" or
// "Form1.OpenContainingFolder"; a file gone since the run, or a copy that cannot be made, is
// said in a message box.
class RowOpener {
public:
    // Shows a one-line note in the window.
    using Note = std::function<void(const QString &)>;

    // The settings key of the user's editor command line.
    static const QString editorKey;

    RowOpener(ResultsView &view, const platform::Services &services,
              engine::ErrorReporter &reporter, Note note);
    ~RowOpener();

    // Opens the file at its line with the "Editor" setting or, while that is unset, with the
    // desktop's default application for text files; an editor that takes no line number
    // opens the file at its top, which is noted once per editor. A row of a member's text
    // opens its copy, made first (noted meanwhile) unless one is still as the file is.
    void openAtLine(const platform::RowOrigin &origin);
    // Shows the file (a member's compressed file or archive) selected in the file manager; a
    // file gone since the run shows its folder, if that is still there.
    void openContainingFolder(const platform::RowOrigin &origin);
    // Returns the copies of members' texts made so far.
    PackedCopies &copies() const { return *m_copies; }

    // Returns the "Editor" setting without its leading and trailing blanks.
    QString editorSetting() const;
    // Stores the "Editor" setting; throws engine::Failure when the store refuses it.
    void storeEditorSetting(const QString &setting);

private:
    // Returns whether the row's file can still be opened, saying why not when it cannot.
    bool fileStillThere(const QString &path);
    void message(const QString &text);
    // Opens a file in the editor at a line.
    void openFile(const QString &path, uint64_t lineNumber);
    // Opens the copy of a member's text at the row's line, once it is made.
    void openCopy(const platform::RowOrigin &origin);

    ResultsView &m_view;
    platform::Services m_services;
    engine::ErrorReporter &m_reporter;
    Note m_note;
    // The desktop entries whose editor was noted to take no line number.
    QSet<QString> m_notedEditors;
    // Last, so that a copy under way ends before anything it reports to.
    std::unique_ptr<PackedCopies> m_copies;
};

} // namespace results
