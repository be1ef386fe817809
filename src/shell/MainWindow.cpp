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
#include <new>

namespace shell {

namespace {

const QString &application = platform::settingsApplication;
const QString &section = platform::settingsSection;

constexpr qint64 kScreenIntervalMs = 50;
// What is held back for the error report and a save once the rows have taken the rest;
// the views' own room for every row (8 bytes each) comes on top.
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
}

MainWindow::~MainWindow()
{
    if (m_form2)
        delete m_form2.data();
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

    auto buttonRow = [&](QVBoxLayout *column, QPushButton *a, QPushButton *b) {
        auto *row = new QHBoxLayout;
        row->setSpacing(px(120));
        row->addWidget(a, 1);
        row->addWidget(b, 1);
        column->addLayout(row);
    };

    // Left column: help, the input file list and its buttons, the search text, the modes.
    PushButton4 = makeButton("PushButton4", QStringLiteral("Help"), client);
    left->addWidget(PushButton4);
    ListView1 = makeListView("ListView1", &m_files,
                             QStringLiteral("Drag and drop files here. Double-click item to "
                                            "remove it. Move | line to right and out of window "
                                            "to reveal full names."),
                             client);
    ListView1->setAccessibleName(QStringLiteral("File(s)"));
    left->addWidget(ListView1, 1);
    PushButton6 = makeButton("PushButton6", QStringLiteral("Add File(s)"), client);
    PushButton1 = makeButton("PushButton1", QStringLiteral("Add All File(s) In Folder"), client);
    buttonRow(left, PushButton6, PushButton1);
    PushButton7 = makeButton("PushButton7", QStringLiteral("Clear List"), client);
    PushButton8 = makeButton("PushButton8", QStringLiteral("Load Sample/Example Files"), client);
    buttonRow(left, PushButton7, PushButton8);
    PushButton10 =
        makeButton("PushButton10", QStringLiteral("Remove Results Containing X"), client);
    PushButton11 =
        makeButton("PushButton11", QStringLiteral("Remove Results Not Containing X"), client);
    buttonRow(left, PushButton10, PushButton11);

    Frame2 = new QGroupBox(QStringLiteral("Search Word/Words"), client);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setAccessibleName(Frame2->title());
    Frame2->installEventFilter(this);
    Frame2->setMouseTracking(true);
    auto *frame2Layout = new QVBoxLayout(Frame2);
    auto *searchRow = new QHBoxLayout;
    Text1 = new QLineEdit(Frame2);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("Search Word/Words"));
    PushButton5 = makeButton("PushButton5", QStringLiteral("?"), Frame2);
    PushButton5->setFixedWidth(px(495));
    searchRow->addWidget(Text1, 1);
    searchRow->addWidget(PushButton5);
    frame2Layout->addLayout(searchRow);
    m_searchChecks = new QGridLayout;
    m_searchChecks->setContentsMargins(0, 0, 0, 0);
    m_searchChecks->setVerticalSpacing(0);
    frame2Layout->addLayout(m_searchChecks);
    Check1 = new QCheckBox(QStringLiteral("Match Case"), Frame2);
    Check1->setObjectName(QStringLiteral("Check1"));
    addSearchCheck(Check1);
    Check4 = new QCheckBox(QStringLiteral("Regular expression"), Frame2);
    Check4->setObjectName(QStringLiteral("Check4"));
    Check4->setToolTip(QStringLiteral(
        "Take the search text as a regular expression (PCRE2), matched within each line, "
        "for example:\nerror|warn\n^\\d{4}-\\d\\d-\\d\\d"));
    addSearchCheck(Check4);
    Check3 = new QCheckBox(QStringLiteral("Read every file as Windows-1252 with CR LF line ends"),
                           Frame2);
    Check3->setObjectName(QStringLiteral("Check3"));
    Check3->setAccessibleName(Check3->text());
    Check3->setToolTip(QStringLiteral(
        "Off: each file is read in its own encoding (UTF-8, UTF-16 with a byte-order mark, "
        "else Windows-1252) with its own line ends (LF or CR LF).\nOn: every file is read "
        "byte by byte as Windows-1252, and lines end only at CR LF."));
    // The long caption takes a row of its own, below the options of the search text itself.
    Check3->setAccessibleName(Check3->text());
    m_searchChecks->addWidget(Check3, 1, 0, 1, 2);
    left->addWidget(Frame2);

