#include "MainWindow.h"

#include "platform/ModuleNames.h"
#include "platform/Prompts.h"
#include "platform/SettingsStore.h"
#include "platform/Yield.h"
#include "run/ModeTable.h"
#include "shell/CaptionProgressBar.h"
#include "shell/LinesDialog.h"
#include "shell/Look.h"
#include "shell/ReportView.h"
#include "shell/StatusLine.h"

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

} // namespace

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
      m_report(*services.prompts), m_applicationTitle(QStringLiteral("Lumbrex")),
      m_sink(m_results, [this](int value, const QString &caption) {
          setProgress(value, caption);
          m_runReachedFiles = true;
          showPointer();
      })
{
    setObjectName(QLatin1String(platform::mainWindowModule));
    setWindowTitle(QLatin1String(platform::mainWindowModule));
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    buildControls();
    m_runControl = std::make_unique<RunControl>(*this);
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

void MainWindow::connectHandlers()
{
    connect(startButton, &QPushButton::clicked, this, [this] {
        // A new run empties the results that a save, copy, export or filter is reading.
        if (m_resultsInUse > 0 && !m_runControl->running())
            return;
        m_runControl->startOrStop();
    });
    connect(helpButton, &QPushButton::clicked, this, [this] {
        engine::Steps steps(m_report, platform::mainWindowModule, "PushButton4_Click");
        steps.step(100, [&] {
            showMessage(QStringLiteral("Please email ") + supportAddress +
                        QStringLiteral(" if you have any questions or need features added.") +
                        QStringLiteral("\r\n\r\nEach file is read in its own encoding (UTF-8, "
                                       "UTF-16 with a byte-order mark, else Windows-1252) and "
                                       "with its own line ends (LF or CR LF). A compressed file "
                                       "(gzip, bzip2, xz, lzma, zstd, lz4) is read as the text "
                                       "it holds, and an archive (zip, tar, 7z, cpio, ar) member "
                                       "by member, its rows named archive{member}. Tick \"Read "
                                       "every file as Windows-1252 with CR LF line ends\" to "
                                       "read every file byte by byte with lines ending at CR LF, "
                                       "compressed files and archives as their bytes too.") +
                        QStringLiteral("\r\n\r\nTick \"Regular expression\" to take the "
                                       "search text as a regular expression in the syntax of "
                                       "PCRE2 (as grep -P and ripgrep take it): a line is "
                                       "extracted when the expression matches within it, ^ and "
                                       "$ anchoring at the line's start and end, and Match Case "
                                       "off ignores case.") +
                        QStringLiteral("\r\n\r\nPress Enter on a result row, or right-click "
                                       "it and choose \"Open at Line\", to open its file at "
                                       "that line in your editor; a row from a compressed "
                                       "file or an archive member opens a read-only "
                                       "decompressed copy of its text, removed when the "
                                       "program ends. \"Choose Editor\u2026\" in "
                                       "the same menu sets the editor's command line (%f is "
                                       "the file, %l the line); until then the desktop's "
                                       "application for text files opens it. The menu also "
                                       "shows the file in its folder and copies the selected "
                                       "rows (Ctrl+C); Delete or a double-click removes them. "
                                       "\"Show line numbers\" shows each row's line in its "
                                       "file before the row."));
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
    connect(lineNumbersBox, &QCheckBox::toggled, this, [this](bool checked) {
        resultsList->setLineNumbersShown(checked);
        writeOption(lineNumbersBox->objectName(), QString::number(checked ? 1 : 0), "Check5_Click");
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
    if (steps.test(102, [&] {
            return run::modeAt(modeList->currentIndex()) ==
                   engine::Mode::ExtractSearchWordLineUpXDownY;
        }))
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

void MainWindow::setActivity(run::Activity activity)
{
    if (activity == run::Activity::Running && m_activity != run::Activity::Running)
        m_runReachedFiles = false;
    m_activity = activity;
    const QString &caption = activity == run::Activity::Running ? stopCaption : startCaption;
    if (startButton->text() != caption) {
        startButton->setText(caption);
        startButton->setAccessibleName(caption);
    }
    showPointer();
}

bool MainWindow::showsBusyPointer() const
{
    return m_activity == run::Activity::Busy ||
           (m_activity == run::Activity::Running && m_runReachedFiles);
}

void MainWindow::setHoverPointer(Pointer pointer)
{
    m_hoverPointer = pointer;
    showPointer();
}

void MainWindow::showPointer()
{
    const Pointer pointer = showsBusyPointer() ? Pointer::Busy : m_hoverPointer;
    // A run turns to a new file many times a second: the same pointer again is no change.
    if (pointer == m_shownPointer)
        return;
    m_shownPointer = pointer;
    if (pointer == Pointer::Busy)
        setCursor(Qt::WaitCursor);
    else if (pointer == Pointer::Hand && m_handPointer)
        setCursor(*m_handPointer);
    else
        setCursor(Qt::ArrowCursor);
}

void MainWindow::setProgress(int value, const QString &text)
{
    m_progressValue = value;
    m_progressText = text;
    const bool idle = value == 0 && text == idleProgressText;
    if (idle || !m_sinceProgressShown.isValid() ||
        m_sinceProgressShown.elapsed() >= kScreenIntervalMs)
        showProgress();
    else if (!m_progressTimer.isActive())
        m_progressTimer.start(int(kScreenIntervalMs - m_sinceProgressShown.elapsed()));
}

void MainWindow::showStatusNote(const QString &note)
{
    statusLine->showNote(note);
}

void MainWindow::showProgress()
{
    m_progressTimer.stop();
    m_sinceProgressShown.start();
    progressBar->setProgress(m_progressValue, m_progressText);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::Resize && watched == centralWidget())
        shareExtraWidth();
    if (!showsBusyPointer()) {
        const bool button = qobject_cast<QPushButton *>(watched) != nullptr;
        // Leaving a button always lands on something that is not this button: the
        // background, a frame or another button (whose Enter follows and sets the hand).
        if ((type == QEvent::Enter || type == QEvent::MouseMove) && button)
            setHoverPointer(Pointer::Hand);
        else if (type == QEvent::Enter || type == QEvent::MouseMove || type == QEvent::Leave)
            setHoverPointer(Pointer::Arrow);
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
    m_runControl->abort();
    if (m_sizeTimer.isActive())
        storeWindowSize();
    // Options are written to the disk shortly after they change; the last ones are written
    // now, before the program can end.
    m_services.settings->flush();
    if (m_linesDialog)
        m_linesDialog->close();
    event->accept();
    if (m_activity != run::Activity::Idle || m_runControl->running()) {
        // A long operation is still on the stack under nested event pumps; it would only
        // return to the main loop when done. Every option is already stored, and exports
        // write to a temporary file until they finish, so nothing is lost by ending now.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    QCoreApplication::exit(0);
}

} // namespace shell
