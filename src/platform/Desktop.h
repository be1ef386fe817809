#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// What the desktop offers the program: its file manager, its default applications and the
// starting of other programs.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Opens a folder in the desktop's file manager; returns false when that failed.
    virtual bool openFolder(const QString &folder) = 0;
    // Shows a file selected in the desktop's file manager, or opens its folder when no file
    // manager offers to show files; returns false when neither could be asked.
    virtual bool showInFileManager(const QString &file) = 0;
    // Returns whether an application is registered for .xlsx workbooks.
    virtual bool hasSpreadsheetApplication() = 0;
    // Opens a workbook file in the default spreadsheet application.
    virtual bool openSpreadsheet(const QString &file) = 0;
    // Returns the desktop file id of the default application for a MIME type
    // ("org.gnome.gedit.desktop"), or empty text when none is set.
    virtual QString defaultApplication(const QString &mimeType) = 0;
    // Starts a program with its arguments on its own, without a shell, and returns at once;
    // throws engine::Failure ("File not found: …", "Permission denied: …") when it cannot
    // be started.
    virtual void startDetached(const QString &program, const QStringList &arguments) = 0;
};

} // namespace platform
