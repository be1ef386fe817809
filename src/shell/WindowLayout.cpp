// How the main window lays out its controls.

#include "platform/Yield.h"
#include "run/OptionKeys.h"
#include "shell/CaptionProgressBar.h"
#include "shell/Look.h"
#include "shell/MainWindow.h"
#include "shell/MatchDelegate.h"
#include "shell/ReportView.h"
#include "shell/StatusLine.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <limits>

namespace shell {

namespace {

ReportView *makeListView(const char *name, platform::ListModel *model, const QString &tip,
                         QWidget *parent)
{
    auto *view = new ReportView(parent);
    view->setObjectName(QLatin1String(name));
    view->setModel(model);
    view->setToolTip(tip);
    return view;
}

// Puts two buttons side by side, sharing the column's width.
void buttonRow(QVBoxLayout *column, QPushButton *a, QPushButton *b)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(px(120));
    row->addWidget(a, 1);
    row->addWidget(b, 1);
    column->addLayout(row);
}

} // namespace

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
    buildFileColumn(client, left);
    buildSearchFrame(client, left);
    buildModeFrame(client, left);
    buildDisplayFrame(client, right);
    buildResultsColumn(client, right);

    // Rows reach the results list in batches, right before each event pump.
    if (auto *pump = dynamic_cast<platform::QtYield *>(m_services.yield))
        pump->addBeforePump([this] { m_sink.showWhenDue(); });
    m_progressTimer.setSingleShot(true);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] { showProgress(); });
}

QGroupBox *MainWindow::makeFrame(const QString &title, const QString &objectName, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    box->setObjectName(objectName);
    box->setAccessibleName(title);
    // Tracking lets the pointer over the frame go back to the arrow.
    box->installEventFilter(this);
    box->setMouseTracking(true);
    return box;
}

// Left column: help, the input file list and its buttons, the search text, the modes.
void MainWindow::buildFileColumn(QWidget *client, QVBoxLayout *left)
{
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
}

void MainWindow::buildSearchFrame(QWidget *client, QVBoxLayout *left)
{
    searchFrame = makeFrame(QStringLiteral("Search Word/Words"), QStringLiteral("Frame2"), client);
    auto *searchLayout = new QVBoxLayout(searchFrame);
    auto *searchRow = new QHBoxLayout;
    searchBox = new QLineEdit(searchFrame);
    searchBox->setObjectName(run::searchTextKey);
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
    matchCaseBox->setObjectName(run::matchCaseKey);
    addSearchCheck(matchCaseBox);
    regexBox = new QCheckBox(QStringLiteral("Regular expression"), searchFrame);
    regexBox->setObjectName(run::regexKey);
    regexBox->setToolTip(QStringLiteral(
        "Take the search text as a regular expression (PCRE2), matched within each line, "
        "for example:\nerror|warn\n^\\d{4}-\\d\\d-\\d\\d"));
    addSearchCheck(regexBox);
    readAsWindows1252Box = new QCheckBox(
        QStringLiteral("Read every file as Windows-1252 with CR LF line ends"), searchFrame);
    readAsWindows1252Box->setObjectName(run::readAsWindows1252Key);
    readAsWindows1252Box->setAccessibleName(readAsWindows1252Box->text());
    readAsWindows1252Box->setToolTip(QStringLiteral(
        "Off: each file is read in its own encoding (UTF-8, UTF-16 with a byte-order mark, "
        "else Windows-1252) with its own line ends (LF or CR LF).\nOn: every file is read "
        "byte by byte as Windows-1252, and lines end only at CR LF."));
    // The long caption takes a row of its own, below the options of the search text itself.
    m_searchChecks->addWidget(readAsWindows1252Box, 1, 0, 1, 2);
    left->addWidget(searchFrame);
}

void MainWindow::buildModeFrame(QWidget *client, QVBoxLayout *left)
{
    modeFrame = makeFrame(QStringLiteral("Extraction Options"), QStringLiteral("Frame1"), client);
    auto *modeLayout = new QVBoxLayout(modeFrame);
    modeList = new QComboBox(modeFrame);
    modeList->setObjectName(run::modeKey);
    modeList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    modeList->setMinimumContentsLength(20);
    modeLayout->addWidget(modeList);
    left->addWidget(modeFrame);
}

// Right column: display options, Start/Stop, progress, results and their buttons.
void MainWindow::buildDisplayFrame(QWidget *client, QVBoxLayout *right)
{
    displayFrame = makeFrame(QStringLiteral("Display Option"), QStringLiteral("Frame5"), client);
    auto *displayLayout = new QGridLayout(displayFrame);
    displayLayout->setContentsMargins(px(120), px(60), px(120), px(60));
    displayLayout->setVerticalSpacing(0);
    fileAndLineOption =
        new QRadioButton(QStringLiteral("Show filename and line in results"), displayFrame);
    lineOnlyOption = new QRadioButton(QStringLiteral("Show line only in results"), displayFrame);
    fileOnlyOption =
        new QRadioButton(QStringLiteral("Show filename only in results"), displayFrame);
    oneLineBox = new QCheckBox(QStringLiteral("Put results all on one line in "), displayFrame);
    lineOnlyOption->setObjectName(run::lineOnlyKey);
    fileAndLineOption->setObjectName(run::fileAndLineKey);
    fileOnlyOption->setObjectName(run::fileOnlyKey);
    oneLineBox->setObjectName(run::oneLineKey);
    lineNumbersBox = new QCheckBox(QStringLiteral("Show line numbers"), displayFrame);
    lineNumbersBox->setObjectName(run::lineNumbersKey);
    lineNumbersBox->setAccessibleName(lineNumbersBox->text());
    // The three are one exclusive group of option buttons (their shared parent makes it);
    // the store may still hold "none selected", which clearDisplayOption() restores.
    for (QRadioButton *option : {lineOnlyOption, fileAndLineOption, fileOnlyOption})
        option->setAccessibleName(option->text());
    oneLineBox->setAccessibleName(oneLineBox->text());
    displayLayout->addWidget(fileAndLineOption, 0, 0);
    displayLayout->addWidget(oneLineBox, 0, 1);
    displayLayout->addWidget(lineOnlyOption, 1, 0);
    displayLayout->addWidget(lineNumbersBox, 1, 1);
    displayLayout->addWidget(fileOnlyOption, 2, 0);
    // A wider frame keeps the one-line box beside the first option.
    displayLayout->setColumnStretch(2, 1);
    right->addWidget(displayFrame);
}

void MainWindow::buildResultsColumn(QWidget *client, QVBoxLayout *right)
{
    startButton = makeButton("PushButton3", startCaption, client);
    right->addWidget(startButton);
    progressBar = new CaptionProgressBar(client);
    progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar->setCaption(idleProgressText);
    progressBar->setFixedHeight(px(510));
    right->addWidget(progressBar);

    resultsList = makeListView("ListView2", &m_results,
                               QStringLiteral("Double-click item to remove it. Move | line to "
                                              "right and out of window to reveal full names."),
                               client);
    resultsList->setAccessibleName(QStringLiteral("Results"));
    resultsList->setItemDelegate(new MatchDelegate(resultsList));
    resultsList->installEventFilter(this);
    right->addWidget(resultsList, 1);
    statusLine = new StatusLine(m_results, client);
    right->addWidget(statusLine);
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
}

} // namespace shell
