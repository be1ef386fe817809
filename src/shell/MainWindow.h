#pragma once

#include "platform/ListModel.h"
#include "platform/Services.h"
#include "run/Activity.h"
#include "shell/ErrorReport.h"
#include "shell/ResultsSink.h"
#include "shell/RunControl.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace engine {
class Steps;
}

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace shell {

class CaptionProgressBar;
class LinesDialog;
class ReportView;
class StatusLine;

// Returns the product title shortened by whole words to at most 40 characters.
QString applicationTitleFor(const QString &productTitle);

// The main window (reported as "Form1"): every control, the option handlers that keep the settings,
// and the Start/Stop button's run. Widgets carry their designer names as object names.
class MainWindow : public QMainWindow {
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
    // The pointers the window shows.
    enum class Pointer {
        Arrow,
        Busy, // the hourglass of a busy program
        Hand, // the custom pointer over buttons
    };
    // Returns what the program is doing.
    run::Activity activity() const { return m_activity; }
    // Sets what the program is doing: the pointer and the Start/Stop caption follow.
    void setActivity(run::Activity activity);
    // Returns the pointer the window shows.
    Pointer pointer() const { return m_shownPointer; }
    // Returns true when the pointer shows the program busy: during a scan, a filter or an
    // export, and during a run once it has turned to its first file.
    bool showsBusyPointer() const;
    // Sets the pointer shown while the program is not busy (the arrow or the hand).
    void setHoverPointer(Pointer pointer);
    // Returns the results list as the sink of the window's runs.
    ResultsSink &resultsSink() { return m_sink; }
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
    // Adds paths given on the command line to the file list, folders scanned; set with the
    // file list's operations.
    std::function<void(const QStringList &)> addGivenPaths;

    // Returns the designed client size: the window's first and smallest size.
    QSize designedSize() const;
    // Sizes the window as the user left it (never below the designed size, never beyond the
    // available area) and centres it there.
    void placeOnScreen(const QRect &available);
    // Adds a check box that refines the search to the row under the search text.
    void addSearchCheck(QCheckBox *box);

    // Handles a pick in the mode list: stores the position and may open the lines dialog.
    void modeChosen();
    // Shows the lines-above-and-below dialog modally and returns when it has closed.
    void showLinesDialog();
    // Sets the progress bar's value (0 to 100) and the caption drawn on it; while a run goes,
    // they reach the screen at most every few dozen milliseconds.
    void setProgress(int value, const QString &text);
    // Shows a one-line note in the status line under the results, after the row counts, for
    // a quarter of a minute or until the next note.
    void showStatusNote(const QString &note);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Lays out the controls (WindowLayout.cpp).
    void buildControls();
    void buildFileColumn(QWidget *client, QVBoxLayout *left);
    void buildSearchFrame(QWidget *client, QVBoxLayout *left);
    void buildModeFrame(QWidget *client, QVBoxLayout *left);
    void buildDisplayFrame(QWidget *client, QVBoxLayout *right);
    void buildResultsColumn(QWidget *client, QVBoxLayout *right);
    QGroupBox *makeFrame(const QString &title, const QString &objectName, QWidget *parent);
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
    // Restores every stored option, the start-up's last steps.
    void restoreOptions(engine::Steps &steps);
    void applySkin(const QString &file);
    void loadHandPointer(const QString &file);
    void showPointer();

    platform::Services m_services;
    QString m_programFolder;
    ErrorReport m_report;
    QString m_applicationTitle;
    platform::ListModel m_files;
    platform::ListModel m_results;
    ResultsSink m_sink;
    std::unique_ptr<RunControl> m_runControl;
    QPointer<LinesDialog> m_linesDialog;
    std::optional<QCursor> m_handPointer;
    run::Activity m_activity = run::Activity::Idle;
    // Set once a run has turned to its first file; it shows the busy pointer from then on.
    bool m_runReachedFiles = false;
    Pointer m_hoverPointer = Pointer::Arrow;
    Pointer m_shownPointer = Pointer::Arrow;
    // Repainting the window costs milliseconds, so the progress caption reaches the screen at
    // most every few dozen milliseconds, however often the run yields.
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
    QCheckBox *lineNumbersBox = nullptr;
    QRadioButton *lineOnlyOption = nullptr;
    QRadioButton *fileAndLineOption = nullptr;
    QRadioButton *fileOnlyOption = nullptr;
    QComboBox *modeList = nullptr;
    CaptionProgressBar *progressBar = nullptr;
    StatusLine *statusLine = nullptr;

    // Returns the extraction run behind the Start/Stop button.
    run::ExtractionRun &extraction() { return m_runControl->extraction(); }
};

} // namespace shell
