// The main window's start-up steps.

#include "filelist/SampleFiles.h"
#include "platform/FileSystem.h"
#include "platform/ModuleNames.h"
#include "platform/SettingsStore.h"
#include "results/ResultsView.h"
#include "run/ModeTable.h"
#include "shell/LinesDialog.h"
#include "shell/MainWindow.h"
#include "shell/Pointers.h"
#include "shell/ReportView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QRadioButton>

namespace shell {

namespace {

const QString &application = platform::settingsApplication;
const QString &section = platform::settingsSection;

} // namespace

QString MainWindow::programFolderFile(const QString &name) const
{
    return QDir(m_programFolder).filePath(name);
}

void MainWindow::applySkin(const QString &file)
{
    useButtonFaceBackground(*this);
    QFile skin(file);
    if (!skin.open(QIODevice::ReadOnly | QIODevice::Text))
        throw engine::Failure("Permission denied: " + file.toStdString());
    const QString sheet = QString::fromUtf8(skin.readAll());
    setStyleSheet(sheet);
}

void MainWindow::loadHandPointer(const QString &file)
{
    m_handPointer = loadCursorFile(file);
}

void MainWindow::startUp()
{
    engine::Steps steps(m_report, platform::mainWindowModule, "Form_Load");
    platform::SettingsStore &store = *m_services.settings;
    const auto read = [&](const QString &key, const QString &fallback) {
        return store.readSetting(application, section, key, fallback);
    };

    const QString skin = programFolderFile(QStringLiteral("x/o.cjs"));
    steps.step(100, [&] {
        if (m_services.fileSystem->fileExists(skin))
            applySkin(skin);
    });
    const QString hand = programFolderFile(QStringLiteral("HAND-M.CUR"));
    if (steps.test(102, [&] { return m_services.fileSystem->fileExists(hand); }))
        steps.step(104, [&] { loadHandPointer(hand); });
    if (steps.test(108,
                   [&] { return read(filelist::SampleFiles::snapshotKey, QString()).isEmpty(); }))
        steps.step(108, [&] {
            if (recordSampleFiles)
                recordSampleFiles();
        });
    steps.step(130, [&] {
        setWindowTitle(QStringLiteral("Lumbrex"));
        setWindowIcon(programIcon());
        m_applicationTitle = applicationTitleFor(QStringLiteral("Lumbrex"));
    });
    // Each list has one column, designed 7,000 twips wide.
    steps.step(132, [&] { m_files.setHeader(QStringLiteral("File(s)")); });
    steps.step(134, [&] { filesList->header()->resizeSection(0, 7000 / 15); });
    steps.step(136, [&] { m_results.setHeader(results::resultsHeader); });
    steps.step(138, [&] { resultsList->header()->resizeSection(0, 7000 / 15); });
    {
        // Filling the list selects its first entry in Qt; that is no pick to store.
        const QSignalBlocker block(modeList);
        for (int i = 0; i < run::modeCaptions().size(); ++i)
            steps.step(140 + 2 * i, [&] { modeList->addItem(run::modeCaptions().at(i)); });
    }
    restoreOptions(steps);
}

void MainWindow::restoreOptions(engine::Steps &steps)
{
    platform::SettingsStore &store = *m_services.settings;
    const auto read = [&](const QString &key, const QString &fallback) {
        return store.readSetting(application, section, key, fallback);
    };
    steps.step(168, [&] { searchBox->setText(read(searchBox->objectName(), QString())); });
    // Restoring a check box is no change to store: the value came from the store.
    const auto restoreCheck = [&](QCheckBox *box, const QString &fallback) {
        const int value = platform::settingToInt(read(box->objectName(), fallback));
        if (value != 0 && value != 1)
            throw engine::Failure("Invalid property value");
        const QSignalBlocker quiet(box);
        box->setChecked(value == 1);
    };
    steps.step(170, [&] {
        restoreCheck(matchCaseBox, QString::number(matchCaseBox->isChecked() ? 1 : 0));
    });
    steps.step(172, [&] { restoringOptions = true; });
    steps.step(174, [&] { m_linesDialogClosedWithClose = false; });
    const auto restoreOption = [&](QRadioButton *option, const QString &fallback) {
        // Selecting stores all three options, as a user's selection does.
        if (platform::settingToBool(read(option->objectName(), fallback)))
            option->setChecked(true);
        else
            clearDisplayOption(option);
    };
    steps.step(176, [&] { restoreOption(lineOnlyOption, QStringLiteral("0")); });
    steps.step(178, [&] { restoreOption(fileAndLineOption, QStringLiteral("1")); });
    steps.step(180, [&] { restoreOption(fileOnlyOption, QStringLiteral("0")); });
    steps.step(182, [&] { restoreCheck(oneLineBox, QStringLiteral("0")); });
    steps.step(184, [&] {
        const int position =
            platform::settingToInt(read(modeList->objectName(), QStringLiteral("0")));
        // A position the list cannot take keeps the first mode selected.
        if (position < -1 || position >= modeList->count())
            throw engine::Failure("Invalid property value");
        modeList->setCurrentIndex(position);
        modeChosen();
    });
    steps.step(186, [&] { restoreCheck(readAsWindows1252Box, QStringLiteral("0")); });
    steps.step(187, [&] { restoreCheck(regexBox, QStringLiteral("0")); });
    steps.step(188, [&] { restoringOptions = false; });
    steps.step(189, [&] {
        restoreCheck(lineNumbersBox, QStringLiteral("0"));
        resultsList->setLineNumbersShown(lineNumbersBox->isChecked());
    });
}

} // namespace shell
