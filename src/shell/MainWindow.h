#pragma once

#include "platform/ListModel.h"
#include "platform/Services.h"
#include "run/ExtractionRun.h"
#include "run/RunView.h"
#include "shell/ErrorReport.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace shell {

class CaptionProgressBar;
class LinesDialog;
class ReportView;

// The fourteen mode captions, in the order the mode list shows them.
const QStringList &modeCaptions();

// Returns the product title shortened by whole words to at most 40 characters.
QString applicationTitleFor(const QString &productTitle);

// The main window (reported as "Form1"): every control, the option handlers that keep the settings,
// and the Start/Stop button's run. Widgets carry their designer names as object names.
class MainWindow : public QMainWindow, public run::RunView {
    Q_OBJECT
public:
    // Builds the window on the given platform seams; programFolder holds the pointer files,
    // the optional skin and the samples.
    MainWindow(const platform::Services &services, const QString &programFolder,
               QWidget *parent = nullptr);
    ~MainWindow() override;

    // Runs the start-up steps once: skin, pointer, caption, columns, modes, saved options.
    void startUp();

    // True while start-up restores the saved options; selecting a mode then opens no dialog.
    bool restoringOptions = false;
    // Set once the lines-above-and-below dialog was closed with its Close button.
    bool m_linesDialogClosedWithClose = false;

    // Returns the input file list.
    platform::ListModel &files() { return m_files; }
    // Returns the results list.
    platform::ListModel &results() { return m_results; }
    // Returns the window's mouse pointer value: 0 arrow, 11 busy, 99 custom.
    int mousePointer() const { return m_pointer; }
    // Returns the application title used by message boxes without a title of their own.
    const QString &applicationTitle() const { return m_applicationTitle; }
    // Returns the lines-above-and-below dialog, preparing it when needed.
    LinesDialog &linesDialog();
    // Returns whether the dialog is prepared (opened and not discarded since).
    bool linesDialogPrepared() const;
    // Called by the dialog when it is discarded.
    void linesDialogDiscarded();
    // Returns the error reporter every operation of the window uses.
    engine::ErrorReporter &reporter() { return m_report; }
    // Returns the path of a file in the program's folder.
    QString programFolderFile(const QString &name) const;
    // Returns the platform seams.
    const platform::Services &services() const { return m_services; }

    // Records the list of sample files at the first start; set by the sample-file loader.
    std::function<void()> recordSampleFiles;

    // Returns the designed client size: the window's first and smallest size.
    QSize designedSize() const;
    // Sizes the window as the user left it (never below the designed size, never beyond the
    // available area) and centres it there.
    void placeOnScreen(const QRect &available);
    // Adds a check box that refines the search to the row under the search text.
    void addSearchCheck(QCheckBox *box);

    // Handles a pick in the mode list: stores the position and may open the lines dialog.
    void modeChosen();

