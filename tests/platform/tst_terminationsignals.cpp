#include "platform/TerminationSignals.h"

#include <QtTest>

#include <csignal>

class TestTerminationSignals : public QObject {
    Q_OBJECT
private slots:
    void endingSignalBecomesACall_data();
    void endingSignalBecomesACall();
};

void TestTerminationSignals::endingSignalBecomesACall_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM, as kill and session managers send") << int(SIGTERM);
    QTest::newRow("SIGINT, as Ctrl+C in a terminal") << int(SIGINT);
    QTest::newRow("SIGHUP, as a closed terminal") << int(SIGHUP);
}

void TestTerminationSignals::endingSignalBecomesACall()
{
    // The process lives on after the signal, and the call comes at the next event pump.
    QFETCH(int, signal);
    int calls = 0;
    {
        platform::TerminationSignals endings([&] { ++calls; });
        QCOMPARE(::raise(signal), 0);
        QCOMPARE(calls, 0);
        QTRY_COMPARE(calls, 1);
    }
    QCOMPARE(calls, 1);
}

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "tst_terminationsignals.moc"
