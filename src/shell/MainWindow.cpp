#include "MainWindow.h"

#include "platform/ModuleNames.h"
#include "platform/Prompts.h"
#include "platform/SettingsStore.h"
#include "platform/Yield.h"
#include "shell/CaptionProgressBar.h"
#include "shell/LinesDialog.h"
#include "shell/Look.h"
#include "shell/ReportView.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>

namespace shell {

namespace {

const QString &application = platform::settingsApplication;
const QString &section = platform::settingsSection;

constexpr qint64 kScreenIntervalMs = 50;
// The most rows queued for the results list before they are shown, whatever the time: rows
// taken over a piece at a time can come faster than the screen interval shows them.
constexpr int kMostQueuedRows = 800000;
// What is held back for the error report and a save once the rows have taken the rest. The
// lists keep nothing of their own per row.
constexpr size_t kSpareMemoryBytes = size_t(40) << 20;

ReportView *makeListView(const char *name, platform::ListModel *model, const QString &tip,
                         QWidget *parent)
{
    auto *view = new ReportView(parent);
    view->setObjectName(QLatin1String(name));
    view->setModel(model);
    view->setToolTip(tip);
    return view;
}

} // namespace

const QStringList &modeCaptions()
{
    static const QStringList captions = {
        QStringLiteral(
            "Extract line which contains search word and x line(s) above and y line(s) below"),
        QStringLiteral("Extract entire line which contains search word"),
        QStringLiteral("Extract entire line which contains search word and 1 line above"),
        QStringLiteral("Extract entire line which contains search word and 2 lines above"),
        QStringLiteral("Extract entire line which contains search word and 3 lines above"),
        QStringLiteral("Extract entire line which contains search word and 1 line below"),
        QStringLiteral("Extract entire line which contains search word and 2 lines below"),
        QStringLiteral("Extract entire line which contains search word and 3 lines below"),
        QStringLiteral("Extract entire line which contains search word and 3 lines above and 1 "
                       "line below"),
        QStringLiteral("Extract entire line which contains search word and 1 line above and 1 "
                       "line below"),
        QStringLiteral("Extract 1st line below search word"),
        QStringLiteral("Extract 2nd line below search word"),
        QStringLiteral("Extract entire line which contains search word and all lines above"),
        QStringLiteral("Extract entire line which contains search word and all lines below"),
    };
    return captions;
}

QString applicationTitleFor(const QString &productTitle)
{
    QString title = productTitle;
    while (title.size() > 40) {
        const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
        title = space < 0 ? title.left(40) : title.left(space);
    }
    return title;
}

MainWindow::MainWindow(const platform::Services &services, const QString &programFolder,
                       QWidget *parent)
    : QMainWindow(parent), m_services(services), m_programFolder(programFolder),
      m_report(*services.prompts), m_applicationTitle(QStringLiteral("Lumbrex"))
{
    setObjectName(QLatin1String(platform::mainWindowModule));
    setWindowTitle(QLatin1String(platform::mainWindowModule));
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    buildControls();
    m_run = std::make_unique<run::ExtractionRun>(*this, *services.prompts, *services.settings,
                                                 *services.yield, m_report, m_applicationTitle);
    connectHandlers();
    connectFileList();
    connectResults();
    services.settings->setFailureHandler(
        [this](const QString &key, const std::string &description) {
            reportLateWriteFailure(key, description);
        });
}

MainWindow::~MainWindow()
{
    m_services.settings->setFailureHandler({});
    if (m_linesDialog)
        delete m_linesDialog.data();
}

QPushButton *MainWindow::makeButton(const char *name, const QString &caption, QWidget *parent,
                                    double pointSize)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(caption);
    button->setFont(arialBold(pointSize));
    button->setFixedHeight(px(405));
    button->setAutoDefault(false);
    button->installEventFilter(this);
    return button;
}

