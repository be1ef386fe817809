#include "StoredOptions.h"

#include "cli/CommandLine.h"
#include "cli/ConsoleReporter.h"
#include "engine/Steps.h"
#include "filelist/FileAdder.h"
#include "platform/SettingsStore.h"
#include "run/ModeTable.h"
#include "run/OptionKeys.h"

namespace cli {

namespace {

// Reads stored values, saying once what is wrong with the settings file itself.
class StoredValues {
public:
    StoredValues(platform::SettingsStore &store, ConsoleReporter &reporter)
        : m_store(store), m_reporter(reporter)
    {
    }

    // Returns the value converted by convert, or fallback after a report when the stored
    // text is no value the window takes.
    template <typename Convert>
    auto read(const QString &key, const QString &absent, Convert convert,
              decltype(convert(QString())) fallback) -> decltype(convert(QString()))
    {
        QString text = absent;
        try {
            text = m_store.readSetting(platform::settingsApplication, platform::settingsSection,
                                       key, absent);
        } catch (const engine::Failure &failure) {
            if (!std::exchange(m_fileReported, true))
                m_reporter.fail(QStringLiteral("settings: %1; the defaults are taken")
                                    .arg(QString::fromStdString(failure.what())));
            text = absent;
        }
        try {
            return convert(text);
        } catch (const engine::Failure &failure) {
            m_reporter.fail(QStringLiteral("settings: the stored value of \"%1\" (\"%2\") is "
                                           "none the window takes (%3); the window's choice "
                                           "is taken instead")
                                .arg(key, text, QString::fromStdString(failure.what())));
            return fallback;
        }
    }

    // Returns a check box's stored state: 0 or 1.
    bool check(const QString &key)
    {
        return read(
            key, QStringLiteral("0"),
            [](const QString &text) {
                const int value = platform::settingToInt(text);
                if (value != 0 && value != 1)
                    throw engine::Failure("Invalid property value");
                return value == 1;
            },
            false);
    }

private:
    platform::SettingsStore &m_store;
    ConsoleReporter &m_reporter;
    bool m_fileReported = false;
};

std::optional<run::DisplayOption> storedDisplay(StoredValues &values)
{
    // The three options are restored in turn; each one stored as selected takes over from
    // those before it, and with none selected no row is shown.
    const std::pair<const QString &, run::DisplayOption> options[] = {
        {run::lineOnlyKey, run::DisplayOption::LineOnly},
        {run::fileAndLineKey, run::DisplayOption::FileAndLine},
        {run::fileOnlyKey, run::DisplayOption::FileOnly},
    };
    run::DisplayOption display = run::DisplayOption::None;
    for (const auto &[key, option] : options) {
        const QString absent =
            option == run::DisplayOption::FileAndLine ? QStringLiteral("1") : QStringLiteral("0");
        if (values.read(key, absent, platform::settingToBool, false))
            display = option;
    }
    return display;
}

} // namespace

void takeStoredOptions(platform::SettingsStore &store, Options &options, ConsoleReporter &reporter)
{
    StoredValues values(store, reporter);
    const auto text = [](const QString &stored) { return stored; };
    if (!options.searchText)
        options.searchText = values.read(run::searchTextKey, QString(), text, QString());
    if (!options.matchCase)
        options.matchCase = values.check(run::matchCaseKey);
    if (!options.regex)
        options.regex = values.check(run::regexKey);
    if (!options.oneLine)
        options.oneLine = values.check(run::oneLineKey);
    if (!options.readRule)
        options.readRule = values.check(run::readAsWindows1252Key)
                               ? engine::ReadRule::Windows1252CrLf
                               : engine::ReadRule::Automatic;
    if (!options.display)
        options.display = storedDisplay(values);
    // Only printed rows take it: the saved files are the window's, which number no row.
    if (!options.lineNumbers)
        options.lineNumbers = values.check(run::lineNumbersKey);
    if (!options.mode) {
        // A position the list cannot take leaves its first mode selected.
        options.mode = values.read(
            run::modeKey, QStringLiteral("0"),
            [](const QString &stored) {
                const int position = platform::settingToInt(stored);
                if (position < -1 || position >= run::modeNames().size())
                    throw engine::Failure("Invalid property value");
                return position;
            },
            0);
    }
    if (run::modeAt(*options.mode) == engine::Mode::ExtractSearchWordLineUpXDownY) {
        // A count the lines dialog refuses takes one line, as a start in the window does.
        if (!options.linesAbove)
            options.linesAbove =
                values.read(run::linesAboveKey, QStringLiteral("1"), run::storedLineCount, 1);
        if (!options.linesBelow)
            options.linesBelow =
                values.read(run::linesBelowKey, QStringLiteral("1"), run::storedLineCount, 1);
    }
    if (!options.scanPattern)
        options.scanPattern = values.read(filelist::extensionKey, filelist::anyExtension, text,
                                          filelist::anyExtension);
}

} // namespace cli
