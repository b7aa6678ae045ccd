// The worker's port handling through a real pseudo-terminal.
#include <QSerialPort>
#include <QTest>

#include <atomic>

#include "tests/common/ptypair.h"
#include "engine/serialclass.h"

class TestSerialWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMeterMetaTypes(); }
    void connectAnswers_data();
    void connectAnswers();
    void disconnectDuringTestRunsAfterIt();
    void reconnectAfterFailureReleasesOldPort();
};

namespace {

// Records the worker's answers in the test's thread (queued, so no data race
// with the worker thread that emits them).
struct WorkerSpies : QObject
{
    explicit WorkerSpies(serialclass *w)
    {
        connect(w, &serialclass::signalConnectSerial_Success, this, [this] { ++success; });
        connect(w, &serialclass::signalConnectSerial_Fail, this, [this](const QString &t) { fail << t; });
        connect(w, &serialclass::signalUpdateStatuBar, this, [this] { ++others; });
        connect(w, &serialclass::signalUpdateStatusText, this, [this] { ++others; });
        connect(w, &serialclass::signalTestFinished, this, [this] { ++finished; });
    }
    int total() const { return success + fail.size() + others + finished; }
    int success = 0;
    QStringList fail;
    int others = 0;
    int finished = 0;
};

} // namespace

void TestSerialWorker::connectAnswers_data()
{
    QTest::addColumn<bool>("realPort");
    QTest::addColumn<bool>("expectSuccess");
    QTest::newRow("pseudo-terminal") << true << true;
    QTest::newRow("missing device") << false << false;
}

void TestSerialWorker::connectAnswers()
{
    QFETCH(bool, realPort);
    QFETCH(bool, expectSuccess);
    PtyPair pty;
    QVERIFY(pty.ok());
    const QString name = realPort ? pty.slavePath() : QStringLiteral("/dev/viviv-no-such-port");

    serialclass worker;
    WorkerSpies spies(&worker);
    // A disconnect with no port held does nothing: only the connect answer follows.
    QMetaObject::invokeMethod(&worker, "slotDisconnectSerialPort");
    QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Q_ARG(QString, name));
    QTRY_COMPARE_WITH_TIMEOUT(spies.total(), 1, 5000);
    QTest::qWait(100); // nothing else may follow the single answer
    QCOMPARE(spies.total(), 1);
    QCOMPARE(spies.success, expectSuccess ? 1 : 0);
    QCOMPARE(spies.fail.size(), expectSuccess ? 0 : 1);
    if (!expectSuccess) {
        // Qt's own text, unchanged: what a port of our own says for the same name.
        QSerialPort probe(name);
        QVERIFY(!probe.open(QIODevice::ReadWrite));
        QVERIFY(!probe.errorString().isEmpty());
        QCOMPARE(spies.fail.at(0), probe.errorString());
    } else {
        QVERIFY(!pty.slaveClosed());
    }
}

void TestSerialWorker::disconnectDuringTestRunsAfterIt()
{
    PtyPair pty;
    QVERIFY(pty.ok());
    serialclass worker;
    WorkerSpies spies(&worker);

    std::atomic<int> openAtFinish{-1};
    // Runs in the worker thread right when the test ends: the port must still be open.
    connect(&worker, &serialclass::signalTestFinished, &worker,
            [&]() { openAtFinish = pty.slaveClosed() ? 0 : 1; }, Qt::DirectConnection);

    QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Q_ARG(QString, pty.slavePath()));
    QMetaObject::invokeMethod(&worker, "slotLesekopfStartTest");
    QMetaObject::invokeMethod(&worker, "slotDisconnectSerialPort");

    QTRY_COMPARE_WITH_TIMEOUT(spies.finished, 1, 60000);
    QCOMPARE(spies.success, 1);
    QCOMPARE(openAtFinish.load(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(pty.slaveClosed(), 5000);
}

void TestSerialWorker::reconnectAfterFailureReleasesOldPort()
{
    PtyPair first;
    PtyPair second;
    QVERIFY(first.ok() && second.ok());
    serialclass worker;
    WorkerSpies spies(&worker);

    QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Q_ARG(QString, first.slavePath()));
    QTRY_COMPARE_WITH_TIMEOUT(spies.success, 1, 5000);
    // A second connect without a disconnect replaces the held port: the first
    // device must be let go, not leaked open.
    QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Q_ARG(QString, second.slavePath()));
    QTRY_COMPARE_WITH_TIMEOUT(spies.success, 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(first.slaveClosed(), 5000);
    QVERIFY(!second.slaveClosed());
}

QTEST_GUILESS_MAIN(TestSerialWorker)
#include "tst_serialworker.moc"
