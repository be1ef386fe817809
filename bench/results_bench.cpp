// Times the results list's filters and exports on a million rows, through the main window's
// own buttons, and prints one line per case: the wall time and the longest stretch the
// window went without handling its events.
#include "platform/Desktop.h"
#include "platform/FileDialogs.h"
#include "platform/Prompts.h"
#include "platform/RealServices.h"
#include "shell/MainWindow.h"
#include "shell/ReportView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>

namespace {

// Answers every input box with the next scripted text and every question with Yes.
class ScriptedPrompts : public platform::Prompts {
public:
    platform::Answer message(const QString &text, const QString &, platform::Icon,
                             platform::Buttons buttons) override
    {
        shown.append(text);
        return buttons == platform::Buttons::YesNo ? platform::Answer::Yes : platform::Answer::Ok;
    }
    QString input(const QString &, const QString &, const QString &) override
    {
        if (answers.empty())
            return QString();
        const QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<QString> answers;
    QStringList shown;
};

class FixedSaveDialog : public platform::FileDialogs {
public:
    QStringList openFiles(const QString &, const QString &) override { return {}; }
    QString saveFile(const QString &, const QString &, const QString &) override { return path; }
    QString browseFolder(const QString &, const QString &) override { return {}; }
    QString path;
};

// A desktop with a spreadsheet application that records the workbook instead of opening it.
class QuietDesktop : public platform::Desktop {
public:
    bool openFolder(const QString &) override { return true; }
    bool showInFileManager(const QString &) override { return true; }
    bool hasSpreadsheetApplication() override { return true; }
    QString defaultApplication(const QString &) override { return {}; }
    void startDetached(const QString &, const QStringList &) override {}
    bool openSpreadsheet(const QString &file) override
    {
        opened = file;
        return true;
    }
    QString opened;
};

constexpr int kRows = 1000000;

void refill(shell::MainWindow &window)
{
    platform::ListModel &list = window.results();
    list.clear();
    for (int r = 0; r < kRows; ++r)
        list.appendDeferred(QStringLiteral("C:\\data\\logs\\file%1.txt: the quick brown fox "
                                           "jumps over line %2")
                                .arg(r % 500, 4, 10, QLatin1Char('0'))
                                .arg(r));
    list.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    ScriptedPrompts prompts;
    FixedSaveDialog dialogs;
    dialogs.path = scratch.filePath(QStringLiteral("results.txt"));
    QuietDesktop desktop;
    platform::RealServices real(scratch.filePath(QStringLiteral("config")));
    platform::Services services = real.services();
    services.prompts = &prompts;
    services.dialogs = &dialogs;
    services.desktop = &desktop;
    platform::QtYield &yield = real.yield;

    shell::MainWindow window(services, QApplication::applicationDirPath());
    window.startUp();
    window.show();

    QElapsedTimer sincePump;
    qint64 longestGap = 0;
    yield.addBeforePump([&] {
        longestGap = std::max(longestGap, sincePump.nsecsElapsed());
        sincePump.restart();
    });

    // Each case starts from a full list; prepare selects rows before the clock starts.
    auto timed = [&](const char *name, const std::function<void()> &act,
                     const QString &typed = QString(), const std::function<void()> &prepare = {}) {
        refill(window);
        if (prepare)
            prepare();
        QCoreApplication::processEvents();
        if (!typed.isEmpty())
            prompts.answers.push_back(typed);
        prompts.shown.clear();
        longestGap = 0;
        QElapsedTimer timer;
        timer.start();
        sincePump.start();
        act();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        longestGap = std::max(longestGap, sincePump.nsecsElapsed());
        std::printf("%-36s %7.3f s  longest stretch without events %6.1f ms  rows left %d  "
                    "messages %lld\n",
                    name, seconds, double(longestGap) / 1e6, window.results().count(),
                    static_cast<long long>(prompts.shown.size()));
        std::fflush(stdout);
    };

    auto run = [&](const char *name, QPushButton *button, const QString &typed = QString()) {
        timed(
            name, [button] { button->click(); }, typed);
    };
    // A key pressed on the results list, after its rows are selected.
    auto key = [&](Qt::Key pressed, Qt::KeyboardModifiers modifiers) {
        return [&window, pressed, modifiers] {
            QKeyEvent press(QEvent::KeyPress, pressed, modifiers);
            QApplication::sendEvent(window.resultsList, &press);
        };
    };
    auto selectEvery = [&](int step) {
        return [&window, step] {
            if (step == 1)
                return window.resultsList->selectAll();
            QItemSelection rows;
            for (int r = 0; r < kRows; r += step)
                rows.select(window.results().index(r, 0), window.results().index(r, 0));
            window.resultsList->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
        };
    };

    std::printf("results of %d rows\n", kRows);
    run("remove containing (2,000 scattered)", window.removeResultsContainingButton,
        QStringLiteral("FILE0042"));
    run("remove not containing (2,000 kept)", window.removeResultsNotContainingButton,
        QStringLiteral("FILE0042"));
    run("remove containing (all match)", window.removeResultsContainingButton,
        QStringLiteral("Quick Brown"));
    run("save as text file", window.saveTextButton);
    std::printf("%-36s %lld bytes\n", "  text file size",
                static_cast<long long>(QFileInfo(dialogs.path).size()));
    run("copy to clipboard", window.copyResultsButton);
    std::printf("%-36s %lld characters\n", "  clipboard text",
                static_cast<long long>(real.clipboard.text().size()));
    timed("Ctrl+C on every row selected", key(Qt::Key_C, Qt::ControlModifier), {}, selectEvery(1));
    timed("Ctrl+C on 2,000 scattered rows", key(Qt::Key_C, Qt::ControlModifier), {},
          selectEvery(kRows / 2000));
    timed("Delete on 2,000 scattered rows", key(Qt::Key_Delete, Qt::NoModifier), {},
          selectEvery(kRows / 2000));
    timed("Delete on every row selected", key(Qt::Key_Delete, Qt::NoModifier), {}, selectEvery(1));
    run("save as spreadsheet", window.saveSpreadsheetButton);
    std::printf("%-36s %lld bytes\n", "  workbook size",
                static_cast<long long>(QFileInfo(desktop.opened).size()));
    QFile::remove(desktop.opened);
    return 0;
}