void MainWindow::buildControls()
{
    setFont(arialBold(9));
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->installEventFilter(this);
    setCentralWidget(client);
    // The designed client area is the smallest and the first size; a larger window gives the
    // extra room to the two lists.
    client->setMinimumSize(px(15960), px(6810));
    // Tracking lets the background take the pointer back to the arrow.
    client->setMouseTracking(true);
    // Without the skin the window shows its design colours: white behind every control.
    QPalette design = palette();
    design.setColor(QPalette::Window, Qt::white);
    setPalette(design);

    auto *columns = new QHBoxLayout(client);
    m_columns = columns;
    columns->setContentsMargins(px(120), px(120), px(120), px(120));
    columns->setSpacing(px(8040 - 120 - 7800));
    auto *left = new QVBoxLayout;
    auto *right = new QVBoxLayout;
    left->setSpacing(px(105));
    right->setSpacing(px(105));
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    // A titled frame; tracking lets the pointer over it go back to the arrow.
    auto frame = [&](const QString &title, const QString &objectName) {
        auto *box = new QGroupBox(title, client);
        box->setObjectName(objectName);
        box->setAccessibleName(title);
        box->installEventFilter(this);
        box->setMouseTracking(true);
        return box;
    };
    auto buttonRow = [&](QVBoxLayout *column, QPushButton *a, QPushButton *b) {
        auto *row = new QHBoxLayout;
        row->setSpacing(px(120));
        row->addWidget(a, 1);
        row->addWidget(b, 1);
        column->addLayout(row);
    };

    // Left column: help, the input file list and its buttons, the search text, the modes.
    helpButton = makeButton("PushButton4", QStringLiteral("Help"), client);
    left->addWidget(helpButton);
    filesList = makeListView("ListView1", &m_files,
                             QStringLiteral("Drag and drop files here. Double-click item to "
                                            "remove it. Move | line to right and out of window "
                                            "to reveal full names."),
                             client);
    filesList->setAccessibleName(QStringLiteral("File(s)"));
    left->addWidget(filesList, 1);
    addFilesButton = makeButton("PushButton6", QStringLiteral("Add File(s)"), client);
    addFolderButton =
        makeButton("PushButton1", QStringLiteral("Add All File(s) In Folder"), client);
    buttonRow(left, addFilesButton, addFolderButton);
    clearFilesButton = makeButton("PushButton7", QStringLiteral("Clear List"), client);
    loadSamplesButton =
        makeButton("PushButton8", QStringLiteral("Load Sample/Example Files"), client);
    buttonRow(left, clearFilesButton, loadSamplesButton);
    removeFilesContainingButton =
        makeButton("PushButton10", QStringLiteral("Remove Results Containing X"), client);
    removeFilesNotContainingButton =
        makeButton("PushButton11", QStringLiteral("Remove Results Not Containing X"), client);
    buttonRow(left, removeFilesContainingButton, removeFilesNotContainingButton);

    searchFrame = frame(QStringLiteral("Search Word/Words"), QStringLiteral("Frame2"));
    auto *searchLayout = new QVBoxLayout(searchFrame);
    auto *searchRow = new QHBoxLayout;
    searchBox = new QLineEdit(searchFrame);
    searchBox->setObjectName(QStringLiteral("Text1"));
    searchBox->setAccessibleName(QStringLiteral("Search Word/Words"));
    // A line edit cuts what is typed, pasted or restored at 32,767 characters unless told
    // otherwise, and a search text cut short finds lines that lack the rest of it.
    searchBox->setMaxLength(std::numeric_limits<int>::max());
    searchHelpButton = makeButton("PushButton5", QStringLiteral("?"), searchFrame);
    searchHelpButton->setFixedWidth(px(495));
    searchRow->addWidget(searchBox, 1);
    searchRow->addWidget(searchHelpButton);
    searchLayout->addLayout(searchRow);
    m_searchChecks = new QGridLayout;
    m_searchChecks->setContentsMargins(0, 0, 0, 0);
    m_searchChecks->setVerticalSpacing(0);
    searchLayout->addLayout(m_searchChecks);
    matchCaseBox = new QCheckBox(QStringLiteral("Match Case"), searchFrame);
    matchCaseBox->setObjectName(QStringLiteral("Check1"));
    addSearchCheck(matchCaseBox);
    regexBox = new QCheckBox(QStringLiteral("Regular expression"), searchFrame);
    regexBox->setObjectName(QStringLiteral("Check4"));
    regexBox->setToolTip(QStringLiteral(
        "Take the search text as a regular expression (PCRE2), matched within each line, "
        "for example:\nerror|warn\n^\\d{4}-\\d\\d-\\d\\d"));
    addSearchCheck(regexBox);
    readAsWindows1252Box = new QCheckBox(
        QStringLiteral("Read every file as Windows-1252 with CR LF line ends"), searchFrame);
    readAsWindows1252Box->setObjectName(QStringLiteral("Check3"));
    readAsWindows1252Box->setAccessibleName(readAsWindows1252Box->text());
    readAsWindows1252Box->setToolTip(QStringLiteral(
        "Off: each file is read in its own encoding (UTF-8, UTF-16 with a byte-order mark, "
        "else Windows-1252) with its own line ends (LF or CR LF).\nOn: every file is read "
        "byte by byte as Windows-1252, and lines end only at CR LF."));
    // The long caption takes a row of its own, below the options of the search text itself.
    m_searchChecks->addWidget(readAsWindows1252Box, 1, 0, 1, 2);
    left->addWidget(searchFrame);

    modeFrame = frame(QStringLiteral("Extraction Options"), QStringLiteral("Frame1"));
    auto *modeLayout = new QVBoxLayout(modeFrame);
    modeList = new QComboBox(modeFrame);
    modeList->setObjectName(QStringLiteral("Combo1"));
    modeList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    modeList->setMinimumContentsLength(20);
    modeLayout->addWidget(modeList);
    left->addWidget(modeFrame);

    // Right column: display options, Start/Stop, progress, results and their buttons.
    displayFrame = frame(QStringLiteral("Display Option"), QStringLiteral("Frame5"));
    auto *displayLayout = new QGridLayout(displayFrame);
    displayLayout->setContentsMargins(px(120), px(60), px(120), px(60));
    displayLayout->setVerticalSpacing(0);
    fileAndLineOption =
        new QRadioButton(QStringLiteral("Show filename and line in results"), displayFrame);
    lineOnlyOption = new QRadioButton(QStringLiteral("Show line only in results"), displayFrame);
    fileOnlyOption =
        new QRadioButton(QStringLiteral("Show filename only in results"), displayFrame);
    oneLineBox = new QCheckBox(QStringLiteral("Put results all on one line in "), displayFrame);
    lineOnlyOption->setObjectName(QStringLiteral("Option1"));
    fileAndLineOption->setObjectName(QStringLiteral("Option2"));
    fileOnlyOption->setObjectName(QStringLiteral("Option3"));
    oneLineBox->setObjectName(QStringLiteral("Check2"));
    // The three are one exclusive group of option buttons (their shared parent makes it);
    // the store may still hold "none selected", which clearDisplayOption() restores.
    for (QRadioButton *option : {lineOnlyOption, fileAndLineOption, fileOnlyOption})
        option->setAccessibleName(option->text());
    oneLineBox->setAccessibleName(oneLineBox->text());
    displayLayout->addWidget(fileAndLineOption, 0, 0);
    displayLayout->addWidget(oneLineBox, 0, 1);
    displayLayout->addWidget(lineOnlyOption, 1, 0);
    displayLayout->addWidget(fileOnlyOption, 2, 0);
    // A wider frame keeps the one-line box beside the first option.
    displayLayout->setColumnStretch(2, 1);
    right->addWidget(displayFrame);

    startButton = makeButton("PushButton3", run::startCaption, client);
    right->addWidget(startButton);
    progressBar = new CaptionProgressBar(client);
    progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar->setCaption(run::idleProgressText);
    progressBar->setFixedHeight(px(510));
    right->addWidget(progressBar);

    resultsList = makeListView("ListView2", &m_results,
                               QStringLiteral("Double-click item to remove it. Move | line to "
                                              "right and out of window to reveal full names."),
                               client);
    resultsList->setAccessibleName(QStringLiteral("Results"));
    resultsList->installEventFilter(this);
    right->addWidget(resultsList, 1);
    saveTextButton = makeButton("PushButton2", QStringLiteral("Save Results As Text File"), client);
    saveSpreadsheetButton =
        makeButton("PushButton12", QStringLiteral("Save Results As Excel File"), client);
    buttonRow(right, saveTextButton, saveSpreadsheetButton);
    copyResultsButton =
        makeButton("PushButton18", QStringLiteral("Copy Results To Clipboard"), client);
    clearResultsButton = makeButton("PushButton9", QStringLiteral("Clear List"), client);
    buttonRow(right, copyResultsButton, clearResultsButton);
    removeResultsContainingButton =
        makeButton("PushButton19", QStringLiteral("Remove Results Containing X"), client);
    removeResultsNotContainingButton =
        makeButton("PushButton20", QStringLiteral("Remove Results Not Containing X"), client);
    buttonRow(right, removeResultsContainingButton, removeResultsNotContainingButton);

    // Rows reach the results list in batches, right before each event pump.
    m_sinceRowsShown.start();
    if (auto *pump = dynamic_cast<platform::QtYield *>(m_services.yield))
        pump->addBeforePump([this] {
            if (m_sinceRowsShown.elapsed() >= kScreenIntervalMs) {
                showQueuedResults();
                m_sinceRowsShown.restart();
            }
        });
    m_progressTimer.setSingleShot(true);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] { showProgress(); });
}