    // RunView
    QString startButtonCaption() const override;
    void setStartButtonCaption(const QString &caption) override;
    int fileCount() const override;
    QString fileAt(int i) const override;
    QString searchText() const override;
    QString modeText() const override;
    int matchCaseValue() const override;
    int oneLineValue() const override;
    int readAsWindows1252Value() const override;
    int regexValue() const override;
    QStringList filePaths() const override;
    run::DisplayOption displayOption() const override;
    void setProgress(int value, const QString &text) override;
    void setMousePointer(int value) override;
    bool linesDialogClosedWithClose() const override { return m_linesDialogClosedWithClose; }
    void showLinesDialog() override;
    void appendResult(QString row) override;
    void appendResult(const QString &prefix, QStringView text) override;
    void appendResultWindows1252(const QString &prefix, std::string_view bytes) override;
    void adoptResultsWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                                 std::span<const std::string_view> rows) override;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    QPushButton *makeButton(const char *name, const QString &caption, QWidget *parent,
                            double pointSize = 11.25);
    void connectHandlers();
    // Wires the input file list's buttons, keys, mouse and drops (FileListWiring.cpp).
    void connectFileList();
    // Wires the results list's filters and exports (ResultsWiring.cpp).
    void connectResults();
    void writeOption(const QString &key, const QString &value, const char *procedure);
    void reportLateWriteFailure(const QString &key, const std::string &description);
    void writeDisplayOptions();
    void clearDisplayOption(QRadioButton *option);
    void updateOptionTabStop();
    void shareExtraWidth();
    void storeWindowSize();
    void showMessage(const QString &text);
    void showProgress();
    void applySkin(const QString &file);
    void loadHandPointer(const QString &file);
    // Shows the queued result rows; returns false, leaving them queued, when memory is short.
    bool showQueuedResults();
    // Notes that memory ran out for results: the spare memory goes to the views and the
    // error report, and the run stops at its next row.
    void resultsOutOfMemory();
    // Holds back the spare memory for the rows there are; returns false when it can't.
    bool holdSpareMemory(size_t more);
    // Runs one append of a result row; when memory runs out, stops the run and throws the
    // failure the run reports.
    template <typename Append> void appendGuarded(size_t rows, const Append &append);

    platform::Services m_services;
    QString m_programFolder;
    ErrorReport m_report;
    QString m_applicationTitle;
    platform::ListModel m_files;
    platform::ListModel m_results;
    std::unique_ptr<run::ExtractionRun> m_run;
    QPointer<LinesDialog> m_linesDialog;
    std::optional<QCursor> m_handPointer;
    int m_pointer = 0;
    // Repainting the window costs milliseconds, so rows and the progress caption reach the
    // screen at most every few dozen milliseconds, however often the run yields.
    QElapsedTimer m_sinceRowsShown;
    QElapsedTimer m_sinceProgressShown;
    QTimer m_progressTimer;
    int m_progressValue = 0;
    QString m_progressText;
    QString m_lastFailedWrite;
    // Per key, the handler that last wrote it: a write that fails after the handler returned
    // is reported under its name.
    QHash<QString, const char *> m_writeProcedures;
    QHBoxLayout *m_columns = nullptr;
    QGridLayout *m_searchChecks = nullptr;
    // The window size last stored or restored; invalid until the window is placed.
    QSize m_storedSize;
    QTimer m_sizeTimer;
    // Set when a result row, or the views' room for it, could not be had; cleared at a start.
    bool m_resultsOutOfMemory = false;
    bool m_resultsOutOfMemoryReported = false;
    // Address space held back while rows are collected, given up when memory runs out.
    std::unique_ptr<char[]> m_spareMemory;
    size_t m_spareBytes = 0;
    // How many saves, copies, exports or filters of the results list are under way; while
    // one is, nothing else may change the list (ResultsWiring.cpp).
    int m_resultsInUse = 0;

public:
    // The controls. Each one's object name is its designer name, and an option's settings
    // key is its control's object name, so each designer name is written once, where the
    // control is made (MainWindow.cpp).
    QPushButton *addFolderButton = nullptr;
    QPushButton *saveTextButton = nullptr;
    QPushButton *startButton = nullptr;
    QPushButton *helpButton = nullptr;
    QPushButton *searchHelpButton = nullptr;
    QPushButton *addFilesButton = nullptr;
    QPushButton *clearFilesButton = nullptr;
    QPushButton *loadSamplesButton = nullptr;
    QPushButton *clearResultsButton = nullptr;
    QPushButton *removeFilesContainingButton = nullptr;
    QPushButton *removeFilesNotContainingButton = nullptr;
    QPushButton *saveSpreadsheetButton = nullptr;
    QPushButton *copyResultsButton = nullptr;
    QPushButton *removeResultsContainingButton = nullptr;
    QPushButton *removeResultsNotContainingButton = nullptr;
    ReportView *filesList = nullptr;
    ReportView *resultsList = nullptr;
    QGroupBox *modeFrame = nullptr;
    QGroupBox *searchFrame = nullptr;
    QGroupBox *displayFrame = nullptr;
    QLineEdit *searchBox = nullptr;
    QCheckBox *matchCaseBox = nullptr;
    QCheckBox *oneLineBox = nullptr;
    QCheckBox *readAsWindows1252Box = nullptr;
    QCheckBox *regexBox = nullptr;
    QRadioButton *lineOnlyOption = nullptr;
    QRadioButton *fileAndLineOption = nullptr;
    QRadioButton *fileOnlyOption = nullptr;
    QComboBox *modeList = nullptr;
    CaptionProgressBar *progressBar = nullptr;

    // Returns the extraction run behind the Start/Stop button.
    run::ExtractionRun &extraction() { return *m_run; }
};

} // namespace shell
