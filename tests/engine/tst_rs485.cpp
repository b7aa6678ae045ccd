// The RS485 converter chain and its four tests through a real QSerialPort on
// a pseudo-terminal: our simulated meters, and one Modbus slave built on
// libmodbus as an independent peer.
#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <cstring>
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

Q_DECLARE_METATYPE(metersim::Profile)
Q_DECLARE_METATYPE(metersim::Options)

namespace {

constexpr int kRunLimitMs = 150000; // guards against a hang only

const char *const kHeadings[] = {
    "RS485: Test 1 mit Baud 9600 8E1 bidirektional:",
    "RS485: Test 2 mit Baud 9600 7E1 bidirektional:",
    "RS485: Test 3 mit Baud 9600 8N1 bidirektional:",
    "RS485: Test 4 mit Baud 9600 8N1 unidirektional:",
};

QString hex(const QByteArray &b) { return QString::fromLatin1(b.toHex().toUpper()); }

QStringList stepHead(int test)
{
    return {QStringLiteral("status: Test %1 von 4 - Bitte warten!").arg(test),
            QStringLiteral("blue: ") + QLatin1String(kHeadings[test - 1])};
}

QStringList ending(const QString &result)
{
    return {QStringLiteral("result: ") + result, QStringLiteral("status: Test beendet!"), QStringLiteral("finished")};
}

const QString kFailed = QStringLiteral("nicht erfolgreich | - | -");
const QString kNoData = QStringLiteral("red: Ergebnis: Keine Daten");
const QString kCrcFail = QStringLiteral("red: Ergebnis: CRC Fail. Datenübertragung fehlerhaft.");

// The lines of one test of the chain: from its status text up to the next
// test's or the result line.
QStringList segment(const QStringList &lines, int test)
{
    const int from = lines.indexOf(QStringLiteral("status: Test %1 von 4 - Bitte warten!").arg(test));
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
    QByteArray frame;
    frame.append(char(slave)).append(char(r.function));
    frame.append(char(r.firstRegister >> 8)).append(char(r.firstRegister & 0xFF));
    frame.append(char(r.registerCount >> 8)).append(char(r.registerCount & 0xFF));
    return ModbusAnswerBuilder::withCrc(frame);
}

QByteArray modbusAnswer(quint8 slave, int index, const QMap<quint16, quint16> &registers)
{
    const ModbusRequest &r = kModbusRequests[index];
    QVector<quint16> values;
    for (int reg = r.firstRegister; reg < r.firstRegister + r.registerCount; ++reg)
        values << registers.value(quint16(reg));
    return ModbusAnswerBuilder::readAnswer(slave, values);
}

// The lines of one Modbus request: sent, count, and the answer where one is
// expected as good.
QStringList modbusExchange(quint8 slave, int index, const QByteArray &answer)
{
    QStringList l{QStringLiteral("blue: Sende:") + hex(modbusRequest(slave, index))};
    if (!answer.isEmpty())
        l << QStringLiteral("status: Test 1 von 3 - Lese Bytes: #") << QStringLiteral("black: Ergebnis: ") + hex(answer)
          << QStringLiteral("print: ") + hex(answer);
    return l;
}

// Test 1 against a slave that answers every request with the default map.
QStringList modbusAllAnswered(quint8 slave)
{
    QStringList l = stepHead(1);
    for (int i = 0; i < kModbusRequestCount; ++i)
        l += modbusExchange(slave, i, modbusAnswer(slave, i, metersim::telegrams::modbusRegisters()));
    return l << QStringLiteral("values");
}

QString modbusValues() { return heldValues(metersim::telegrams::defaultValues(), kModbusFields); }

Options modbusSlave(quint8 address)
{
    Options o;
    o.slaveAddress = address;
    return o;
}

Options modbusFaults(const QMap<quint16, ModbusFault> &faults)
{
    Options o = modbusSlave(0x79);
    o.modbusFaults = faults;
    return o;
}

// Every register of the request table left unanswered but these.
QMap<quint16, ModbusFault> answeringOnly(const QList<int> &indexes)
{
    QMap<quint16, ModbusFault> faults;
    for (int i = 0; i < kModbusRequestCount; ++i)
        if (!indexes.contains(i))
            faults.insert(kModbusRequests[i].firstRegister, ModbusFault::NoAnswer);
    return faults;
}

// Readout tests 2 and 3: request, acknowledgement, the count, the readout.
QStringList readoutAccepted(int test, const char *ackHex, const QByteArray &buffer)
{
    return {QStringLiteral("blue: Sende:2F3F210D0A"),
            QStringLiteral("blue: Sende:") + QLatin1String(ackHex),
            QStringLiteral("status: Test %1 von 3 - Lese Bytes: #").arg(test),
            QStringLiteral("values"),
            QStringLiteral("black: Ergebnis: ") + QString::fromUtf8(buffer),
            QStringLiteral("print: ") + QString::fromUtf8(buffer),
            QStringLiteral("black: ") + hex(buffer)};
}

QStringList readoutWithoutData(const char *ackHex)
{
    return {QStringLiteral("blue: Sende:2F3F210D0A"), QStringLiteral("blue: Sende:") + QLatin1String(ackHex), kNoData};
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
        const QMap<quint16, quint16> registers = metersim::telegrams::modbusRegisters();
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
    void slaveAddress_data();
    void slaveAddress();
    void modbusAnswers_data();
    void modbusAnswers();
    void readoutTests_data();
    void readoutTests();
    void smlListening_data();
    void smlListening();
    void chainReachesTheLastTest();
    void libmodbusPeerReadsAlike();
    void unplugged_data();
    void unplugged();
};

void TestRs485::slaveAddress_data()
{
    QTest::addColumn<QString>("meterNumber");
    QTest::addColumn<int>("meterAddress");
    QTest::addColumn<QStringList>("expectedTest1"); // empty: the meter is read

    QTest::newRow("12345678") << QStringLiteral("12345678") << 0x79 << QStringList();
    QTest::newRow("00") << QStringLiteral("00") << 0x01 << QStringList();
    QTest::newRow("0") << QStringLiteral("0") << 0x01 << QStringList();
    QTest::newRow("0F") << QStringLiteral("0F") << 0x10 << QStringList();
    // Slave 0 is the broadcast address, which no meter answers.
    QTest::newRow("FF") << QStringLiteral("FF") << 0x00
                        << stepHead(1) + modbusExchange(0x00, 0, QByteArray()) + QStringList{kNoData};
    QTest::newRow("not-hexadecimal") << QStringLiteral("1234567X") << 0x79 << stepHead(1);
}

void TestRs485::slaveAddress()
{
    QFETCH(QString, meterNumber);
    QFETCH(int, meterAddress);
    QFETCH(QStringList, expectedTest1);

    EngineRig rig(Profile::ModbusSlave, modbusSlave(quint8(meterAddress)));
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    rig.startTest(Test_All, MODBUS485_Converter, meterNumber);
    QVERIFY(rig.waitFinished(kRunLimitMs));

    const QStringList lines = rig.recorder().folded();
    if (expectedTest1.isEmpty()) {
        QVERIFY(sameLines(lines, QStringList{QStringLiteral("blue: Viviv Testprogramm v.1.19")}
                                     + modbusAllAnswered(quint8(meterAddress))
                                     + ending(QStringLiteral("erfolgreich | Modbus RTU | 9600 8E1"))));
        QCOMPARE(validValues(rig.recorder().records.value(0)), modbusValues());
    } else {
        QVERIFY(sameLines(segment(lines, 1), expectedTest1));
        // The chain goes on with test 2; the Modbus meter answers none of the others.
        QVERIFY(!segment(lines, 4).isEmpty());
        QCOMPARE(lines.mid(lines.size() - 3), ending(kFailed));
    }
}

void TestRs485::modbusAnswers_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QStringList>("expectedTest1");
    QTest::addColumn<QString>("values"); // empty: test 1 fails

