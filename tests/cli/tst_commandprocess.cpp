// The real program as a process: help, the version and a run with no display, a folder that
// takes no save, and Ctrl+C and a closed pipe, which end the run at once.

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// A process of the real program, with pipes for its output and errors.
struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
};

// Starts the real program; a command before it (setpriv, say) starts it in turn. A stream
// named by closed (0 or 1) is closed instead.
Child spawn(const QStringList &arguments, const QStringList &environment,
            const QStringList &before = {}, int closed = -1)
{
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0)
        qFatal("no pipes");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (closed == 1)
        posix_spawn_file_actions_addclose(&actions, 1);
    else
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (closed == 0)
        posix_spawn_file_actions_addclose(&actions, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    const QByteArray binary = qgetenv("LUMBREX_BINARY");
    QList<QByteArray> owned;
    for (const QString &word : before)
        owned.append(word.toUtf8());
    owned.append(binary);
    for (const QString &argument : arguments)
        owned.append(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QList<QByteArray> env;
    for (const QString &e : environment)
        env.append(e.toUtf8());
    std::vector<char *> envp;
    for (QByteArray &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    Child child;
    if (posix_spawn(&child.pid, owned.first().constData(), &actions, nullptr, argv.data(),
                    envp.data()) != 0)
        qFatal("cannot start %s", binary.constData());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    child.out = out[0];
    child.err = err[0];
    return child;
}

// Reads a pipe to its end, or for at most timeoutMs; closes it.
QByteArray drain(int fd, int timeoutMs = 20000)
{
    QByteArray all;
    char block[65536];
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0)
            continue;
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got <= 0)
            break;
        all.append(block, got);
    }
    ::close(fd);
    return all;
}

// Waits for a child at most timeoutMs; returns its wait status, or -1 when it is still running
// (it is then killed).
int waitFor(pid_t pid, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    while (clock.elapsed() < timeoutMs) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return status;
        QThread::msleep(2);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

} // namespace

class TestCommandProcess : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void realProgram_data();
    void realProgram();
    void closedStreamsAreSaid_data();
    void closedStreamsAreSaid();
    void readOnlyFolderTakesNoSave_data();
    void readOnlyFolderTakesNoSave();
    void closedPipeEndsTheRunAtOnce();
    void interruptStopsTheRunAtOnce_data();
    void interruptStopsTheRunAtOnce();

private:
    void makeBigFiles();

    QTemporaryDir m_dir;
    QStringList m_bigFiles;
};

void TestCommandProcess::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
    write("lf.txt", "alpha\nbeta hit\ngamma\n");
}

void TestCommandProcess::init()
{
    QDir::setCurrent(m_dir.path());
}

void TestCommandProcess::realProgram_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out"); // how the output starts
    QTest::addColumn<int>("status");
    QTest::newRow("--version") << QStringList{"--version"} << QByteArray("lumbrex 1.0.0\n") << 0;
    QTest::newRow("--help") << QStringList{"--help"}
                            << QByteArray("Usage: lumbrex [PATH]...\n       lumbrex --extract")
                            << 0;
    QTest::newRow("--extract") << QStringList{"--extract", "-e", "hit", "lf.txt"}
                               << QByteArray("lf.txt beta hit\n") << 0;
    QTest::newRow("--extract, nothing found")
        << QStringList{"--extract", "-e", "zzz", "lf.txt"} << QByteArray() << 1;
    QTest::newRow("a bad option") << QStringList{"--extract", "--nope"} << QByteArray() << 2;
    QTest::newRow("a bad option without --extract")
        << QStringList{"notes.txt", "--nope"} << QByteArray() << 2;
    QTest::newRow("a run's option without --extract")
        << QStringList{"-n", "notes.txt"} << QByteArray() << 2;
}

// The real program, with no display and no Qt platform named: help, the version and a run
// need neither.
void TestCommandProcess::realProgram()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, out);
    QFETCH(int, status);
    QTemporaryDir home;
    const Child child =
        spawn(arguments, {"PATH=/usr/bin:/bin", "HOME=" + home.path(),
                          "XDG_CONFIG_HOME=" + home.path(), "XDG_RUNTIME_DIR=" + home.path()});
    const QByteArray printed = drain(child.out);
    const QByteArray said = drain(child.err);
    const int wait = waitFor(child.pid, 20000);
    QVERIFY(WIFEXITED(wait));
    QCOMPARE(WEXITSTATUS(wait), status);
    QVERIFY2(printed.startsWith(out), printed.left(200).constData());
    if (status < 2)
        QCOMPARE(said, QByteArray());
    // Nothing is written to the settings folder.
    QCOMPARE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestCommandProcess::closedStreamsAreSaid_data()
{
    QTest::addColumn<int>("closed");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("no standard output")
        << 1 << QStringList{"--extract", "-e", "hit", "lf.txt"}
        << QByteArray("lumbrex: standard output: Bad file descriptor\n");
    QTest::newRow("no standard input for the list of paths")
        << 0 << QStringList{"--extract", "-e", "hit", "--files-from", "-"}
        << QByteArray("lumbrex: standard input: Bad file descriptor\n");
    QTest::newRow("no standard output for a save")
        << 1 << QStringList{"--extract", "-e",          "hit",       "--display",
                            "line",      "--save-text", "saved.txt", "lf.txt"}
        << QByteArray();
}

