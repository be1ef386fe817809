#pragma once

#include <QString>

#include <map>
#include <memory>
#include <string>

class QSettings;

namespace platform {

// The application name and the section that every setting of the program lives under.
inline const QString settingsApplication = QStringLiteral("Tarnwick");
inline const QString settingsSection = QStringLiteral("Lumbrex");

// The per-user store of named text values. Every value is text.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Returns the stored text, or the default when the key is absent.
    virtual QString readSetting(const QString &application, const QString &section,
                                const QString &key, const QString &defaultValue) = 0;
    // Stores the text durably before returning; throws engine::Failure when it cannot.
    virtual void writeSetting(const QString &application, const QString &section,
                              const QString &key, const QString &value) = 0;
    // Returns a number that changes whenever a value is written through this store, so a
    // reader may keep what it read while the number stays the same.
    unsigned long long writeCount() const { return m_writeCount; }

protected:
    // Counts one write; every writeSetting calls it.
    void countWrite() { ++m_writeCount; }

private:
    unsigned long long m_writeCount = 0;
};

// An INI file per application name in the user's configuration folder
// ($XDG_CONFIG_HOME or ~/.config); the section is the INI group. A link to a regular file is
// written through; a path that is (or links to) a folder, FIFO, socket or device is never
// opened: the first read or write then fails, and the values live in memory.
class IniSettingsStore : public SettingsStore {
public:
    // Uses the given folder instead of the user's configuration folder when not empty.
    explicit IniSettingsStore(const QString &folder = QString());
    ~IniSettingsStore() override;
    QString readSetting(const QString &application, const QString &section, const QString &key,
                        const QString &defaultValue) override;
    void writeSetting(const QString &application, const QString &section, const QString &key,
                      const QString &value) override;
    // Returns the path of the file that holds an application's values.
    QString filePath(const QString &application) const;

private:
    // What the store keeps of a file that is not a regular file: values written this session.
    struct Unusable {
        std::string kind;
        std::map<QString, QString> values;
        bool reported = false;
    };

    // Returns the file's settings, or nullptr when the path is not a regular file.
    QSettings *open(const QString &application);
    std::string unusableText(const QString &application) const;

    QString m_folder;
    std::map<QString, std::unique_ptr<QSettings>> m_files;
    std::map<QString, Unusable> m_unusable;
};

} // namespace platform

namespace platform {

// Converts a stored text to a whole number (decimal digits, optional sign, blanks around);
// throws engine::Failure("Type mismatch") when it is not one.
int settingToInt(const QString &text);
// Converts a stored text to a Boolean: "True"/"False" in any case, or a number (0 is false);
// throws engine::Failure("Type mismatch") otherwise.
bool settingToBool(const QString &text);

} // namespace platform