void MainWindow::connectHandlers()
{
    connect(startButton, &QPushButton::clicked, this, [this] {
        // A new run empties the results that a save, copy, export or filter is reading.
        if (m_resultsInUse > 0 && !m_run->running())
            return;
        m_run->startOrStop();
    });
    connect(helpButton, &QPushButton::clicked, this, [this] {
        engine::Steps steps(m_report, platform::mainWindowModule, "PushButton4_Click");
        steps.step(100, [&] {
            showMessage(QStringLiteral("Please email ") + supportAddress +
                        QStringLiteral(" if you have any questions or need features added.") +
                        QStringLiteral("\r\n\r\nEach file is read in its own encoding (UTF-8, "
                                       "UTF-16 with a byte-order mark, else Windows-1252) and "
                                       "with its own line ends (LF or CR LF). Tick \"Read every "
                                       "file as Windows-1252 with CR LF line ends\" to read "
                                       "every file byte by byte with lines ending at CR LF.") +
                        QStringLiteral("\r\n\r\nTick \"Regular expression\" to take the "
                                       "search text as a regular expression in the syntax of "
                                       "PCRE2 (as grep -P and ripgrep take it): a line is "
                                       "extracted when the expression matches within it, ^ and "
                                       "$ anchoring at the line's start and end, and Match Case "
                                       "off ignores case."));
        });
    });
    connect(searchHelpButton, &QPushButton::clicked, this, [this] {
        engine::Steps steps(m_report, platform::mainWindowModule, "PushButton5_Click");
        steps.step(100, [&] {
            showMessage(QStringLiteral("A search word or search words can be any set of "
                                       "characters. Here are some examples of what you can "
                                       "write here:\r\na\r\npeter\r\nt was on\r\nDiagram #2"
                                       "\r\nWith \"Regular expression\" ticked, a pattern:"
                                       "\r\nerror|warn\r\n^\\d{4}-\\d\\d-\\d\\d"));
        });
    });
    connect(searchBox, &QLineEdit::textChanged, this, [this](const QString &text) {
        writeOption(searchBox->objectName(), text, "Text1_Change");
    });
    // Every change is stored, whether it came from the mouse, the keyboard or an
    // accessibility action, so the handlers follow the state rather than clicks.
    connect(matchCaseBox, &QCheckBox::toggled, this, [this](bool checked) {
        writeOption(matchCaseBox->objectName(), QString::number(checked ? 1 : 0), "Check1_Click");
    });
    connect(regexBox, &QCheckBox::toggled, this, [this](bool checked) {
        writeOption(regexBox->objectName(), QString::number(checked ? 1 : 0), "Check4_Click");
    });
    connect(readAsWindows1252Box, &QCheckBox::toggled, this, [this](bool checked) {
        writeOption(readAsWindows1252Box->objectName(), QString::number(checked ? 1 : 0),
                    "Check3_Click");
    });
    connect(oneLineBox, &QCheckBox::toggled, this, [this](bool checked) {
        writeOption(oneLineBox->objectName(), QString::number(checked ? 1 : 0), "Check2_Click");
    });
    for (QRadioButton *option : {lineOnlyOption, fileAndLineOption, fileOnlyOption})
        connect(option, &QRadioButton::toggled, this, [this](bool checked) {
            // Selecting one option clears the others; the newly selected one stores all three.
            if (checked)
                writeDisplayOptions();
            updateOptionTabStop();
        });
    updateOptionTabStop();
    m_sizeTimer.setSingleShot(true);
    m_sizeTimer.setInterval(300);
    connect(&m_sizeTimer, &QTimer::timeout, this, [this] { storeWindowSize(); });
    connect(modeList, &QComboBox::currentIndexChanged, this, [this](int index) {
        writeOption(modeList->objectName(), QString::number(index), "Combo1_Change");
    });
    connect(modeList, &QComboBox::activated, this, [this] { modeChosen(); });
}

