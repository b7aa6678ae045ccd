// The RS485 converter chain and its four tests through a real QSerialPort on
// a pseudo-terminal: our simulated meters, and one Modbus slave built on
// libmodbus as an independent peer.
#include <QTest>

#include <atomic>
#include <thread>

#include <modbus.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "enginerig.h"
#include "modbusencoder.h"
#include "modbusrtu.h"

using metersim::ModbusFault;
using metersim::Options;
using metersim::Profile;
namespace telegrams = metersim::telegrams;

namespace {

const char *const kHeadings[] = {
    "RS485: Test 1 mit Baud 9600 8E1 bidirektional:", "RS485: Test 2 mit Baud 9600 7E1 bidirektional:",
    "RS485: Test 3 mit Baud 9600 8N1 bidirektional:", "RS485: Test 4 mit Baud 9600 8N1 unidirektional:"};

QStringList head(int test) { return stepHead(test, kHeadings[test - 1]); }

const QString kModbusOk = QStringLiteral("erfolgreich | Modbus RTU | 9600 8E1");
constexpr quint8 kSlave = 0x79; // meter number 12345678

// The lines of one test of the chain: from its status text up to the next
// test's or the result line.
QStringList segment(const QStringList &lines, int test)
{
    int from = lines.indexOf(head(test).first());
    if (from < 0)
        return {};
    int to = from + 1;
    while (to < lines.size() && !lines.at(to).endsWith(QLatin1String(" von 4 - Bitte warten!"))
           && !lines.at(to).startsWith(QLatin1String("result: ")))
        ++to;
    return lines.mid(from, to - from);
}

QByteArray modbusRequest(quint8 slave, int index)
{
    const ModbusRequest &r = kModbusRequests[index];
    const char frame[] = {char(slave), char(r.function), char(r.firstRegister >> 8), char(r.firstRegister & 0xFF),
                          char(r.registerCount >> 8), char(r.registerCount & 0xFF)};
    return ModbusAnswerBuilder::withCrc(QByteArray(frame, sizeof frame));
}

QByteArray modbusAnswer(quint8 slave, int index)
{
    const ModbusRequest &r = kModbusRequests[index];
    const QMap<quint16, quint16> registers = telegrams::modbusRegisters();
    QVector<quint16> values;
    for (int reg = r.firstRegister; reg < r.firstRegister + r.registerCount; ++reg)
        values << registers.value(quint16(reg));
    return ModbusAnswerBuilder::readAnswer(slave, values);
}

// One Modbus request: sent, and the count and the answer where one is taken as good.
QStringList exchange(int index, const QByteArray &answer, quint8 slave = kSlave)
{
    return sent(modbusRequest(slave, index))
        + (answer.isEmpty() ? QStringList()
                            : QStringList{"status: Test 1 von 3 - Lese Bytes: #", "black: Ergebnis: " + hex(answer),
                                          "print: " + hex(answer)});
}

// Test 1 with each request answered as `answer` says.
template <typename Answer>
QStringList modbusTest(Answer answer, const QStringList &end = {"values"})
{
    QStringList l = head(1);
    for (int i = 0; i < kModbusRequestCount; ++i)
        l += answer(i);
    return l + end;
}

QStringList allGood(quint8 slave)
{
    return modbusTest([slave](int i) { return exchange(i, modbusAnswer(slave, i), slave); });
}

Options modbusFaults(const QMap<quint16, ModbusFault> &faults)
{
    Options o;
    o.slaveAddress = kSlave;
    o.modbusFaults = faults;
    return o;
}

// Readout tests 2 and 3: request, acknowledgement, the count, the readout.
QStringList readout(int test, const QByteArray &ack, const QByteArray &buffer)
{
    return sent("/?!\r\n") + sent(ack)
        + QStringList{QStringLiteral("status: Test %1 von 3 - Lese Bytes: #").arg(test), "values",
                      "black: Ergebnis: " + QString::fromUtf8(buffer), "print: " + QString::fromUtf8(buffer),
                      "black: " + hex(buffer)};
}

// A Modbus RTU slave built on libmodbus, serving the simulator's register
// map on the master side of a pseudo-terminal of its own.
class LibmodbusPeer
{
public:
    explicit LibmodbusPeer(int slave)
    {
        char name[128] = {};
        int slaveFd = -1;
        if (openpty(&master_, &slaveFd, name, nullptr, nullptr) != 0)
            return;
        struct termios t;
        tcgetattr(slaveFd, &t);
        cfmakeraw(&t);
        tcsetattr(slaveFd, TCSANOW, &t);
        ::close(slaveFd);
        path_ = QString::fromLocal8Bit(name);
        mapping_ = modbus_mapping_new(0, 0, 0x4110, 0);
        const QMap<quint16, quint16> registers = telegrams::modbusRegisters();
        for (auto it = registers.cbegin(); it != registers.cend(); ++it)
            mapping_->tab_registers[it.key()] = it.value();
        // The device name is never opened: the context works on our descriptor.
        ctx_ = modbus_new_rtu("/dev/null", 9600, 'E', 8, 1);
        modbus_set_slave(ctx_, slave);
        modbus_set_socket(ctx_, master_);
        thread_ = std::thread([this] { serve(); });
    }
    ~LibmodbusPeer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (ctx_)
            modbus_free(ctx_);
        if (mapping_)
            modbus_mapping_free(mapping_);
        if (master_ >= 0)
            ::close(master_);
    }
    QString slavePath() const { return path_; }
    int answered() const { return answered_; }

private:
    void serve()
    {
        uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            struct pollfd p = {master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN))
                continue;
            const int n = modbus_receive(ctx_, request);
            if (n > 0 && modbus_reply(ctx_, request, n, mapping_) > 0)
                ++answered_;
        }
    }

    int master_ = -1;
    QString path_;
    modbus_t *ctx_ = nullptr;
    modbus_mapping_t *mapping_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0};
};

} // namespace