    const QMap<quint16, quint16> regs = metersim::telegrams::modbusRegisters();
    const auto good = [&regs](int i) { return modbusExchange(0x79, i, modbusAnswer(0x79, i, regs)); };
    const auto silent = [](int i) { return modbusExchange(0x79, i, QByteArray()); };

    QStringList only0and11 = stepHead(1);
    for (int i = 0; i < kModbusRequestCount; ++i)
        only0and11 += (i == 0 || i == 11) ? good(i) : silent(i);
    QTest::newRow("only-0-and-11") << modbusFaults(answeringOnly({0, 11})) << only0and11 + QStringList{"values"}
                                   << QStringLiteral("170=%1").arg(metersim::telegrams::defaultValues().power_W);

    QStringList no281 = stepHead(1);
    for (int i = 0; i < kModbusRequestCount; ++i)
        no281 += i == 7 ? silent(i) : good(i);
    metersim::MeterValues withoutT1 = metersim::telegrams::defaultValues();
    QStringList fieldsWithout281 = kModbusFields;
    fieldsWithout281.removeAll(QStringLiteral("281"));
    QTest::newRow("no-answer-late") << modbusFaults({{0x4102, ModbusFault::NoAnswer}}) << no281 + QStringList{"values"}
                                    << heldValues(withoutT1, fieldsWithout281);