// A stream the program is started without stays closed: nothing the program opens takes its
// place, so no row goes into another file, and its use is said as a closed stream's.
void TestCommandProcess::closedStreamsAreSaid()
{
    QFETCH(int, closed);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, err);
    const Child child = spawn(arguments, {"PATH=/usr/bin:/bin"}, {}, closed);
    QCOMPARE(drain(child.out), QByteArray());
    QCOMPARE(drain(child.err), err);
    const int wait = waitFor(child.pid, 20000);
    QVERIFY(WIFEXITED(wait));
    QCOMPARE(WEXITSTATUS(wait), err.isEmpty() ? 0 : 2);
    if (arguments.contains("saved.txt")) {
        QFile saved("saved.txt");
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("Results \t\r\nbeta hit\t\r\n"));
    }
}

void TestCommandProcess::readOnlyFolderTakesNoSave_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("name");
    QTest::newRow("a workbook") << "--save-xlsx"
                                << "rows.xlsx";
    QTest::newRow("a text file") << "--save-text"
                                 << "rows.txt";
}

// A folder that takes no new file: said, status 2, and nothing made there. Permissions do not
// bind the super-user, so the super-user runs the program as nobody.
void TestCommandProcess::readOnlyFolderTakesNoSave()
{
    QFETCH(QString, option);
    QFETCH(QString, name);
    QTemporaryDir scratch;
    QFile::setPermissions(scratch.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                              QFileDevice::ExeOther);
    const QString input = scratch.filePath("in.txt");
    write(input, "hit\n");
    const QString locked = scratch.filePath("locked");
    QVERIFY(QDir().mkdir(locked));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                      QFileDevice::ReadOther | QFileDevice::ExeOther);
    const QStringList asNobody = ::geteuid() == 0 ? QStringList{"/usr/bin/setpriv", "--reuid=65534",
                                                                "--regid=65534", "--clear-groups"}
                                                  : QStringList{};
    const QString target = locked + u'/' + name;
    const Child child =
        spawn({"--extract", "-e", "hit", option, target, input}, {"PATH=/usr/bin:/bin"}, asNobody);
    QCOMPARE(drain(child.out), QByteArray());
    QCOMPARE(drain(child.err), "lumbrex: " + target.toUtf8() + ": Permission denied\n");
    const int wait = waitFor(child.pid, 20000);
    QVERIFY(WIFEXITED(wait));
    QCOMPARE(WEXITSTATUS(wait), 2);
    QCOMPARE(QDir(locked).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
             QStringList());
}

void TestCommandProcess::makeBigFiles()
{
    if (!m_bigFiles.isEmpty())
        return;
    // Every line matches and takes the twelve lines on either side: a file gives 750,000 rows,
    // and a thousand of them more rows than a test waits for (half a minute of output).
    QByteArray lines;
    for (int i = 0; i < 30000; ++i)
        lines += "hit " + QByteArray::number(i) + '\n';
    write(m_dir.filePath("big.txt"), lines);
    QByteArray list;
    for (int i = 0; i < 1000; ++i)
        list += "big.txt\n";
    write(m_dir.filePath("big-list.txt"), list);
    m_bigFiles = QStringList{"--extract", "-C",   "12",           "-e",          "hit",
                             "--display", "line", "--files-from", "big-list.txt"};
}

// "| head": the reader goes, and the run ends at once, quietly, as the signal ends it.
void TestCommandProcess::closedPipeEndsTheRunAtOnce()
{
    makeBigFiles();
    const Child child = spawn(m_bigFiles, {"PATH=/usr/bin:/bin"});
    char first[64];
    QVERIFY(::read(child.out, first, sizeof first) > 0);
    ::close(child.out);
    const int wait = waitFor(child.pid, 5000);
    QVERIFY2(wait != -1, "the run went on after its reader had gone");
    QVERIFY(WIFSIGNALED(wait));
    QCOMPARE(WTERMSIG(wait), SIGPIPE);
    QCOMPARE(drain(child.err), QByteArray());
}

void TestCommandProcess::interruptStopsTheRunAtOnce_data()
{
    QTest::addColumn<bool>("stalled");
    QTest::newRow("the reader goes on reading") << false;
    QTest::newRow("the reader stopped: the output pipe is full") << true;
}

// Ctrl+C: the run stops at once, even while it waits to write, and the program ends as the
// signal ends it.
void TestCommandProcess::interruptStopsTheRunAtOnce()
{
    QFETCH(bool, stalled);
    makeBigFiles();
    const Child child = spawn(m_bigFiles, {"PATH=/usr/bin:/bin"});
    // Read for a while, so the run is well under way, then press Ctrl+C.
    qsizetype printed = 0;
    char block[65536];
    while (printed < (4 << 20)) {
        const ssize_t got = ::read(child.out, block, sizeof block);
        QVERIFY(got > 0);
        printed += got;
    }
    std::thread reader;
    if (stalled)
        QThread::msleep(200);
    else
        reader = std::thread([&] { drain(child.out, 10000); });
    ::kill(child.pid, SIGINT);
    const int wait = waitFor(child.pid, 5000);
    if (reader.joinable())
        reader.join();
    else
        ::close(child.out);
    QVERIFY2(wait != -1, "the run went on after Ctrl+C");
    QVERIFY(WIFSIGNALED(wait));
    QCOMPARE(WTERMSIG(wait), SIGINT);
    QCOMPARE(drain(child.err), QByteArray());
}

QTEST_MAIN(TestCommandProcess)
#include "tst_commandprocess.moc"
