#include "MainWindow.h"

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
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

namespace shell {

namespace {

const QString &application = platform::settingsApplication;
const QString &section = platform::settingsSection;

constexpr qint64 kScreenIntervalMs = 50;

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
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
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
    client->setFixedSize(px(15960), px(6810));

    auto *columns = new QHBoxLayout(client);
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
    Check1 = new QCheckBox(QStringLiteral("Match Case"), Frame2);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setAccessibleName(Check1->text());
    Check4 = new QCheckBox(QStringLiteral("Regular expression"), Frame2);
    Check4->setObjectName(QStringLiteral("Check4"));
    Check4->setAccessibleName(Check4->text());
    Check4->setToolTip(QStringLiteral(
        "Take the search text as a regular expression (PCRE2), matched within each line, "
        "for example:\nerror|warn\n^\\d{4}-\\d\\d-\\d\\d"));
    auto *caseRow = new QHBoxLayout;
    caseRow->addWidget(Check1);
    caseRow->addWidget(Check4);
    caseRow->addStretch(1);
    frame2Layout->addLayout(caseRow);
    Check3 = new QCheckBox(QStringLiteral("Read every file as Windows-1252 with CR LF line ends"),
                           Frame2);
    Check3->setObjectName(QStringLiteral("Check3"));
    Check3->setAccessibleName(Check3->text());
    Check3->setToolTip(QStringLiteral(
        "Off: each file is read in its own encoding (UTF-8, UTF-16 with a byte-order mark, "
        "else Windows-1252) with its own line ends (LF or CR LF).\nOn: every file is read "
        "byte by byte as Windows-1252, and lines end only at CR LF."));
    frame2Layout->addWidget(Check3);
    left->addWidget(Frame2);

    Frame1 = new QGroupBox(QStringLiteral("Extraction Options"), client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setAccessibleName(Frame1->title());
    Frame1->installEventFilter(this);
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
    for (QRadioButton *option : {Option1, Option2, Option3}) {
        // The three stay one group, but "none selected" must be possible as in the store.
        option->setAutoExclusive(false);
        option->setAccessibleName(option->text());
    }
    Check2->setAccessibleName(Check2->text());
    frame5Layout->addWidget(Option2, 0, 0);
    frame5Layout->addWidget(Check2, 0, 1);
    frame5Layout->addWidget(Option1, 1, 0);
    frame5Layout->addWidget(Option3, 2, 0);
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
                m_results.flush();
                m_sinceRowsShown.restart();
            }
        });
    m_progressTimer.setSingleShot(true);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] { showProgress(); });
}

void MainWindow::connectHandlers()
{
    connect(PushButton3, &QPushButton::clicked, this, [this] { m_run->PushButton3_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] {
        engine::Steps steps(m_report, "Form1", "PushButton4_Click");
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
        engine::Steps steps(m_report, "Form1", "PushButton5_Click");
        steps.step(100, [&] {
            showMessage(QStringLiteral("A search word or search words can be any set of "
                                       "characters. Here are some examples of what you can "
                                       "write here:\r\na\r\npeter\r\nt was on\r\nDiagram #2"
                                       "\r\nWith \"Regular expression\" ticked, a pattern:"
                                       "\r\nerror|warn\r\n^\\d{4}-\\d\\d-\\d\\d"));
        });
    });
    connect(Text1, &QLineEdit::textChanged, this, [this](const QString &text) {
        writeOption(QStringLiteral("Text1"), text, "Text1_Change");
    });
    connect(Check1, &QCheckBox::clicked, this, [this] {
        writeOption(QStringLiteral("Check1"), QString::number(Check1->isChecked() ? 1 : 0),
                    "Check1_Click");
    });
    connect(Check4, &QCheckBox::clicked, this, [this] {
        writeOption(QStringLiteral("Check4"), QString::number(Check4->isChecked() ? 1 : 0),
                    "Check4_Click");
    });
    connect(Check3, &QCheckBox::toggled, this, [this](bool checked) {
        if (!onLoad)
            writeOption(QStringLiteral("Check3"), QString::number(checked ? 1 : 0),
                        "Check3_Click");
    });
    connect(Check2, &QCheckBox::clicked, this, [this] {
        writeOption(QStringLiteral("Check2"), QString::number(Check2->isChecked() ? 1 : 0),
                    "Check2_Click");
    });
    for (QRadioButton *option : {Option1, Option2, Option3})
        connect(option, &QRadioButton::clicked, this,
                [this, option] { displayOptionClicked(option); });
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this](int index) {
        writeOption(QStringLiteral("Combo1"), QString::number(index), "Combo1_Change");
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
        m_report.reportError(engine::errorTag("Form1", procedure), 100, failure.what());
    }
}

void MainWindow::displayOptionClicked(QRadioButton *clicked)
{
    // A click on the selected option keeps it selected, as in any option group.
    clicked->setChecked(true);
    for (QRadioButton *option : {Option1, Option2, Option3})
        if (option != clicked)
            option->setChecked(false);
    writeDisplayOptions();
}

void MainWindow::writeDisplayOptions()
{
    const auto state = [](QRadioButton *option) {
        return option->isChecked() ? QStringLiteral("True") : QStringLiteral("False");
    };
    writeOption(QStringLiteral("Option1"), state(Option1), "Option1_Click");
    writeOption(QStringLiteral("Option2"), state(Option2), "Option2_Click");
    writeOption(QStringLiteral("Option3"), state(Option3), "Option3_Click");
}

void MainWindow::Combo1_Click()
{
    engine::Steps steps(m_report, "Form1", "Combo1_Click");
    steps.step(100, [&] {
        m_services.settings->WriteSetting(application, section, QStringLiteral("Combo1"),
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
    // A run that ends, or is stopped, shows every row it made.
    m_results.flush();
    PushButton3->setText(caption);
    PushButton3->setAccessibleName(caption);
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
    m_results.appendDeferred(std::move(row), true);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) && m_pointer != 11) {
        if (qobject_cast<QPushButton *>(watched))
            setMousePointer(99);
        else
            setMousePointer(0);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing ends the program at once: running loops stop at their next check, the
    // dialog goes, and nothing is saved (every option was saved when it changed).
    m_run->abort();
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
