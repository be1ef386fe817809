#pragma once

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QObject;

namespace platform {

class SettingsWriter;

// The application name and the section that every setting of the program lives under.
inline const QString settingsApplication = QStringLiteral("Tarnwick");
inline const QString settingsSection = QStringLiteral("Lumbrex");

// The per-user store of named text values. Every value is text.
class SettingsStore {
public:
    // Hears of a write that failed after writeSetting returned: the first key of the write
    // and what went wrong.
    using FailureHandler = std::function<void(const QString &key, const std::string &description)>;

    virtual ~SettingsStore() = default;
    // Returns the stored text, or the default when the key is absent.
    virtual QString readSetting(const QString &application, const QString &section,
                                const QString &key, const QString &defaultValue) = 0;
    // Stores the text, so that it reads back at once; throws engine::Failure when it cannot.
    // A store that writes its file later reports a failure then to the failure handler.
    virtual void writeSetting(const QString &application, const QString &section,
                              const QString &key, const QString &value) = 0;
    // Sets what hears of failed writes, on the thread that made the store; none clears it.
    virtual void setFailureHandler(FailureHandler handler) { (void)handler; }
    // Returns once every value stored so far is on the disk or its write has failed.
    virtual void flush() {}
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
// ($XDG_CONFIG_HOME or ~/.config); the section is the INI group. The file is shared with
// other programs: a write changes only the bytes of the values it sets. Values are read from
// the file once and kept in memory; writes go to the file from a worker thread, a burst of
// them as one write, and a failed one is told to the failure handler (once, until a write
// succeeds again). A link to a regular file is written through; a path that is (or links to)
// a folder, FIFO, socket or device is never opened: the first read or write then fails, and
// the values live in memory.
class IniSettingsStore : public SettingsStore {
public:
    // Uses the given folder instead of the user's configuration folder when not empty.
    explicit IniSettingsStore(const QString &folder = QString());
    // Writes what is pending and waits for it.
    ~IniSettingsStore() override;
    QString readSetting(const QString &application, const QString &section, const QString &key,
                        const QString &defaultValue) override;
    void writeSetting(const QString &application, const QString &section, const QString &key,
                      const QString &value) override;
    void setFailureHandler(FailureHandler handler) override;
    // Writes what is pending and waits for it; then tells the failure handler of what
    // failed, or throws engine::Failure for it when there is no handler.
    void flush() override;
    // Returns the path of the file that holds an application's values.
    QString filePath(const QString &application) const;

private:
    struct File {
        std::map<QString, std::map<QString, QString>> sections; // as read, and as written since
        std::string notRegular;                                 // what stands there instead
        bool damaged = false;
        std::string told; // the failure last told of, until a write succeeds
    };

    // Returns a section's values, reading them from the file the first time.
    std::map<QString, QString> &section(File &file, const QString &path, const QString &name);
    // Tells of a failure once; returns false when it was told already.
    bool tell(File &file, const std::string &failure);
    void takeOutcomes(std::string *untold);

    QString m_folder;
    std::map<QString, File> m_files; // by path
    FailureHandler m_failureHandler;
    std::unique_ptr<QObject> m_receiver; // takes the writer's news on the store's thread
    std::unique_ptr<SettingsWriter> m_writer;
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
