#include "Fakes.h"

namespace fakes {

namespace {
QString fullKey(const QString &application, const QString &section, const QString &key)
{
    return application + QLatin1Char('/') + section + QLatin1Char('/') + key;
}
} // namespace

platform::Answer FakePrompts::message(const QString &text, const QString &title,
                                      platform::Icon icon, platform::Buttons buttons)
{
    messages.push_back({text, title, icon, buttons});
    if (onMessage)
        onMessage(text);
    if (!answers.empty()) {
        const platform::Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return buttons == platform::Buttons::YesNo || buttons == platform::Buttons::YesNoCancel
               ? platform::Answer::Yes
               : platform::Answer::Ok;
}

QString FakePrompts::input(const QString &prompt, const QString &, const QString &defaultText)
{
    inputPrompts.append(prompt);
    inputDefaults.append(defaultText);
    if (inputAnswers.empty())
        return QString();
    const QString answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

QStringList FakePrompts::texts() const
{
    QStringList all;
    for (const Shown &shown : messages)
        all.append(shown.text);
    return all;
}

QStringList FakePrompts::errors() const
{
    QStringList all;
    for (const Shown &shown : messages)
        if (shown.title == QLatin1String("Application Error"))
            all.append(shown.text);
    return all;
}

void FakeYield::yield()
{
    ++count;
    if (onYield)
        onYield(count);
}

QString FakeSettings::readSetting(const QString &application, const QString &section,
                                  const QString &key, const QString &defaultValue)
{
    return values.value(fullKey(application, section, key), defaultValue);
}

void FakeSettings::writeSetting(const QString &application, const QString &section,
                                const QString &key, const QString &value)
{
    countWrite();
    if (refuseWrites)
        throw engine::Failure("Permission denied");
    values.insert(fullKey(application, section, key), value);
    writes.append(key + QLatin1Char('=') + value);
}

QString FakeSettings::value(const QString &key) const
{
    return values.value(fullKey(QStringLiteral("Tarnwick"), QStringLiteral("Lumbrex"), key));
}

void FakeSettings::set(const QString &key, const QString &value)
{
    countWrite();
    values.insert(fullKey(QStringLiteral("Tarnwick"), QStringLiteral("Lumbrex"), key), value);
}

QStringList FakeFileDialogs::openFiles(const QString &title, const QString &filter)
{
    titles.append(title);
    filters.append(filter);
    return nextOpenFiles;
}

QString FakeFileDialogs::saveFile(const QString &title, const QString &filter, const QString &)
{
    titles.append(title);
    filters.append(filter);
    return nextSaveFile;
}

QString FakeFileDialogs::browseFolder(const QString &title, const QString &startFolder)
{
    titles.append(title);
    startFolders.append(startFolder);
    return nextFolder;
}

void FakeClipboard::clear()
{
    contents.clear();
}

bool FakeClipboard::setText(const QString &text)
{
    ++setAttempts;
    if (refuseSets > 0) {
        --refuseSets;
        return false;
    }
    contents = text;
    return true;
}

bool FakeDesktop::openFolder(const QString &folder)
{
    openedFolders.append(folder);
    return true;
}

bool FakeDesktop::openSpreadsheet(const QString &file)
{
    openedSpreadsheets.append(file);
    return true;
}

bool FakeDesktop::showInFileManager(const QString &file)
{
    shownFiles.append(file);
    return true;
}

QString FakeDesktop::defaultApplication(const QString &mimeType)
{
    return defaultApplications.value(mimeType);
}

void FakeDesktop::startDetached(const QString &program, const QStringList &arguments)
{
    if (missingPrograms.contains(program))
        throw engine::Failure("File not found: " + program.toStdString());
    started.append(QStringList{program} + arguments);
}

void RecordingReporter::reportError(const std::string &tag, int step,
                                    const std::string &description)
{
    reports.append(QString::fromStdString(tag) + QLatin1Char('|') + QString::number(step) +
                   QLatin1Char('|') + QString::fromStdString(description));
}

platform::Services TestServices::services()
{
    platform::Services all;
    all.prompts = &prompts;
    all.yield = &yield;
    all.settings = &settings;
    all.dialogs = &dialogs;
    all.clipboard = &clipboard;
    all.desktop = &desktop;
    all.fileSystem = &fileSystem;
    return all;
}

} // namespace fakes