    Frame1 = new QGroupBox(QStringLiteral("Extraction Options"), client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setAccessibleName(Frame1->title());
    Frame1->installEventFilter(this);
    Frame1->setMouseTracking(true);
    auto *frame1Layout = new QVBoxLayout(Frame1);
    Combo1 = new QComboBox(Frame1);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Combo1->setMinimumContentsLength(20);
    frame1Layout->addWidget(Combo1);
    left->addWidget(Frame1);

    // Right column: display options, Start/Stop, progress, results and their buttons.
    Frame5 = new QGroupBox(QStringLiteral("Display Option"), client);
    Frame5->setObjectName(QStringLiteral("Frame5"));
    Frame5->setAccessibleName(Frame5->title());
    Frame5->installEventFilter(this);
    Frame5->setMouseTracking(true);
    auto *frame5Layout = new QGridLayout(Frame5);
    frame5Layout->setContentsMargins(px(120), px(60), px(120), px(60));
    frame5Layout->setVerticalSpacing(0);
    Option2 = new QRadioButton(QStringLiteral("Show filename and line in results"), Frame5);
    Option1 = new QRadioButton(QStringLiteral("Show line only in results"), Frame5);
    Option3 = new QRadioButton(QStringLiteral("Show filename only in results"), Frame5);
    Check2 = new QCheckBox(QStringLiteral("Put results all on one line in "), Frame5);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option2->setObjectName(QStringLiteral("Option2"));
    Option3->setObjectName(QStringLiteral("Option3"));
    Check2->setObjectName(QStringLiteral("Check2"));
    // The three are one exclusive group of option buttons (their shared parent makes it);
    // the store may still hold "none selected", which clearDisplayOption() restores.
    for (QRadioButton *option : {Option1, Option2, Option3})
        option->setAccessibleName(option->text());
    Check2->setAccessibleName(Check2->text());
    frame5Layout->addWidget(Option2, 0, 0);
    frame5Layout->addWidget(Check2, 0, 1);
    frame5Layout->addWidget(Option1, 1, 0);
    frame5Layout->addWidget(Option3, 2, 0);
    // A wider frame keeps the one-line box beside the first option.
    frame5Layout->setColumnStretch(2, 1);
    right->addWidget(Frame5);

    PushButton3 = makeButton("PushButton3", run::startCaption, client);
    right->addWidget(PushButton3);
    ProgressBar1 = new CaptionProgressBar(client);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setCaption(run::idleProgressText);
    ProgressBar1->setFixedHeight(px(510));
    right->addWidget(ProgressBar1);

    ListView2 = makeListView("ListView2", &m_results,
                             QStringLiteral("Double-click item to remove it. Move | line to "
                                            "right and out of window to reveal full names."),
                             client);
    ListView2->setAccessibleName(QStringLiteral("Results"));
    ListView2->installEventFilter(this);
    right->addWidget(ListView2, 1);
    PushButton2 = makeButton("PushButton2", QStringLiteral("Save Results As Text File"), client);
    PushButton12 = makeButton("PushButton12", QStringLiteral("Save Results As Excel File"), client);
    buttonRow(right, PushButton2, PushButton12);
    PushButton18 = makeButton("PushButton18", QStringLiteral("Copy Results To Clipboard"), client);
    PushButton9 = makeButton("PushButton9", QStringLiteral("Clear List"), client);
    buttonRow(right, PushButton18, PushButton9);
    PushButton19 =
        makeButton("PushButton19", QStringLiteral("Remove Results Containing X"), client);
    PushButton20 =
        makeButton("PushButton20", QStringLiteral("Remove Results Not Containing X"), client);
    buttonRow(right, PushButton19, PushButton20);

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
    connect(PushButton3, &QPushButton::clicked, this, [this] {
        // A new run empties the results that a save, copy, export or filter is reading.
        if (m_resultsInUse > 0 && !m_run->running())
            return;
        m_run->PushButton3_Click();
    });
    connect(PushButton4, &QPushButton::clicked, this, [this] {
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
    connect(PushButton5, &QPushButton::clicked, this, [this] {
        engine::Steps steps(m_report, platform::mainWindowModule, "PushButton5_Click");
        steps.step(100, [&] {
            showMessage(QStringLiteral("A search word or search words can be any set of "
                                       "characters. Here are some examples of what you can "
                                       "write here:\r\na\r\npeter\r\nt was on\r\nDiagram #2"
                                       "\r\nWith \"Regular expression\" ticked, a pattern:"
                                       "\r\nerror|warn\r\n^\\d{4}-\\d\\d-\\d\\d"));
        });
    });
    connect(Text1, &QLineEdit::textChanged, this, [this](const QString &text) {
        writeOption(Text1->objectName(), text, "Text1_Change");
    });
    // Every change is stored, whether it came from the mouse, the keyboard or an
    // accessibility action, so the handlers follow the state rather than clicks.
    connect(Check1, &QCheckBox::toggled, this, [this](bool checked) {
        writeOption(Check1->objectName(), QString::number(checked ? 1 : 0), "Check1_Click");
    });
    connect(Check4, &QCheckBox::toggled, this, [this](bool checked) {
        writeOption(Check4->objectName(), QString::number(checked ? 1 : 0), "Check4_Click");
    });
    connect(Check3, &QCheckBox::toggled, this, [this](bool checked) {
        writeOption(Check3->objectName(), QString::number(checked ? 1 : 0), "Check3_Click");
    });
    connect(Check2, &QCheckBox::toggled, this, [this](bool checked) {
        writeOption(Check2->objectName(), QString::number(checked ? 1 : 0), "Check2_Click");
    });
    for (QRadioButton *option : {Option1, Option2, Option3})
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
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this](int index) {
        writeOption(Combo1->objectName(), QString::number(index), "Combo1_Change");
    });
    connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Click(); });
}

