// Modbus RTU: CRC, the thirteen requests against libmodbus, and decodeModbus
// on the answer rows of testdata/modbus/.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <thread>

#include <modbus/modbus.h>

#include "tools/modbus_encoder/modbusencoder.h"
#include "protocols/modbusrtu.h"
#include "protocols/parserclass.h"
#include "tests/iec/testrows.h"

Q_DECLARE_METATYPE(ModbusAnswerFault)

namespace {

// libmodbus as the master on one end of a pseudo-terminal reads `count`
// registers from `first`; we play the meter on the other end and send
// `answer`. Gives libmodbus's result and the request it wrote.
int readThroughLibmodbus(int slave, int first, int count, const QByteArray &answer, QByteArray *request,
                         quint16 *registers)
{
    const int pty = posix_openpt(O_RDWR | O_NOCTTY);
    modbus_t *ctx = pty >= 0 && grantpt(pty) == 0 && unlockpt(pty) == 0
        ? modbus_new_rtu(ptsname(pty), 9600, 'E', 8, 1) : nullptr;
    int rc = -2;
    if (ctx && modbus_connect(ctx) == 0) {
        modbus_set_slave(ctx, slave);
        modbus_set_response_timeout(ctx, 3, 0); // generous: the machine may be loaded
        std::thread master([&] { rc = modbus_read_registers(ctx, first, count, registers); });
        pollfd in{ pty, POLLIN, 0 };
        char byte;
        while (request->size() < 8 && poll(&in, 1, 5000) > 0 && ::read(pty, &byte, 1) == 1)
            *request += byte;
        if (::write(pty, answer.constData(), size_t(answer.size())) != answer.size())
            request->clear();
        master.join();
        modbus_close(ctx);
    }
    modbus_free(ctx);
    ::close(pty);
    return rc;
}

} // namespace

class TestModbusCodec : public QObject
{
    Q_OBJECT

private slots:
    void crc_data() { addDataRows(TESTDATA "/modbus/checks.txt", { "bytes", "n", "crc", "crcGood" }); }
    void crc();
    void libmodbus_data();
    void libmodbus();
    void decode_data() { addDataRows(TESTDATA "/modbus/decode.txt", { "answers", "expected" }); }
    void decode();

private:
    parserclass p;
};

void TestModbusCodec::crc()
{
    QFETCH(QString, bytes);
    QFETCH(QString, n);
    QFETCH(QString, crc);
    QFETCH(QString, crcGood);
    const QByteArray frame = QByteArray::fromHex(bytes.toLatin1());
    QCOMPARE(p.calcModbusCrc(frame, n.toInt()), quint16(crc.toUInt(nullptr, 16)));
    QCOMPARE(p.checkModbusCrc(frame), crcGood == "yes");
}

void TestModbusCodec::libmodbus_data()
{
    QTest::addColumn<int>("slave");
    QTest::addColumn<ModbusAnswerFault>("fault");
    // Debian's libmodbus refuses slaves above 247 (meter number "FF" + 1 gives
    // 0, "F7" gives F8): those are checked against our own CRC only.
    for (int slave : { 0x01, 0x79, 0x10, 0xF7, 0x00, 0xF8, 0xFF })
        QTest::addRow("slave %d", slave) << slave << ModbusAnswerFault::None;
    for (int fault = int(ModbusAnswerFault::WrongCrc); fault <= int(ModbusAnswerFault::WrongSlave); ++fault)
        QTest::addRow("fault %d", fault) << 0x21 << ModbusAnswerFault(fault);
}

// Our requests are byte for byte those of libmodbus, libmodbus reads the
// registers out of the answers that our builder makes, and refuses each
// faulty answer; our CRC check finds the faults that change the CRC.
void TestModbusCodec::libmodbus()
{
    QFETCH(int, slave);
    QFETCH(ModbusAnswerFault, fault);
    using F = ModbusAnswerFault;
    const QList<QStringList> requests = dataLines(TESTDATA "/modbus/requests.txt");
    QCOMPARE(requests.size(), kModbusRequestCount);
    for (int i = 0; i < kModbusRequestCount; ++i) {
        const QByteArray bytes = QByteArray::fromHex(requests[i][1].toLatin1());
        const QByteArray ours = modbusRequestFrame(quint8(slave), i);
        QCOMPARE(ours.toHex(), ModbusAnswerBuilder::withCrc(char(slave) + bytes).toHex());
        QVERIFY(p.checkModbusCrc(ours));
        if (slave > 247 || (fault != F::None && i != 1))
            continue; // a faulty answer costs libmodbus its time-out: one request is enough
        const int count = quint8(bytes[4]);
        const quint64 value = 0x0102030405060708ULL + quint64(i) * 0x1111;
        const QByteArray answer = ModbusAnswerBuilder::answerFor(quint8(slave), i, value, fault);
        QCOMPARE(p.checkModbusCrc(answer), fault != F::WrongCrc && fault != F::OneByte && fault != F::Cut);
        QByteArray request;
        quint16 registers[8] = {};
        const int rc = readThroughLibmodbus(slave, quint8(bytes[1]) << 8 | quint8(bytes[2]), count, answer, &request,
                                            registers);
        QCOMPARE(request.toHex(), ours.toHex());
        QCOMPARE(ModbusAnswerBuilder::requestIndex(request), i);
        QCOMPARE(rc == count, fault == F::None);
        for (int r = 0; r < count && rc == count; ++r)
            QCOMPARE(registers[r], quint16(value >> (16 * (count - 1 - r))));
    }
}

void TestModbusCodec::decode()
{
    QFETCH(QString, answers);
    QFETCH(QString, expected);
    modbus_answers_t record;
    for (const QString &slot : answers.split(' ', Qt::SkipEmptyParts))
        record.slot[slot.section(':', 0, 0).toInt()] = QByteArray::fromHex(slot.section(':', 1).toLatin1());
    verifyRecord(p.decodeModbus(record), expected + " Ident= Maker= MeterNumber=");
}

QTEST_GUILESS_MAIN(TestModbusCodec)
#include "tst_modbuscodec.moc"