void MainWindow::showMessage(const QString &text)
{
    m_services.prompts->message(text, m_applicationTitle, platform::Icon::None);
}

void MainWindow::writeOption(const QString &key, const QString &value, const char *procedure)
{
    m_writeProcedures.insert(key, procedure);
    try {
        m_services.settings->writeSetting(application, section, key, value);
        if (m_lastFailedWrite == key)
            m_lastFailedWrite.clear();
    } catch (const engine::Failure &failure) {
        // One report per key until a write of it succeeds again: the search box writes on
        // every keystroke.
        if (m_lastFailedWrite == key)
            return;
        m_lastFailedWrite = key;
        m_report.reportError(engine::errorTag(platform::mainWindowModule, procedure), 100,
                             failure.what());
    }
}

void MainWindow::reportLateWriteFailure(const QString &key, const std::string &description)
{
    const char *procedure = m_writeProcedures.value(key, nullptr);
    m_report.reportError(procedure ? engine::errorTag(platform::mainWindowModule, procedure)
                                   : engine::errorTag("Main", "WriteSetting"),
                         100, description);
}

void MainWindow::addSearchCheck(QCheckBox *box)
{
    // Two to a row, so the frame stays low enough for the lists above it.
    const int at = m_searchChecks->count();
    box->setAccessibleName(box->text());
    m_searchChecks->addWidget(box, at / 2, at % 2);
}

