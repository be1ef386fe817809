#include "platform/TerminationSignals.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

class TestTerminationSignals : public QObject {
    Q_OBJECT
private slots:
    void workFinishedBeforeTheSignalEnds_data();
    void workFinishedBeforeTheSignalEnds();
};

void TestTerminationSignals::workFinishedBeforeTheSignalEnds_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM, as kill and session managers send") << int(SIGTERM);
    QTest::newRow("SIGINT, as Ctrl+C in a terminal") << int(SIGINT);
    QTest::newRow("SIGHUP, as a closed terminal") << int(SIGHUP);
}

void TestTerminationSignals::workFinishedBeforeTheSignalEnds()
{
    // In a child process: the call runs at the next event pump, and the signal then ends
    // the process as it always did.
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("written"));
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        bool ran = false;
        const platform::TerminationSignals endings([&] {
            QFile file(marker);
            ran = file.open(QIODevice::WriteOnly);
        });
        ::raise(signal);
        if (ran) // not before the event pump
            ::_exit(2);
        for (int i = 0; i < 500; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            ::usleep(1000);
        }
        ::_exit(3);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFSIGNALED(status), qPrintable(QString::number(status)));
    QCOMPARE(WTERMSIG(status), signal);
    QVERIFY(QFile::exists(marker));
}

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "tst_terminationsignals.moc"
