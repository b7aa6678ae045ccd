// The engine through a real QSerialPort on a pseudo-terminal: the worker on
// one side, a simulated meter (or a libmodbus slave) on the other. Each
// scenario is a row of testdata/engine/scenarios.json: the meter, the start
// request, and everything the worker must tell the window, in order.
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

#include <modbus.h>
#include <poll.h>

#include "tests/engine/enginerig.h"
#include "tests/common/jsonrows.h"
#include "tests/common/ptypair.h"
#include "tests/common/rowsimulator.h"

using namespace metersim;

namespace {

// A Modbus RTU slave built on libmodbus, serving the simulator's register map
// on the master side of a pseudo-terminal of its own.
class LibmodbusPeer
{
public:
    explicit LibmodbusPeer(int slave)
    {
        if (!pty.ok())
            return;
        mapping = modbus_mapping_new(0, 0, 0x4110, 0);
        const QMap<quint16, quint16> registers = telegrams::modbusRegisters();
        for (auto it = registers.cbegin(); it != registers.cend(); ++it)
            mapping->tab_registers[it.key()] = it.value();
        context = modbus_new_rtu("/dev/null", 9600, 'E', 8, 1); // never opened: works on our descriptor
        modbus_set_slave(context, slave);
        modbus_set_socket(context, pty.masterFd());
        server = std::thread([this] {
            uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
            for (struct pollfd p = {pty.masterFd(), POLLIN, 0}; !stop;)
                if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
                    const int n = modbus_receive(context, request);
                    answered += n > 0 && modbus_reply(context, request, n, mapping) > 0;
                }
        });
    }
    ~LibmodbusPeer()
    {
        stop = true;
        if (server.joinable())
            server.join();
        modbus_free(context);
        modbus_mapping_free(mapping);
    }
    PtyPair pty;
    std::atomic<int> answered{0};

private:
    modbus_t *context = nullptr;
    modbus_mapping_t *mapping = nullptr;
    std::thread server;
    std::atomic<bool> stop{false};
};

// Waits for the worker's answer to a connect request, success or failure.
bool connectTo(serialclass &worker, const SignalRecorder &rec, const QString &path)
{
    const int before = rec.connectAnswers;
    QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Q_ARG(QString, path));
    return QTest::qWaitFor([&] { return rec.connectAnswers > before; }, 60000); // a hang only
}

bool same(const QString &line, const QString &expected) // "~..." is a pattern for the whole line
{
    return line == expected
        || (expected.startsWith('~') && QRegularExpression('^' + expected.mid(1) + '$').match(line).hasMatch());
}

QStringList messages;
void keepMessage(QtMsgType, const QMessageLogContext &, const QString &text) { messages << text; }

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMeterMetaTypes(); }
    void scenario_data() { addJsonRows(QStringLiteral("engine/scenarios.json"), __func__); }
    void scenario();
};

