#include "SettingsStore.h"

#include "engine/Steps.h"
#include "platform/IniText.h"
#include "platform/SettingsFile.h"
#include "platform/SettingsWriter.h"

#include <QDir>
#include <QObject>
#include <QStandardPaths>

namespace platform {

IniSettingsStore::IniSettingsStore(const QString &folder)
    : m_folder(folder.isEmpty()
                   ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                   : folder),
      m_receiver(std::make_unique<QObject>())
{
    QObject *receiver = m_receiver.get();
    m_writer = std::make_unique<SettingsWriter>([this, receiver] {
        // On the writer's thread: the news is taken on the store's own.
        QMetaObject::invokeMethod(
            receiver,
            [this] {
                if (m_failureHandler)
                    takeOutcomes(nullptr);
            },
            Qt::QueuedConnection);
    });
}

IniSettingsStore::~IniSettingsStore()
{
    // The writer writes what is pending before it goes; news that comes after is dropped
    // with the receiver.
    m_writer.reset();
}

QString IniSettingsStore::filePath(const QString &application) const
{
    return QDir(m_folder).filePath(application + QStringLiteral(".ini"));
}

std::map<QString, QString> &IniSettingsStore::section(File &file, const QString &path,
                                                      const QString &name)
{
    const auto known = file.sections.find(name);
    if (known != file.sections.end())
        return known->second;
    // Opening a FIFO would block the window for good, and replacing a device or a folder
    // would destroy it: only a regular file (or none yet) is read.
    std::map<QString, QString> values;
    file.notRegular = SettingsFile::nonRegularKind(path);
    if (file.notRegular.empty()) {
        try {
            bool missing = false;
            const IniText text(SettingsFile::read(path, missing));
            file.damaged = text.damaged();
            if (!file.damaged)
                values = text.values(name);
        } catch (const engine::Failure &) {
            // A file that cannot be read gives no values; writing it fails and says so.
        }
    }
    return file.sections.emplace(name, std::move(values)).first->second;
}

bool IniSettingsStore::tell(File &file, const std::string &failure)
{
    if (file.told == failure)
        return false;
    file.told = failure;
    return true;
}

QString IniSettingsStore::readSetting(const QString &application, const QString &section,
                                      const QString &key, const QString &defaultValue)
{
    const QString path = filePath(application);
    File &file = m_files[path];
    const std::map<QString, QString> &values = this->section(file, path, section);
    if (!file.notRegular.empty()) {
        const std::string failure = SettingsFile::notRegularText(path, file.notRegular);
        if (tell(file, failure))
            throw engine::Failure(failure);
    }
    if (file.damaged)
        throw engine::Failure(SettingsFile::damagedText(path));
    const auto value = values.find(key);
    return value != values.end() ? value->second : defaultValue;
}

void IniSettingsStore::writeSetting(const QString &application, const QString &section,
                                    const QString &key, const QString &value)
{
    countWrite();
    const QString path = filePath(application);
    File &file = m_files[path];
    this->section(file, path, section).insert_or_assign(key, value);
    // The same value again is written too: another program may have changed the file, and
    // the writer replaces nothing when the bytes stay the same.
    m_writer->add({path, section, key, value});
    if (!file.notRegular.empty()) {
        // Said once, at the first read or write: the report already tells that the options
        // last only until the program ends, and one box per keystroke would tell no more.
        const std::string failure = SettingsFile::notRegularText(path, file.notRegular);
        if (tell(file, failure))
            throw engine::Failure(failure);
    }
}

void IniSettingsStore::setFailureHandler(FailureHandler handler)
{
    m_failureHandler = std::move(handler);
}

void IniSettingsStore::takeOutcomes(std::string *untold)
{
    for (const SettingsWriter::Outcome &outcome : m_writer->takeOutcomes()) {
        File &file = m_files[outcome.path];
        if (outcome.failure.empty()) {
            // The file is a regular one again, if it was not.
            file.told.clear();
            file.notRegular.clear();
            continue;
        }
        if (!tell(file, outcome.failure))
            continue;
        if (m_failureHandler)
            m_failureHandler(outcome.key, outcome.failure);
        else if (untold && untold->empty())
            *untold = outcome.failure;
    }
}

void IniSettingsStore::flush()
{
    m_writer->flush();
    std::string untold;
    takeOutcomes(&untold);
    if (!untold.empty())
        throw engine::Failure(untold);
}

} // namespace platform

namespace platform {

int settingToInt(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok) {
        bool isNumber = false;
        text.trimmed().toLongLong(&isNumber);
        throw engine::Failure(isNumber ? "Overflow" : "Type mismatch");
    }
    return value;
}

bool settingToBool(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = t.toDouble(&ok);
    if (!ok)
        throw engine::Failure("Type mismatch");
    return number != 0.0;
}

} // namespace platform