    const QStringList damagedFirst = stepHead(1)
        + QStringList{QStringLiteral("blue: Sende:") + hex(modbusRequest(0x79, 0)),
                      QStringLiteral("status: Test 1 von 3 - Lese Bytes: #"), kNoData};
    QTest::newRow("damaged-first") << modbusFaults({{0x0402, ModbusFault::WrongCrc}}) << damagedFirst << QString();

    // Damaged after six good answers: nothing is decoded.
    const auto damagedAt = [&](int index) {
        QStringList l = stepHead(1);
        for (int i = 0; i < index; ++i)
            l += good(i);
        return l + QStringList{QStringLiteral("blue: Sende:") + hex(modbusRequest(0x79, index)),
                               QStringLiteral("status: Test 1 von 3 - Lese Bytes: #"), kCrcFail};
    };
    QTest::newRow("damaged-late") << modbusFaults({{0x4100, ModbusFault::WrongCrc}}) << damagedAt(6) << QString();
    QTest::newRow("one-byte") << modbusFaults({{0x4002, ModbusFault::OneByte}}) << damagedAt(2) << QString();
    // The second half comes a second later: the first half is read alone.
    QTest::newRow("in-pieces") << modbusFaults({{0x4004, ModbusFault::InPieces}}) << damagedAt(3) << QString();

    // An exception answer has a good CRC: it is logged and kept, the test
    // succeeds, and the decoder takes no value from it.
    const QByteArray exception = ModbusAnswerBuilder::exceptionAnswer(0x79, 0x03, 0x02);
    QStringList withException = stepHead(1);
    for (int i = 0; i < kModbusRequestCount; ++i)
        withException += i == 11 ? modbusExchange(0x79, i, exception) : good(i);
    QStringList fieldsWithout170 = kModbusFields;
    fieldsWithout170.removeAll(QStringLiteral("170"));
    QTest::newRow("exception") << modbusFaults({{0x0000, ModbusFault::Exception}}) << withException + QStringList{"values"}
                               << heldValues(metersim::telegrams::defaultValues(), fieldsWithout170);
}

void TestRs485::modbusAnswers()
{
    QFETCH(Options, options);
    QFETCH(QStringList, expectedTest1);
    QFETCH(QString, values);

    EngineRig rig(Profile::ModbusSlave, options);
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    rig.startTest(Test_All, MODBUS485_Converter, QStringLiteral("12345678"));
    QVERIFY(rig.waitFinished(kRunLimitMs));

    const QStringList lines = rig.recorder().folded();
    QVERIFY(sameLines(segment(lines, 1), expectedTest1));
    if (values.isEmpty()) {
        QCOMPARE(rig.recorder().records.size(), 0);
        QCOMPARE(lines.mid(lines.size() - 3), ending(kFailed));
    } else {
        QCOMPARE(rig.recorder().records.size(), 1);
        QCOMPARE(validValues(rig.recorder().records.at(0)), values);
        QCOMPARE(lines.mid(lines.size() - 3), ending(QStringLiteral("erfolgreich | Modbus RTU | 9600 8E1")));
    }
}

