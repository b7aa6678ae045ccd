#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include <modbus/modbus.h>

#include "modbusencoder.h"
#include "modbusrtu.h"
#include "parserclass.h"
#include "verifyfields.h"

Q_DECLARE_METATYPE(ModbusAnswerFault)

namespace {

// The thirteen requests as the meter's register map gives them (bytes 1 to
// 5), kept apart from kModbusRequests so that a slip in the table shows.
const char *const kRequestBytes[] = {
    "0304020003", "0340000002", "0340020002", "0340040002", "0340060002", "0340080002", "0341000002",
    "0341020002", "0341040002", "0341060002", "0341080002", "0300000002", "0300020002",
};

// libmodbus as the master on one end of a pseudo-terminal; the test plays
// the meter on the other end.
class LibmodbusMaster
{
public:
    LibmodbusMaster()
    {
        m_pty = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_pty < 0 || grantpt(m_pty) != 0 || unlockpt(m_pty) != 0)
            return;
        m_ctx = modbus_new_rtu(ptsname(m_pty), 9600, 'E', 8, 1);
        if (m_ctx && modbus_connect(m_ctx) != 0) {
            modbus_free(m_ctx);
            m_ctx = nullptr;
        }
        if (m_ctx)
            modbus_set_response_timeout(m_ctx, 3, 0); // generous: the machine may be loaded
    }
    ~LibmodbusMaster()
    {
        if (m_ctx) {
            modbus_close(m_ctx);
            modbus_free(m_ctx);
        }
        if (m_pty >= 0)
            ::close(m_pty);
    }
    bool ok() const { return m_ctx != nullptr; }

    // Sends libmodbus's request, hands what arrived on the wire to `answer`
    // and writes its result back. Returns libmodbus's result code.
    template<typename Answer>
    int readRegisters(int slave, int first, int count, QByteArray *request, quint16 *registers, Answer answer)
    {
        modbus_set_slave(m_ctx, slave);
        int rc = -1;
        std::thread master([&] { rc = modbus_read_registers(m_ctx, first, count, registers); });
        *request = readFrame(8);
        const QByteArray reply = answer(*request);
        if (::write(m_pty, reply.constData(), size_t(reply.size())) != reply.size())
            request->clear();
        master.join();
        return rc;
    }

private:
    QByteArray readFrame(int size)
    {
        QByteArray frame;
        pollfd pfd{m_pty, POLLIN, 0};
        while (frame.size() < size && poll(&pfd, 1, 5000) > 0) {
            char buf[64];
            const ssize_t n = ::read(m_pty, buf, size_t(size - frame.size()));
            if (n <= 0)
                break;
            frame.append(buf, int(n));
        }
        return frame;
    }

    int m_pty = -1;
    modbus_t *m_ctx = nullptr;
};

QByteArrayList answersIn(std::initializer_list<std::pair<int, QByteArray>> filled)
{
    QByteArrayList all;
    for (int i = 0; i < kModbusAnswerSlots; ++i)
        all.append(QByteArray());
    for (const auto &s : filled)
        all[s.first] = s.second;
    return all;
}

QByteArray withCrc(const char *hex)
{
    return ModbusAnswerBuilder::withCrc(QByteArray::fromHex(hex));
}

} // namespace

class TestModbusCodec : public QObject
{
    Q_OBJECT

private slots:
    void crc_data();
    void crc();
    void checkCrc_data();
    void checkCrc();
    void requestsAgainstLibmodbus_data();
    void requestsAgainstLibmodbus();
    void requestsBeyondLibmodbus();
    void answerFaults_data();
    void answerFaults();
    void decode_data();
    void decode();

private:
    parserclass p;
};

void TestModbusCodec::crc_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("crc");
    QTest::newRow("check value") << QByteArray("123456789") << 9 << 0x4B37;
    QTest::newRow("n = 0") << QByteArray("123456789") << 0 << 0xFFFF;
    QTest::newRow("n < 0") << QByteArray("123456789") << -3 << 0xFFFF;
    QTest::newRow("first 6 bytes") << QByteArray::fromHex("0103400000024142") << 6 << 0xCBD1;
    QTest::newRow("n beyond the end") << QByteArray("123456789") << 50 << 0x4B37;
}