void MainWindow::showMessage(const QString &text)
{
    m_services.prompts->message(text, m_applicationTitle, platform::Icon::None);
}

void MainWindow::writeOption(const QString &key, const QString &value, const char *procedure)
{
    try {
        m_services.settings->WriteSetting(application, section, key, value);
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
    QRadioButton *stop = Option2;
    for (QRadioButton *option : {Option2, Option1, Option3})
        if (option->isChecked())
            stop = option;
    for (QRadioButton *option : {Option2, Option1, Option3})
        option->setFocusPolicy(option == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void MainWindow::writeDisplayOptions()
{
    const auto state = [](QRadioButton *option) {
        return option->isChecked() ? QStringLiteral("True") : QStringLiteral("False");
    };
    writeOption(Option1->objectName(), state(Option1), "Option1_Click");
    writeOption(Option2->objectName(), state(Option2), "Option2_Click");
    writeOption(Option3->objectName(), state(Option3), "Option3_Click");
}

void MainWindow::Combo1_Click()
{
    engine::Steps steps(m_report, platform::mainWindowModule, "Combo1_Click");
    steps.step(100, [&] {
        m_services.settings->WriteSetting(application, section, Combo1->objectName(),
                                          QString::number(Combo1->currentIndex()));
    });
    if (steps.test(102, [&] { return Combo1->currentText().contains(modeCaptions().at(0)); }))
        if (steps.test(104, [&] { return !onLoad; }))
            steps.step(106, [&] { showForm2(); });
}

LinesDialog &MainWindow::form2()
{
    if (!m_form2)
        m_form2 = new LinesDialog(*this);
    return *m_form2;
}

bool MainWindow::form2Prepared() const
{
    return !m_form2.isNull();
}

void MainWindow::form2Discarded()
{
    m_form2 = nullptr;
}

void MainWindow::showForm2()
{
    form2().showModal();
}

QString MainWindow::startButtonCaption() const
{
    return PushButton3->text();
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
    PushButton3->setText(caption);
    PushButton3->setAccessibleName(caption);
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
    if (m_resultsOutOfMemory)
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

bool MainWindow::holdSpareMemory()
{
    // The views' room grows by doubling, at once; holding it back before it is needed means
    // the rows already collected can always be shown once memory runs out.
    const size_t needed = size_t(m_results.count()) * 8 + kSpareMemoryBytes;
    if (needed <= m_spareBytes)
        return true;
    m_spareMemory.reset();
    const size_t wanted = size_t(m_results.count()) * 16 + kSpareMemoryBytes;
    m_spareMemory.reset(new (std::nothrow) char[wanted]);
    m_spareBytes = m_spareMemory ? wanted : 0;
    return m_spareMemory != nullptr;
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
    return Text1->text();
}

QString MainWindow::modeText() const
{
    return Combo1->currentText();
}

int MainWindow::matchCaseValue() const
{
    return Check1->isChecked() ? 1 : 0;
}

int MainWindow::regexValue() const
{
    return Check4->isChecked() ? 1 : 0;
}

int MainWindow::readAsWindows1252Value() const
{
    return Check3->isChecked() ? 1 : 0;
}

QStringList MainWindow::filePaths() const
{
    return m_files.texts();
}

int MainWindow::oneLineValue() const
{
    return Check2->isChecked() ? 1 : 0;
}

run::DisplayOption MainWindow::displayOption() const
{
    if (Option1->isChecked())
        return run::DisplayOption::LineOnly;
    if (Option2->isChecked())
        return run::DisplayOption::FileAndLine;
    if (Option3->isChecked())
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
    ProgressBar1->setValue(m_progressValue);
    ProgressBar1->setCaption(m_progressText);
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

void MainWindow::appendResult(QString row)
{
    appendResult(QString(), row);
}

void MainWindow::appendResult(const QString &prefix, QStringView text)
{
    appendGuarded([&] { m_results.appendDeferred(prefix, text, true); });
}

void MainWindow::appendResultWindows1252(const QString &prefix, std::string_view bytes)
{
    appendGuarded([&] { m_results.appendDeferredWindows1252(prefix, bytes, true); });
}

void MainWindow::appendGuarded(const std::function<void()> &append)
{
    if (!m_resultsOutOfMemory) {
        try {
            if (holdSpareMemory()) {
                append();
                return;
            }
        } catch (const std::bad_alloc &) {
        }
        resultsOutOfMemory();
    }
    // The rows so far stay; the run reports the failure in the step that appended and stops.
    m_resultsOutOfMemoryReported = true;
    m_run->stopAfterFailure();
    throw engine::Failure("Out of memory");
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
            ->ReadSetting(application, section, QStringLiteral("WindowSize"), QString())
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
    // dialog goes, and nothing is saved (every option was saved when it changed).
    m_run->abort();
    if (m_sizeTimer.isActive())
        storeWindowSize();
    if (m_form2)
        m_form2->close();
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