void TestRs485::readoutTests_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QStringList>("expectedTests2And3");
    QTest::addColumn<QString>("result");

    const QByteArray ident = metersim::telegrams::iecIdentification('5');
    const QByteArray data = metersim::telegrams::iecDataMessage();

    QTest::newRow("t2-7e1") << Options() << stepHead(2) + readoutAccepted(2, "063030300D0A", ident + data)
                            << QStringLiteral("erfolgreich | OBIS ASCII | 9600 7E1");

    Options at8N1;
    at8N1.format = metersim::format8N1(9600);
    QTest::newRow("t3-8n1") << at8N1
                            << stepHead(2) + readoutWithoutData("063030300D0A") + stepHead(3)
                                   + readoutAccepted(3, "063035300D0A", ident + data)
                            << QStringLiteral("erfolgreich | OBIS ASCII | 9600 8N1");

    // Without ETX the reading ends after a second of silence and the text is
    // evaluated all the same.
    Options noEtx;
    noEtx.telegram = data.left(data.size() - 2);
    QTest::newRow("t2-no-etx") << noEtx << stepHead(2) + readoutAccepted(2, "063030300D0A", ident + noEtx.telegram)
                               << QStringLiteral("erfolgreich | OBIS ASCII | 9600 7E1");
}

void TestRs485::readoutTests()
{
    QFETCH(Options, options);
    QFETCH(QStringList, expectedTests2And3);
    QFETCH(QString, result);

    EngineRig rig(Profile::Rs485Iec, options);
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    rig.startTest(Test_02, MODBUS485_Converter, QStringLiteral("0"));
    QVERIFY(rig.waitFinished(kRunLimitMs));

    const QStringList lines = rig.recorder().folded();
    QVERIFY(sameLines(lines.mid(1, lines.size() - 4), expectedTests2And3));
    QCOMPARE(lines.mid(lines.size() - 3), ending(result));
    QCOMPARE(validValues(rig.recorder().records.value(0)),
             heldValues(metersim::telegrams::defaultValues(), kIecFields));
    // The count lags one chunk behind: the first shows the empty buffer.
    QCOMPARE(rig.recorder().byteCounts().first(), 0);
}

void TestRs485::smlListening_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QStringList>("expected");

    const QByteArray sml = metersim::telegrams::smlFile();
    const QString ok = QStringLiteral("erfolgreich | SML | 9600 8N1");
    Options every2s;
    every2s.intervalMs = 2000;
    QTest::newRow("push-inside-window")
        << every2s
        << stepHead(4) + QStringList{"values", "black: Ergebnis: " + hex(sml), "print: " + hex(sml)} + ending(ok);

    Options late;
    late.firstPushMs = 9000;
    late.intervalMs = 20000;
    QTest::newRow("push-outside-window") << late << stepHead(4) + QStringList{kNoData} + ending(kFailed);

    // Ends right after the end escape: the fill count and CRC never come.
    Options cut;
    cut.telegram = sml.left(sml.size() - 3);
    cut.firstPushMs = 1000;
    cut.intervalMs = 20000;
    QTest::newRow("cut-at-end") << cut
                                << stepHead(4)
                                       + QStringList{"black: Ergebnis: " + hex(cut.telegram), "print: " + hex(cut.telegram)}
                                       + ending(ok);

    // A frame without an energy register fails without a word.
    Options noEnergy;
    noEnergy.telegram = metersim::telegrams::smlRequest();
    noEnergy.firstPushMs = 1000;
    noEnergy.intervalMs = 20000;
    QTest::newRow("no-energy-register") << noEnergy << stepHead(4) + ending(kFailed);
}