class TestRs485 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMeterMetaTypes(); }
    void modbusTest1_data();
    void modbusTest1();
    void readoutTests_data();
    void readoutTests();
    void smlListening_data();
    void smlListening();
    void chainReachesTheLastTest();
    void libmodbusPeerReadsAlike();
    void unplugged_data();
    void unplugged();
};

void TestRs485::modbusTest1_data()
{
    QTest::addColumn<QString>("meterNumber");
    QTest::addColumn<Options>("options");
    QTest::addColumn<QStringList>("expectedTest1");
    QTest::addColumn<QString>("values"); // empty: test 1 fails and the chain goes on

    const auto at = [](quint8 slave) {
        Options o;
        o.slaveAddress = slave;
        return o;
    };
    const auto good = [](int i) { return exchange(i, modbusAnswer(kSlave, i)); };
    const auto silent = [](int i) { return exchange(i, QByteArray()); };
    const QString all = heldValues(kModbusFields);

    QTest::newRow("slave-12345678") << "12345678" << at(0x79) << allGood(0x79) << all;
    QTest::newRow("slave-00") << "00" << at(0x01) << allGood(0x01) << all;
    QTest::newRow("slave-0") << "0" << at(0x01) << allGood(0x01) << all;
    QTest::newRow("slave-0F") << "0F" << at(0x10) << allGood(0x10) << all;
    // Slave 0 is the broadcast address, which no meter answers.
    QTest::newRow("slave-FF") << "FF" << at(0x00) << head(1) + exchange(0, QByteArray(), 0x00) + QStringList{kNoData}
                              << QString();
    QTest::newRow("slave-not-hexadecimal") << "1234567X" << at(0x79) << head(1) << QString();

    QMap<quint16, ModbusFault> silentBut0And11;
    for (int i = 1; i < kModbusRequestCount; ++i)
        if (i != 11)
            silentBut0And11.insert(kModbusRequests[i].firstRegister, ModbusFault::NoAnswer);
    QTest::newRow("only-0-and-11") << "12345678" << modbusFaults(silentBut0And11)
                                   << modbusTest([&](int i) { return i == 0 || i == 11 ? good(i) : silent(i); })
                                   << heldValues({"170"});
    QTest::newRow("no-answer-late") << "12345678" << modbusFaults({{0x4102, ModbusFault::NoAnswer}})
                                    << modbusTest([&](int i) { return i == 7 ? silent(i) : good(i); })
                                    << heldValues(without(kModbusFields, "281"));
    // An exception answer has a good CRC: kept and logged, no value taken.
    const QByteArray exception = ModbusAnswerBuilder::exceptionAnswer(kSlave, 0x03, 0x02);
    QTest::newRow("exception") << "12345678" << modbusFaults({{0x0000, ModbusFault::Exception}})
                               << modbusTest([&](int i) { return i == 11 ? exchange(i, exception) : good(i); })
                               << heldValues(without(kModbusFields, "170"));

    // A damaged answer ends the test; nothing read so far is decoded.
    const auto damagedAt = [&](int index, const QString &line) {
        return modbusTest([&](int i) { return i < index ? good(i) : QStringList(); },
                          sent(modbusRequest(kSlave, index)) + QStringList{"status: Test 1 von 3 - Lese Bytes: #", line});
    };
    const QString crcFail = QStringLiteral("red: Ergebnis: CRC Fail. Datenübertragung fehlerhaft.");
    QTest::newRow("damaged-first") << "12345678" << modbusFaults({{0x0402, ModbusFault::WrongCrc}})
                                   << damagedAt(0, kNoData) << QString();
    QTest::newRow("damaged-late") << "12345678" << modbusFaults({{0x4100, ModbusFault::WrongCrc}})
                                  << damagedAt(6, crcFail) << QString();
    QTest::newRow("one-byte") << "12345678" << modbusFaults({{0x4002, ModbusFault::OneByte}}) << damagedAt(2, crcFail)
                              << QString();
    // The second half comes a second later: the first half is read alone.
    QTest::newRow("in-pieces") << "12345678" << modbusFaults({{0x4004, ModbusFault::InPieces}})
                               << damagedAt(3, crcFail) << QString();
}