void TestModbusCodec::crc()
{
    QFETCH(QByteArray, data);
    QFETCH(int, n);
    QFETCH(int, crc);
    QCOMPARE(p.calcModbusCrc(data, n), quint16(crc));
}

void TestModbusCodec::checkCrc_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("good");
    QTest::newRow("request, CRC low byte first") << QByteArray::fromHex("010340000002D1CB") << true;
    QTest::newRow("CRC high byte first") << QByteArray::fromHex("010340000002CBD1") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("one byte") << QByteArray::fromHex("01") << false;
    QTest::newRow("FF FF: CRC of nothing") << QByteArray::fromHex("FFFF") << true;
    QTest::newRow("exception answer") << ModbusAnswerBuilder::exceptionAnswer(1, 3, 2) << true;
}

void TestModbusCodec::checkCrc()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, good);
    QCOMPARE(p.checkModbusCrc(frame), good);
}

void TestModbusCodec::requestsAgainstLibmodbus_data()
{
    QTest::addColumn<int>("slave");
    for (int slave : {0x01, 0x79, 0x10, 0xF7, 0x00})
        QTest::newRow(qPrintable(QString("slave %1").arg(slave))) << slave;
}

// Our requests are byte for byte those of libmodbus, and libmodbus reads
// the registers out of the answers that our builder makes.
void TestModbusCodec::requestsAgainstLibmodbus()
{
    QFETCH(int, slave);
    LibmodbusMaster master;
    QVERIFY(master.ok());
    for (int i = 0; i < kModbusRequestCount; ++i) {
        const QByteArray bytes = QByteArray::fromHex(kRequestBytes[i]);
        const int first = quint8(bytes[1]) << 8 | quint8(bytes[2]);
        const int count = quint8(bytes[3]) << 8 | quint8(bytes[4]);
        const quint64 value = 0x0102030405060708ULL + quint64(i) * 0x1111;
        QByteArray request;
        quint16 registers[8] = {};
        const int rc = master.readRegisters(slave, first, count, &request, registers, [&](const QByteArray &) {
            return ModbusAnswerBuilder::answerFor(quint8(slave), i, value);
        });
        QCOMPARE(request.toHex(), modbusRequestFrame(quint8(slave), i).toHex());
        QCOMPARE(ModbusAnswerBuilder::requestIndex(request), i);
        QCOMPARE(rc, count);
        for (int r = 0; r < count; ++r)
            QCOMPARE(registers[r], quint16(value >> (16 * (count - 1 - r))));
    }
}

// Slaves 248 to 255 occur (meter number "FF" + 1 gives 0, "F7" gives F8) but
// libmodbus refuses them: check layout and CRC on our own.
void TestModbusCodec::requestsBeyondLibmodbus()
{
    QCOMPARE(modbusRequestFrame(0x01, 1).toHex(), QByteArray("010340000002d1cb"));
    for (int slave = 0xF8; slave <= 0xFF; ++slave) {
        for (int i = 0; i < kModbusRequestCount; ++i) {
            const QByteArray frame = modbusRequestFrame(quint8(slave), i);
            QCOMPARE(frame.left(6), char(slave) + QByteArray::fromHex(kRequestBytes[i]));
            QCOMPARE(frame, ModbusAnswerBuilder::withCrc(frame.left(6)));
            QVERIFY(p.checkModbusCrc(frame));
        }
    }
}

void TestModbusCodec::answerFaults_data()
{
    QTest::addColumn<ModbusAnswerFault>("fault");
    QTest::addColumn<bool>("crcGood");
    using F = ModbusAnswerFault;
    QTest::newRow("good") << F::None << true;
    QTest::newRow("wrong CRC") << F::WrongCrc << false;
    QTest::newRow("one byte") << F::OneByte << false;
    QTest::newRow("cut") << F::Cut << false;
    QTest::newRow("exception") << F::Exception << true;
    QTest::newRow("byte count lies") << F::LyingByteCount << true;
    QTest::newRow("wrong slave") << F::WrongSlave << true;
}