void MainWindow::clearDisplayOption(QRadioButton *option)
{
    // An exclusive group never unchecks its selected button on its own request.
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
    updateOptionTabStop();
}

void MainWindow::updateOptionTabStop()
{
    // The group is one tab stop: its selected option, or the first one when none is selected;
    // the arrow keys move within the group.
    QRadioButton *stop = fileAndLineOption;
    for (QRadioButton *option : {fileAndLineOption, lineOnlyOption, fileOnlyOption})
        if (option->isChecked())
            stop = option;
    for (QRadioButton *option : {fileAndLineOption, lineOnlyOption, fileOnlyOption})
        option->setFocusPolicy(option == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void MainWindow::writeDisplayOptions()
{
    const auto state = [](QRadioButton *option) {
        return option->isChecked() ? QStringLiteral("True") : QStringLiteral("False");
    };
    writeOption(lineOnlyOption->objectName(), state(lineOnlyOption), "Option1_Click");
    writeOption(fileAndLineOption->objectName(), state(fileAndLineOption), "Option2_Click");
    writeOption(fileOnlyOption->objectName(), state(fileOnlyOption), "Option3_Click");
}

void MainWindow::modeChosen()
{
    engine::Steps steps(m_report, platform::mainWindowModule, "Combo1_Click");
    steps.step(100, [&] {
        m_services.settings->writeSetting(application, section, modeList->objectName(),
                                          QString::number(modeList->currentIndex()));
    });
    if (steps.test(102, [&] { return modeList->currentText().contains(modeCaptions().at(0)); }))
        if (steps.test(104, [&] { return !restoringOptions; }))
            steps.step(106, [&] { showLinesDialog(); });
}

LinesDialog &MainWindow::linesDialog()
{
    if (!m_linesDialog)
        m_linesDialog = new LinesDialog(*this);
    return *m_linesDialog;
}

bool MainWindow::linesDialogPrepared() const
{
    return !m_linesDialog.isNull();
}

void MainWindow::linesDialogDiscarded()
{
    m_linesDialog = nullptr;
}

void MainWindow::showLinesDialog()
{
    linesDialog().showModal();
}

QString MainWindow::startButtonCaption() const
{
    return startButton->text();
}

void MainWindow::setStartButtonCaption(const QString &caption)
{
    if (caption == run::stopCaption) {
        m_resultsOutOfMemory = false;
        m_resultsOutOfMemoryReported = false;
    }
    // A run that ends, or is stopped, shows every row it made; rows the views have no room
    // for are dropped rather than left where any reader would show them.
    const bool shown = showQueuedResults();
    if (!shown)
        m_results.dropDeferred();
    startButton->setText(caption);
    startButton->setAccessibleName(caption);
    if (!shown && !m_resultsOutOfMemoryReported) {
        m_resultsOutOfMemoryReported = true;
        throw engine::Failure("Out of memory");
    }
}

bool MainWindow::showQueuedResults()
{
    if (m_results.deferredCount() == 0)
        return true;
    try {
        m_results.flush();
        return true;
    } catch (const std::bad_alloc &) {
    }
    if (m_spareBytes == 0)
        return false;
    // Once more with the spare memory given back.
    resultsOutOfMemory();
    try {
        m_results.flush();
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void MainWindow::resultsOutOfMemory()
{
    m_resultsOutOfMemory = true;
    m_spareMemory.reset();
    m_spareBytes = 0;
}

bool MainWindow::holdSpareMemory(size_t more)
{
    // Showing rows first tries the room a stock view would take for them (8 bytes a row, see
    // ListModel); holding it back before it is needed means the rows already collected can
    // always be shown once memory runs out. The spare grows
    // before rows are added, and the old one stays until a bigger one is had: when memory
    // runs out, what is held still covers every row added.
    const size_t rows = size_t(m_results.count()) + more;
    const size_t needed = rows * 8 + kSpareMemoryBytes;
    if (needed <= m_spareBytes)
        return true;
    for (const size_t size : {rows * 16 + kSpareMemoryBytes, needed}) {
        if (char *bigger = new (std::nothrow) char[size]) {
            m_spareMemory.reset(bigger);
            m_spareBytes = size;
            return true;
        }
    }
    return false;
}

int MainWindow::fileCount() const
{
    return m_files.count();
}

QString MainWindow::fileAt(int i) const
{
    return m_files.text(i);
}

QString MainWindow::searchText() const
{
    return searchBox->text();
}

QString MainWindow::modeText() const
{
    return modeList->currentText();
}

int MainWindow::matchCaseValue() const
{
    return matchCaseBox->isChecked() ? 1 : 0;
}

int MainWindow::regexValue() const
{
    return regexBox->isChecked() ? 1 : 0;
}

int MainWindow::readAsWindows1252Value() const
{
    return readAsWindows1252Box->isChecked() ? 1 : 0;
}

QStringList MainWindow::filePaths() const
{
    return m_files.texts();
}

int MainWindow::oneLineValue() const
{
    return oneLineBox->isChecked() ? 1 : 0;
}

run::DisplayOption MainWindow::displayOption() const
{
    if (lineOnlyOption->isChecked())
        return run::DisplayOption::LineOnly;
    if (fileAndLineOption->isChecked())
        return run::DisplayOption::FileAndLine;
    if (fileOnlyOption->isChecked())
        return run::DisplayOption::FileOnly;
    return run::DisplayOption::None;
}

void MainWindow::setProgress(int value, const QString &text)
{
    m_progressValue = value;
    m_progressText = text;
    const bool idle = value == 0 && text == run::idleProgressText;
    if (idle || !m_sinceProgressShown.isValid() ||
        m_sinceProgressShown.elapsed() >= kScreenIntervalMs)
        showProgress();
    else if (!m_progressTimer.isActive())
        m_progressTimer.start(int(kScreenIntervalMs - m_sinceProgressShown.elapsed()));
}

void MainWindow::showProgress()
{
    m_progressTimer.stop();
    m_sinceProgressShown.start();
    progressBar->setProgress(m_progressValue, m_progressText);
}

void MainWindow::setMousePointer(int value)
{
    // A run sets the busy pointer once per file: the same pointer again is no change.
    if (value == m_pointer && value == 11)
        return;
    m_pointer = value;
    if (value == 11)
        setCursor(Qt::WaitCursor);
    else if (value == 99 && m_handPointer)
        setCursor(*m_handPointer);
    else
        setCursor(Qt::ArrowCursor);
}

// Runs on every appended row: a template, so no callable object is made for each.
template <typename Append> void MainWindow::appendGuarded(size_t rows, const Append &append)
{
    if (!m_resultsOutOfMemory) {
        try {
            if (holdSpareMemory(rows)) {
                append();
                // Rows taken over a piece at a time come faster than the views take them
                // in: a long queue is shown at once, in a stretch the next pump soon follows.
                if (m_results.deferredCount() >= kMostQueuedRows) {
                    showQueuedResults();
                    m_sinceRowsShown.restart();
                }
                return;
            }
        } catch (const std::bad_alloc &) {
        }
        // The rows so far are shown while the spare is still held; then it goes to the
        // error report.
        showQueuedResults();
        resultsOutOfMemory();
    }
    // The rows so far stay; the run reports the failure in the step that appended and stops.
    m_resultsOutOfMemoryReported = true;
    m_run->stopAfterFailure();
    throw engine::Failure("Out of memory");
}

void MainWindow::appendResult(QString row)
{
    appendResult(QString(), row);
}

void MainWindow::appendResult(const QString &prefix, QStringView text)
{
    appendGuarded(1, [&] { m_results.appendDeferred(prefix, text, true); });
}

void MainWindow::appendResultWindows1252(const QString &prefix, std::string_view bytes)
{
    appendGuarded(1, [&] { m_results.appendDeferredWindows1252(prefix, bytes, true); });
}

void MainWindow::adoptResultsWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                                         std::span<const std::string_view> rows)
{
    appendGuarded(rows.size(), [&] {
        m_results.adoptDeferredWindows1252(prefix, std::move(bytes), rows, true);
    });
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::Resize && watched == centralWidget())
        shareExtraWidth();
    if (m_pointer != 11) {
        const bool button = qobject_cast<QPushButton *>(watched) != nullptr;
        // Leaving a button always lands on something that is not this button: the
        // background, a frame or another button (whose Enter follows and sets the hand).
        if ((type == QEvent::Enter || type == QEvent::MouseMove) && button)
            setMousePointer(99);
        else if (type == QEvent::Enter || type == QEvent::MouseMove || type == QEvent::Leave)
            setMousePointer(0);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::shareExtraWidth()
{
    // Beyond the designed width, the results column takes three quarters of the extra room
    // and the file column one quarter. Stretch factors proportional to the wanted widths
    // make the layout give exactly those.
    const int designed = px(7800);
    const int extra = std::max(0, centralWidget()->width() - px(15960));
    const int left = designed + extra / 4;
    const int right = designed + extra - extra / 4;
    if (m_columns->stretch(0) != left || m_columns->stretch(1) != right) {
        m_columns->setStretch(0, left);
        m_columns->setStretch(1, right);
    }
}

QSize MainWindow::designedSize() const
{
    return QSize(px(15960), px(6810));
}

void MainWindow::placeOnScreen(const QRect &available)
{
    QSize size = designedSize();
    const QStringList stored =
        m_services.settings
            ->readSetting(application, section, QStringLiteral("WindowSize"), QString())
            .split(QLatin1Char('x'));
    if (stored.size() == 2) {
        bool wideOk = false;
        bool highOk = false;
        const QSize wanted(stored.at(0).toInt(&wideOk), stored.at(1).toInt(&highOk));
        // A stored size from a larger screen shrinks to this one; nothing goes below the
        // designed size.
        if (wideOk && highOk)
            size = wanted.boundedTo(available.size()).expandedTo(designedSize());
    }
    m_storedSize = size;
    resize(size);
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
}

void MainWindow::storeWindowSize()
{
    m_sizeTimer.stop();
    const QSize current = size();
    if (!m_storedSize.isValid() || current == m_storedSize)
        return;
    m_storedSize = current;
    writeOption(QStringLiteral("WindowSize"),
                QStringLiteral("%1x%2").arg(current.width()).arg(current.height()), "Form_Resize");
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    // A drag resizes many times a second; the size is stored once it settles.
    if (m_storedSize.isValid() && size() != m_storedSize)
        m_sizeTimer.start();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing ends the program at once: running loops stop at their next check, the
    // dialog goes, and nothing else is saved (every option was stored when it changed).
    m_run->abort();
    if (m_sizeTimer.isActive())
        storeWindowSize();
    // Options are written to the disk shortly after they change; the last ones are written
    // now, before the program can end.
    m_services.settings->flush();
    if (m_linesDialog)
        m_linesDialog->close();
    event->accept();
    if (m_pointer == 11 || m_run->running()) {
        // A long operation is still on the stack under nested event pumps; it would only
        // return to the main loop when done. Every option is already stored, and exports
        // write to a temporary file until they finish, so nothing is lost by ending now.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    QCoreApplication::exit(0);
}

} // namespace shell