void TestRs485::modbusTest1()
{
    QFETCH(QString, meterNumber);
    QFETCH(Options, options);
    QFETCH(QStringList, expectedTest1);
    QFETCH(QString, values);

    EngineRig rig(Profile::ModbusSlave, options);
    QVERIFY(rig.run(Test_All, MODBUS485_Converter, meterNumber));
    const QStringList lines = rig.folded();
    QVERIFY(sameLines(segment(lines, 1), expectedTest1));
    if (values.isEmpty()) {
        // The chain goes on through test 4; the Modbus meter answers none of them.
        QVERIFY(!segment(lines, 4).isEmpty());
        QCOMPARE(lines.mid(lines.size() - 3), ending(kFailed));
    } else {
        QCOMPARE(validValues(rig.recorder().records.at(0)), values);
        QCOMPARE(lines.mid(lines.size() - 3), ending(kModbusOk));
    }
}

void TestRs485::readoutTests_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QStringList>("expected");

    const QByteArray ident = telegrams::iecIdentification('5');
    const QByteArray data = telegrams::iecDataMessage();
    const QString ok7E1 = QStringLiteral("erfolgreich | OBIS ASCII | 9600 7E1");
    QTest::newRow("t2-7e1") << Options() << head(2) + readout(2, "\x06" "000\r\n", ident + data) + ending(ok7E1);

    Options at8N1;
    at8N1.format = metersim::format8N1(9600);
    QTest::newRow("t3-8n1") << at8N1
                            << head(2) + sent("/?!\r\n") + sent("\x06" "000\r\n") + QStringList{kNoData} + head(3)
                                   + readout(3, "\x06" "050\r\n", ident + data)
                                   + ending(QStringLiteral("erfolgreich | OBIS ASCII | 9600 8N1"));

    // Without ETX the reading ends after a second of silence and what came is evaluated.
    Options noEtx;
    noEtx.telegram = data.left(data.size() - 2);
    QTest::newRow("t2-no-etx") << noEtx << head(2) + readout(2, "\x06" "000\r\n", ident + noEtx.telegram) + ending(ok7E1);
}

void TestRs485::readoutTests()
{
    QFETCH(Options, options);
    QFETCH(QStringList, expected);

    EngineRig rig(Profile::Rs485Iec, options);
    QVERIFY(rig.run(Test_02, MODBUS485_Converter, QStringLiteral("0")));
    QVERIFY(sameLines(rig.folded().mid(1), expected));
    QCOMPARE(validValues(rig.recorder().records.at(0)), heldValues(kIecFields));
    // The count lags one chunk behind: the first shows the empty buffer.
    QCOMPARE(rig.recorder().byteCounts().first(), 0);
}

