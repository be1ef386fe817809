#pragma once

#include "platform/Clipboard.h"
#include "platform/Desktop.h"
#include "platform/FileDialogs.h"

class QWidget;

namespace platform {

// The real file dialogs and folder browser, over a parent window.
class QtFileDialogs : public FileDialogs {
public:
    void setParent(QWidget *parent) { m_parent = parent; }
    QStringList openFiles(const QString &title, const QString &filter) override;
    QString saveFile(const QString &title, const QString &filter,
                     const QString &suggestedName) override;
    QString browseFolder(const QString &title, const QString &startFolder) override;

private:
    QWidget *m_parent = nullptr;
};

// The system clipboard through QClipboard; a set text is verified by reading it back.
class QtClipboard : public Clipboard {
public:
    void clear() override;
    bool setText(const QString &text) override;
    QString text() override;
};

// The desktop's file manager and default applications, through QDesktopServices, the
// freedesktop MIME database and the file manager's D-Bus interface; programs started with
// QProcess.
class QtDesktop : public Desktop {
public:
    bool openFolder(const QString &folder) override;
    bool showInFileManager(const QString &file) override;
    bool hasSpreadsheetApplication() override;
    bool openSpreadsheet(const QString &file) override;
    QString defaultApplication(const QString &mimeType) override;
    void startDetached(const QString &program, const QStringList &arguments) override;
};

} // namespace platform
