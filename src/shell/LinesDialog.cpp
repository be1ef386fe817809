#include "LinesDialog.h"

#include "platform/FileSystem.h"
#include "platform/ModuleNames.h"
#include "platform/Prompts.h"
#include "platform/SettingsStore.h"
#include "shell/Look.h"
#include "shell/MainWindow.h"
#include "shell/Pointers.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace shell {

namespace {

const QString &application = platform::settingsApplication;
const QString &section = platform::settingsSection;

} // namespace

LinesDialog::LinesDialog(MainWindow &owner)
    : QDialog(&owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      m_owner(owner)
{
    setObjectName(QLatin1String(platform::linesDialogModule));
    setWindowTitle(QStringLiteral("Lines Above And Below Options"));
    setFont(arialBold(9));
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(px(120), px(120), px(120), px(120));
    layout->setSpacing(px(105));
    auto *frames = new QHBoxLayout;
    frames->setSpacing(px(4080 - 120 - 3840));
    auto makeFrame = [this](const char *frameName, const QString &title, const QString &listName,
                            QComboBox *&list) {
        auto *frame = new QGroupBox(title, this);
        frame->setObjectName(QLatin1String(frameName));
        frame->setAccessibleName(title);
        // The designed 810 twips leave a list no room for its digits under the frame's
        // caption, so the frame grows to fit the list.
        frame->setFixedWidth(px(3840));
        frame->setMinimumHeight(px(810));
        frame->installEventFilter(this);
        frame->setMouseTracking(true);
        auto *inner = new QVBoxLayout(frame);
        inner->setContentsMargins(px(240), px(60), px(240), px(120));
        list = new QComboBox(frame);
        list->setObjectName(listName);
        list->setAccessibleName(title);
        list->setFixedWidth(px(3345));
        list->installEventFilter(this);
        inner->addWidget(list);
        return frame;
    };
    linesAboveFrame =
        makeFrame("Frame3", QStringLiteral("X - Line/s above"), linesAboveKey, linesAboveList);
    linesBelowFrame =
        makeFrame("Frame4", QStringLiteral("Y - Line/s below"), linesBelowKey, linesBelowList);
    frames->addWidget(linesAboveFrame);
    frames->addWidget(linesBelowFrame);
    layout->addLayout(frames);
    closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setObjectName(QStringLiteral("PushButton1"));
    closeButton->setAccessibleName(QStringLiteral("Close"));
    closeButton->setFont(arialBold(11.25));
    closeButton->setFixedSize(px(7800), px(405));
    closeButton->setAutoDefault(false);
    closeButton->installEventFilter(this);
    layout->addWidget(closeButton);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    installEventFilter(this);
    setMouseTracking(true);

    connect(closeButton, &QPushButton::clicked, this, [this] { closeClicked(); });
    for (auto [list, key] :
         {std::pair{linesAboveList, linesAboveKey}, std::pair{linesBelowList, linesBelowKey}}) {
        connect(list, &QComboBox::currentIndexChanged, this,
                [this, list = list, key = key] { store(list, key); });
        connect(list, &QComboBox::activated, this,
                [this, list = list, key = key] { store(list, key); });
    }
    prepare();
}

void LinesDialog::prepare()
{
    engine::Steps steps(m_owner.reporter(), platform::linesDialogModule, "Form_Load");
    steps.step(100, [&] { useButtonFaceBackground(*this); });
    steps.step(102, [&] { setWindowIcon(programIcon()); });
    const QString hand = m_owner.programFolderFile(QStringLiteral("HAND-M.CUR"));
    if (steps.test(104, [&] { return m_owner.services().fileSystem->fileExists(hand); }))
        steps.step(106, [&] { m_handPointer = loadCursorFile(hand); });
    {
        // Filling the lists must not store anything: only real selections are picks.
        const QSignalBlocker blockX(linesAboveList);
        const QSignalBlocker blockY(linesBelowList);
        steps.step(108, [&] { linesAboveList->clear(); });
        steps.step(110, [&] { linesBelowList->clear(); });
        for (int n = 0; n <= 12; ++n) {
            steps.step(112, [] {});
            steps.step(114, [&] { linesAboveList->addItem(QString::number(n)); });
            steps.step(116, [&] { linesBelowList->addItem(QString::number(n)); });
            steps.step(118, [] {});
        }
        linesAboveList->setCurrentIndex(-1);
        linesBelowList->setCurrentIndex(-1);
    }
    const OwnMessages own(*this);
    steps.step(120, [&] { selectStored(linesAboveList, linesAboveKey); });
    steps.step(122, [&] { selectStored(linesBelowList, linesBelowKey); });
}

void LinesDialog::restoreChoices()
{
    engine::Steps steps(m_owner.reporter(), platform::linesDialogModule, "Form_Activate");
    const OwnMessages own(*this);
    steps.step(100, [&] { selectStored(linesAboveList, linesAboveKey); });
    steps.step(102, [&] { selectStored(linesBelowList, linesBelowKey); });
}

void LinesDialog::selectStored(QComboBox *list, const QString &key)
{
    const QString stored =
        m_owner.services().settings->readSetting(application, section, key, QStringLiteral("1"));
    // A bad stored value is reported once; each later activation leaves the list as it is
    // until the value changes, or every answer to the report would bring the report back.
    const auto known = m_badValues.find(key);
    if (known != m_badValues.end() && *known == stored)
        return;
    int position = -1;
    try {
        position = run::storedLineCount(stored);
    } catch (const engine::Failure &) {
        m_badValues.insert(key, stored);
        throw;
    }
    m_badValues.remove(key);
    list->setCurrentIndex(position);
    // Selecting counts as a pick even when the position did not change.
    store(list, key);
}

void LinesDialog::store(QComboBox *list, const QString &key)
{
    try {
        m_owner.services().settings->writeSetting(application, section, key,
                                                  QString::number(list->currentIndex()));
    } catch (const engine::Failure &failure) {
        const OwnMessages own(*this);
        m_owner.reporter().reportError(
            engine::errorTag(platform::linesDialogModule,
                             (list->objectName() + QStringLiteral("_Click")).toStdString()),
            100, failure.what());
    }
}

void LinesDialog::checkNumeric(QComboBox *list)
{
    bool numeric = false;
    list->currentText().toInt(&numeric);
    // The focus also leaves the list for a message box the dialog itself shows.
    if (numeric || m_ownMessages > 0)
        return;
    {
        const OwnMessages own(*this);
        m_owner.services().prompts->message(QStringLiteral("Must be numeric entry."),
                                            m_owner.applicationTitle(), platform::Icon::Warning);
    }
    list->setFocus(Qt::OtherFocusReason);
}

void LinesDialog::showModal()
{
    // Centred on the screen, as the main window opens, rather than over its owner.
    adjustSize();
    const QScreen *where = m_owner.screen();
    if (where)
        move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                 where->availableGeometry())
                 .topLeft());
    exec();
}