void TestRs485::smlListening_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QStringList>("expected");

    const QByteArray sml = telegrams::smlFile();
    const QString ok = QStringLiteral("erfolgreich | SML | 9600 8N1");
    const auto pushing = [](int firstMs, int intervalMs, const QByteArray &telegram) {
        Options o;
        o.firstPushMs = firstMs;
        o.intervalMs = intervalMs;
        o.telegram = telegram;
        return o;
    };
    QTest::newRow("push-inside-window") << pushing(0, 2000, QByteArray())
                                        << head(4) + QStringList{"values", "black: Ergebnis: " + hex(sml), "print: " + hex(sml)}
                                               + ending(ok);
    QTest::newRow("push-outside-window") << pushing(9000, 20000, QByteArray()) << head(4) + QStringList{kNoData} + ending(kFailed);
    // Ends right after the end escape: the fill count and CRC never come.
    const QByteArray cut = sml.left(sml.size() - 3);
    QTest::newRow("cut-at-end") << pushing(1000, 20000, cut)
                                << head(4) + QStringList{"black: Ergebnis: " + hex(cut), "print: " + hex(cut)} + ending(ok);
    // A frame without an energy register fails without a word.
    QTest::newRow("no-energy-register") << pushing(1000, 20000, telegrams::smlRequest()) << head(4) + ending(kFailed);
}

void TestRs485::smlListening()
{
    QFETCH(Options, options);
    QFETCH(QStringList, expected);

    EngineRig rig(Profile::Rs485SmlPush, options);
    QVERIFY(rig.run(Test_04, MODBUS485_Converter, QStringLiteral("0")));
    QVERIFY(sameLines(rig.folded().mid(1), expected));
    if (expected.contains(QStringLiteral("values")))
        QCOMPARE(validValues(rig.recorder().records.at(0)), heldValues(kSmlFields));
}

void TestRs485::chainReachesTheLastTest()
{
    // An SML push meter: only test 4 can read it, so all four run.
    Options o;
    o.intervalMs = 2000;
    EngineRig rig(Profile::Rs485SmlPush, o);
    QVERIFY(rig.run(Test_All, MODBUS485_Converter, QStringLiteral("0")));
    const QStringList lines = rig.folded();
    for (int test = 1; test <= 3; ++test)
        QVERIFY2(segment(lines, test).contains(kNoData), qPrintable(QString::number(test)));
    QVERIFY(segment(lines, 4).contains(QStringLiteral("values")));
    QCOMPARE(lines.mid(lines.size() - 3), ending(QStringLiteral("erfolgreich | SML | 9600 8N1")));
}

void TestRs485::libmodbusPeerReadsAlike()
{
    LibmodbusPeer peer(kSlave);
    QVERIFY(!peer.slavePath().isEmpty());
    serialclass worker;
    SignalRecorder recorder(worker);
    QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Q_ARG(QString, peer.slavePath()));
    QMetaObject::invokeMethod(&worker, "slotStartTest", Q_ARG(QString, QStringLiteral("12345678")),
                              Q_ARG(TestMode_t, Test_All), Q_ARG(enum_interfaces_t, MODBUS485_Converter));
    QTRY_VERIFY_WITH_TIMEOUT(recorder.finished == 1, 60000);

    QCOMPARE(peer.answered(), kModbusRequestCount);
    QVERIFY(sameLines(recorder.folded().mid(1), allGood(kSlave) + ending(kModbusOk)));
    QCOMPARE(validValues(recorder.records.at(0)), heldValues(kModbusFields));
}

void TestRs485::unplugged_data()
{
    QTest::addColumn<Profile>("profile");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("unplugAfterMs");
    QTest::addColumn<int>("failedTests");

    QTest::newRow("t1-modbus") << Profile::ModbusSlave << 0 << 2500 << 4;
    QTest::newRow("t2-readout") << Profile::Rs485Iec << 2 << 3000 << 3;
    QTest::newRow("t4-sml") << Profile::Rs485SmlPush << 4 << 3000 << 1;
}

void TestRs485::unplugged()
{
    QFETCH(Profile, profile);
    QFETCH(int, mode);
    QFETCH(int, unplugAfterMs);
    QFETCH(int, failedTests);
    EngineRig(profile, modbusFaults({})).verifyUnplugged(mode, MODBUS485_Converter, unplugAfterMs, failedTests);
}

QTEST_GUILESS_MAIN(TestRs485)
#include "tst_rs485.moc"