// Each faulty answer is what it claims: libmodbus refuses it too.
void TestModbusCodec::answerFaults()
{
    QFETCH(ModbusAnswerFault, fault);
    QFETCH(bool, crcGood);
    const QByteArray answer = ModbusAnswerBuilder::answerFor(0x21, 1, 123456, fault);
    QCOMPARE(p.checkModbusCrc(answer), crcGood);

    LibmodbusMaster master;
    QVERIFY(master.ok());
    QByteArray request;
    quint16 registers[2] = {};
    const int rc = master.readRegisters(0x21, 0x4000, 2, &request, registers,
                                        [&](const QByteArray &) { return answer; });
    QCOMPARE(rc == 2, fault == ModbusAnswerFault::None);
}

void TestModbusCodec::decode_data()
{
    QTest::addColumn<QByteArrayList>("answers");
    QTest::addColumn<QString>("expected");
    const auto answer = [](int request, quint64 v) { return ModbusAnswerBuilder::answerFor(1, request, v); };

    QTest::newRow("4 bytes") << answersIn({{0, withCrc("01030400 01E240")}}) << "180=123.456";
    QTest::newRow("3 bytes") << answersIn({{0, withCrc("010303 01E240")}}) << "180=123.456";
    QTest::newRow("2 bytes, power") << answersIn({{10, withCrc("010302 04D2")}}) << "170=123.4";
    QTest::newRow("unsigned") << answersIn({{0, withCrc("010304 FFFFFFFF")}}) << "180=4294967.295";
    QTest::newRow("6 bytes") << answersIn({{0, withCrc("010306 000000000001")}}) << "";
    QTest::newRow("1 byte") << answersIn({{0, withCrc("010301 05")}}) << "";
    QTest::newRow("short frame") << answersIn({{0, QByteArray::fromHex("0103")}}) << "";
    QTest::newRow("extra bytes after the data") << answersIn({{0, withCrc("010304 0001E240 AA")}}) << "180=123.456";
    QTest::newRow("energy and power slots")
        << answersIn({{0, answer(1, 1000)}, {5, answer(6, 2000)}, {10, answer(11, 30)}, {14, answer(12, 40)}})
        << "180=1 280=2 170=3 270=4";
    QTest::newRow("tariffs make the totals")
        << answersIn({{1, answer(2, 1500)}, {2, answer(3, 500)}, {6, answer(7, 7000)}, {7, answer(8, 1000)}})
        << "181=1.5 182=0.5 180=2 281=7 282=1 280=8";
    QTest::newRow("total wins over tariffs") << answersIn({{0, answer(1, 9000)}, {1, answer(2, 1000)}})
                                             << "180=9 181=1";
    QTest::newRow("slots not decoded")
        << answersIn({{3, answer(4, 1)}, {4, answer(5, 1)}, {8, answer(9, 1)}, {9, answer(10, 1)},
                      {11, answer(11, 1)}, {12, answer(11, 1)}, {13, answer(11, 1)}, {15, answer(12, 1)},
                      {16, answer(12, 1)}, {17, answer(12, 1)}, {18, answer(0, 1)}})
        << "";
    for (int code : {2, 3, 4})
        QTest::newRow(qPrintable(QString("exception %1").arg(code)))
            << answersIn({{0, ModbusAnswerBuilder::exceptionAnswer(1, 3, quint8(code))}}) << "";
    QTest::newRow("function 04") << answersIn({{0, withCrc("010404 0001E240")}}) << "";
    QTest::newRow("slave address not checked") << answersIn({{0, withCrc("090304 0001E240")}}) << "180=123.456";
    QTest::newRow("byte count lies")
        << answersIn({{0, ModbusAnswerBuilder::answerFor(1, 1, 123456, ModbusAnswerFault::LyingByteCount)},
                      {10, ModbusAnswerBuilder::readAnswer(1, {7}, ModbusAnswerFault::LyingByteCount)}})
        << "";
}

void TestModbusCodec::decode()
{
    QFETCH(QByteArrayList, answers);
    QFETCH(QString, expected);
    modbus_answers_t record;
    for (int i = 0; i < kModbusAnswerSlots; ++i)
        record.slot[i] = answers.at(i);
    const meter_result_t r = p.decodeModbus(record);
    verifyFields(r, expected);
    QCOMPARE(r.ParseError, 0);
    QVERIFY(r.Text_Ident.isEmpty() && r.Text_Maker.isEmpty() && r.Text_MeterNumber.isEmpty());
}

QTEST_GUILESS_MAIN(TestModbusCodec)
#include "tst_modbuscodec.moc"
