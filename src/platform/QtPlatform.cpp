#include "QtPlatform.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
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

bool QtDesktop::hasSpreadsheetApplication()
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return false;
    QProcess query;
    query.start(
        xdgMime,
        {QStringLiteral("query"), QStringLiteral("default"),
         QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")});
    if (!query.waitForFinished(5000))
        return false;
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

bool QtDesktop::openSpreadsheet(const QString &file)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

} // namespace platform