void TestRs485::smlListening()
{
    QFETCH(Options, options);
    QFETCH(QStringList, expected);

    EngineRig rig(Profile::Rs485SmlPush, options);
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    rig.startTest(Test_04, MODBUS485_Converter, QStringLiteral("0"));
    QVERIFY(rig.waitFinished(kRunLimitMs));
    QVERIFY(sameLines(rig.recorder().folded().mid(1), expected));
    if (expected.contains(QStringLiteral("values")))
        QCOMPARE(validValues(rig.recorder().records.value(0)),
                 heldValues(metersim::telegrams::defaultValues(), kSmlFields));
}

void TestRs485::chainReachesTheLastTest()
{
    // An SML push meter: only test 4 can read it, so all four run.
    Options o;
    o.intervalMs = 2000;
    EngineRig rig(Profile::Rs485SmlPush, o);
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    rig.startTest(Test_All, MODBUS485_Converter, QStringLiteral("0"));
    QVERIFY(rig.waitFinished(kRunLimitMs));

    const QStringList lines = rig.recorder().folded();
    for (int test = 1; test <= 4; ++test)
        QVERIFY2(!segment(lines, test).isEmpty(), qPrintable(QString::number(test)));
    QVERIFY(segment(lines, 1).contains(kNoData));
    QVERIFY(segment(lines, 2).contains(kNoData) && segment(lines, 3).contains(kNoData));
    QVERIFY(segment(lines, 4).contains(QStringLiteral("values")));
    QCOMPARE(lines.mid(lines.size() - 3), ending(QStringLiteral("erfolgreich | SML | 9600 8N1")));
}

void TestRs485::libmodbusPeerReadsAlike()
{
    LibmodbusPeer peer(0x79);
    QVERIFY(!peer.slavePath().isEmpty());
    serialclass worker;
    SignalRecorder recorder(worker);
    QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Q_ARG(QString, peer.slavePath()));
    QMetaObject::invokeMethod(&worker, "slotStartTest", Q_ARG(QString, QStringLiteral("12345678")),
                              Q_ARG(TestMode_t, Test_All), Q_ARG(enum_interfaces_t, MODBUS485_Converter));
    QTRY_VERIFY_WITH_TIMEOUT(recorder.finished == 1, kRunLimitMs);

    QCOMPARE(peer.answered(), kModbusRequestCount);
    QCOMPARE(recorder.records.size(), 1);
    QCOMPARE(validValues(recorder.records.at(0)), modbusValues());
    QCOMPARE(recorder.lines.mid(recorder.lines.size() - 3),
             ending(QStringLiteral("erfolgreich | Modbus RTU | 9600 8E1")));
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

    EngineRig rig(profile, modbusSlave(0x79));
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    QElapsedTimer sinceStart;
    sinceStart.start();
    rig.startTest(TestMode_t(mode), MODBUS485_Converter, QStringLiteral("12345678"));
    rig.unplugAfter(unplugAfterMs);
    QVERIFY(rig.waitFinished(kRunLimitMs));
    // The rest of the chain fails at once, not after its prescribed time.
    QVERIFY2(sinceStart.elapsed() < unplugAfterMs + 5000, qPrintable(QString::number(sinceStart.elapsed())));

    const QString failure = QStringLiteral("red: Fehler an der Schnittstelle: ") + QString::fromLocal8Bit(strerror(EIO));
    QCOMPARE(rig.recorder().logLinesStartingWith(QStringLiteral("Fehler an der Schnittstelle: ")),
             QVector<QString>(failedTests, failure).toList());
    const QStringList lines = rig.recorder().lines;
    QCOMPARE(lines.mid(lines.size() - 3), ending(kFailed));
    QCOMPARE(rig.recorder().finished, 1);
    QVERIFY2(rig.reconnectsAfterwards(&why), qPrintable(why));
}

QTEST_GUILESS_MAIN(TestRs485)
#include "tst_rs485.moc"
