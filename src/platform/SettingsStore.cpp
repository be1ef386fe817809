#include "SettingsStore.h"

#include "engine/Steps.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <sys/stat.h>

namespace platform {

namespace {

// Returns what stands at the path when it is not a regular file, links followed ("a FIFO",
// "a folder", ...); empty text for a regular file or nothing at all.
std::string nonRegularKind(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return {};
    if (S_ISDIR(info.st_mode))
        return "a folder";
    if (S_ISFIFO(info.st_mode))
        return "a FIFO";
    if (S_ISSOCK(info.st_mode))
        return "a socket";
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return "a device";
    return "not a regular file";
}

} // namespace

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

QSettings *IniSettingsStore::open(const QString &application)
{
    // Opening a FIFO would block the window for good, and replacing a device or a folder
    // would destroy it: only a regular file (or none yet) is read and written. Checked on
    // every access, since the path may change under the running program.
    const QString path = filePath(application);
    const std::string kind = nonRegularKind(path);
    auto &slot = m_files[application];
    if (!kind.empty()) {
        Unusable &unusable = m_unusable[application];
        unusable.kind = kind;
        if (slot) {
            // What was read before stays in effect.
            for (const QString &key : slot->allKeys())
                unusable.values.insert_or_assign(key, slot->value(key).toString());
            slot.reset();
        }
        return nullptr;
    }
    // One QSettings per file keeps reads in memory; the X/Y run reads two keys per piece.
    if (!slot)
        slot = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (slot->status() == QSettings::FormatError)
        throw engine::Failure("The settings file " + path.toStdString() + " is damaged");
    return slot.get();
}

std::string IniSettingsStore::unusableText(const QString &application) const
{
    return "The settings file " + filePath(application).toStdString() + " is " +
           m_unusable.at(application).kind +
           ", not a regular file: it is neither read nor replaced, and the options last "
           "until the program ends";
}

QString IniSettingsStore::readSetting(const QString &application, const QString &section,
                                      const QString &key, const QString &defaultValue)
{
    const QString name = section + QLatin1Char('/') + key;
    QSettings *settings = open(application);
    if (!settings) {
        Unusable &unusable = m_unusable[application];
        const auto value = unusable.values.find(name);
        if (value != unusable.values.end())
            return value->second;
        if (!unusable.reported) {
            unusable.reported = true;
            throw engine::Failure(unusableText(application));
        }
        return defaultValue;
    }
    const QVariant value = settings->value(name);
    return value.isValid() ? value.toString() : defaultValue;
}

void IniSettingsStore::writeSetting(const QString &application, const QString &section,
                                    const QString &key, const QString &value)
{
    countWrite();
    QDir().mkpath(m_folder);
    const QString name = section + QLatin1Char('/') + key;
    QSettings *settings = open(application);
    if (!settings) {
        // Said once, at the first read or write: the report already tells that the options
        // last only until the program ends, and one box per keystroke would tell no more.
        Unusable &unusable = m_unusable[application];
        unusable.values.insert_or_assign(name, value);
        if (!unusable.reported) {
            unusable.reported = true;
            throw engine::Failure(unusableText(application));
        }
        return;
    }
    // The same value again changes nothing, so the file is not replaced (and flushed to the
    // disk) for it. The file is read again first, should another program have changed it.
    settings->sync();
    if (settings->status() == QSettings::NoError && settings->contains(name) &&
        settings->value(name).toString() == value)
        return;
    settings->setValue(name, value);
    // sync() replaces the file atomically (through a link, its target), so the value is
    // durable when this returns.
    settings->sync();
    if (settings->status() == QSettings::FormatError)
        throw engine::Failure("The settings file " + filePath(application).toStdString() +
                              " is damaged");
    if (settings->status() != QSettings::NoError)
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