void LinesDialog::closeClicked()
{
    engine::Steps steps(m_owner.reporter(), platform::linesDialogModule, "PushButton1_Click");
    steps.step(100, [&] { m_owner.m_linesDialogClosedWithClose = true; });
    steps.step(102, [&] { close(); });
}

bool LinesDialog::event(QEvent *event)
{
    if (event->type() == QEvent::Show && !m_activated) {
        m_activated = true;
        restoreChoices();
    } else if (event->type() == QEvent::WindowActivate && !m_activated) {
        m_activated = true;
        restoreChoices();
    } else if (event->type() == QEvent::WindowDeactivate && m_ownMessages == 0) {
        // A message box of the dialog's own takes the activation for a moment; only the user
        // bringing the dialog back from elsewhere makes it active anew.
        m_activated = false;
    }
    return QDialog::event(event);
}

bool LinesDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut &&
        (watched == linesAboveList || watched == linesBelowList))
        checkNumeric(static_cast<QComboBox *>(watched));
    const QEvent::Type type = event->type();
    if (!m_owner.showsBusyPointer() &&
        (type == QEvent::Enter || type == QEvent::MouseMove || type == QEvent::Leave)) {
        // Leaving the button lands on the background or a frame.
        if (watched == closeButton && type != QEvent::Leave && m_handPointer)
            setCursor(*m_handPointer);
        else
            setCursor(Qt::ArrowCursor);
    }
    return QDialog::eventFilter(watched, event);
}

void LinesDialog::closeEvent(QCloseEvent *event)
{
    // Closed either way, the dialog is discarded: the next opening starts afresh.
    m_owner.linesDialogDiscarded();
    deleteLater();
    QDialog::closeEvent(event);
}

} // namespace shell
