#include "SettingsStore.h"

#include "engine/Steps.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace platform {

IniSettingsStore::IniSettingsStore(const QString &folder)
    : m_folder(folder.isEmpty()
                   ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                   : folder)
{
}

IniSettingsStore::~IniSettingsStore() = default;

QString IniSettingsStore::filePath(const QString &application) const
{
    return QDir(m_folder).filePath(application + QStringLiteral(".ini"));
}

QSettings &IniSettingsStore::open(const QString &application)
{
    // One QSettings per file keeps reads in memory; the X/Y run reads two keys per piece.
    auto &slot = m_files[application];
    if (!slot)
        slot = std::make_unique<QSettings>(filePath(application), QSettings::IniFormat);
    if (slot->status() == QSettings::FormatError)
        throw engine::Failure("The settings file " + filePath(application).toStdString() +
                              " is damaged");
    return *slot;
}

QString IniSettingsStore::ReadSetting(const QString &application, const QString &section,
                                      const QString &key, const QString &defaultValue)
{
    const QVariant value = open(application).value(section + QLatin1Char('/') + key);
    return value.isValid() ? value.toString() : defaultValue;
}

void IniSettingsStore::WriteSetting(const QString &application, const QString &section,
                                    const QString &key, const QString &value)
{
    QDir().mkpath(m_folder);
    QSettings &settings = open(application);
    settings.setValue(section + QLatin1Char('/') + key, value);
    // sync() replaces the file atomically, so the value is durable when this returns.
    settings.sync();
    if (settings.status() == QSettings::FormatError)
        throw engine::Failure("The settings file " + filePath(application).toStdString() +
                              " is damaged");
    if (settings.status() != QSettings::NoError)
        throw engine::Failure("Permission denied: cannot write " +
                              filePath(application).toStdString());
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