void TestEngine::scenario()
{
    QFETCH(QJsonObject, row);
    std::unique_ptr<MeterSimulator> sim;
    std::unique_ptr<LibmodbusPeer> peer;
    QString path = row["port"].toString(); // a port that does not open
    if (row.contains("libmodbus")) {
        peer = std::make_unique<LibmodbusPeer>(row["libmodbus"].toInt());
        path = peer->pty.slavePath();
    } else if (path.isEmpty()) {
        QString error;
        sim = rowSimulator(row, Options(), &error);
        QVERIFY2(sim, qPrintable(error));
        QVERIFY(sim->start());
        path = sim->slavePath();
    }
    // Declared after the meter, so gone before it: its thread must not touch a port whose master is gone.
    auto worker = std::make_unique<serialclass>();
    SignalRecorder rec(*worker);
    QSerialPort otherProgram(path);
    QVERIFY(!row["held"].toBool() || otherProgram.open(QIODevice::ReadWrite));
    QMetaObject::invokeMethod(worker.get(), "slotDisconnectSerialPort"); // holds no port: does nothing
    QVERIFY(connectTo(*worker, rec, path));
    const int mode = row["mode"].toInt(); // -1: the loopback test
    if (mode < 0)
        QMetaObject::invokeMethod(worker.get(), "slotLesekopfStartTest");
    else
        QMetaObject::invokeMethod(worker.get(), "slotStartTest", Q_ARG(QString, row["passwort"].toString()),
                                  Q_ARG(TestMode_t, TestMode_t(mode)),
                                  Q_ARG(enum_interfaces_t, row["rs485"].toBool() ? MODBUS485_Converter : IR_Head));
    if (row["disconnectQueued"].toBool())
        QMetaObject::invokeMethod(worker.get(), "slotDisconnectSerialPort"); // runs after the test
    if (row.contains("destroyAfter")) {
        // Closing the window mid-chain stops the worker without terminating its thread.
        QTRY_VERIFY_WITH_TIMEOUT(rec.lines.contains(row["destroyAfter"].toString()), 30000);
        const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
        worker.reset();
        qInstallMessageHandler(previous);
        QVERIFY2(!messages.contains(QStringLiteral("thread has to be terminated")), qPrintable(messages.join('|')));
        return;
    }
    QElapsedTimer clock;
    clock.start();
    const int unplugAfterMs = row["unplugAfterMs"].toInt(-1);
    qint64 unpluggedAt = -1; // a loaded machine may fire the timer late
    if (unplugAfterMs >= 0)
        QTimer::singleShot(unplugAfterMs, &rec, [&] { sim->unplug(), unpluggedAt = clock.elapsed(); });
    QTRY_VERIFY_WITH_TIMEOUT(rec.finished > 0, 300000); // a hang only; CTest times each row
    const qint64 finishedAt = clock.elapsed();

    // Exact, or ("inOrder") each expected line in this order and the last three last.
    const QStringList expected = strings(row["lines"]);
    int at = 0;
    for (const QString &line : rec.lines)
        at += at < expected.size() && same(line, expected.at(at));
    const bool match = at == expected.size()
        && (row["inOrder"].toBool() ? std::equal(rec.lines.end() - 3, rec.lines.end(), expected.end() - 3, same)
                                    : rec.lines.size() == at);
    QVERIFY2(!row.contains("lines") || match,
             qPrintable("actual:\n  " + rec.lines.join("\n  ") + "\nexpected:\n  " + expected.join("\n  ")));
    if (row.contains("values"))
        QCOMPARE(rec.records.isEmpty() ? QString() : validValues(rec.records[0]), row["values"].toString());
    if (row.contains("failures"))
        QCOMPARE(rec.lines.filter("Fehler an der Schnittstelle").size(), row["failures"].toInt());
    if (row.contains("firstCount"))
        QCOMPARE(rec.counts.value(0), row["firstCount"].toInt()); // lags a chunk: the empty buffer
    if (row.contains("lastCount"))
        QCOMPARE(rec.counts.value(rec.counts.size() - 1), row["lastCount"].toInt()); // identification included
    if (row.contains("baud"))
        QCOMPARE(sim->programFormat().baud, row["baud"].toInt());
    if (row.contains("received"))
        QCOMPARE(QString::fromLatin1(sim->receivedBytes()), row["received"].toString());
    if (peer)
        QCOMPARE(peer->answered.load(), row["answered"].toInt());
    // Ends at the next slice after the unplug, not after the prescribed time.
    if (unplugAfterMs >= 0)
        QVERIFY2(unpluggedAt >= 0 && finishedAt - unpluggedAt < 5000, qPrintable(QString::number(finishedAt - unpluggedAt)));
    QSerialPort probe(path);
    if (row["disconnectQueued"].toBool())
        QTRY_VERIFY_WITH_TIMEOUT(probe.isOpen() || probe.open(QIODevice::ReadWrite), 30000); // the disconnect came after the test and let go
    probe.close();
    otherProgram.close();
    // A worker that takes another port lets go of the one it held, whatever became of it.
    MeterSimulator next(Profile::Silent);
    QVERIFY(next.start());
    QVERIFY(connectTo(*worker, rec, next.slavePath()));
    QCOMPARE(rec.lines.last(), QStringLiteral("finished"));
    QVERIFY(!sim || sim->isUnplugged() || probe.open(QIODevice::ReadWrite));
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
