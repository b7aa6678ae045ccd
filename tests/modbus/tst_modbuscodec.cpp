// Modbus RTU: CRC, decodeModbus and parseModbusReply on the rows of testdata/modbus/rows.json,
// and the thirteen requests against libmodbus.
#include <fcntl.h>
#include <unistd.h>

#include <modbus/modbus.h>

#include "protocols/modbusrtu.h"
#include "tools/modbus_encoder/modbusencoder.h"
#include "protocols/modbusprobe.h"
#include "tests/common/testrows.h"

namespace {

// libmodbus as the master on one end of a pseudo-terminal reads the registers
// that `request` asks for; we play the meter on the other end, with `answer`
// waiting before the request goes out (so no thread, and no wait on a loaded
// machine). Gives libmodbus's result and the request it wrote.
int readThroughLibmodbus(const QByteArray &request, const QByteArray &answer, QByteArray *written, quint16 *registers)
{
    const int pty = posix_openpt(O_RDWR | O_NOCTTY);
    modbus_t *ctx = pty >= 0 && grantpt(pty) == 0 && unlockpt(pty) == 0
        ? modbus_new_rtu(ptsname(pty), 9600, 'E', 8, 1) : nullptr;
    int rc = -2;
    if (ctx && modbus_connect(ctx) == 0 && ::write(pty, answer.constData(), size_t(answer.size())) == answer.size()) {
        modbus_set_slave(ctx, quint8(request[0]));
        rc = modbus_read_registers(ctx, quint8(request[2]) << 8 | quint8(request[3]), quint8(request[5]), registers);
        char bytes[64];
        *written = QByteArray(bytes, int(qMax(ssize_t(0), ::read(pty, bytes, sizeof bytes))));
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
    void rows_data() { addJsonRows("modbus/rows.json", __func__); }
    void rows();
    void libmodbus_data() { addJsonRows("modbus/rows.json", __func__); }
    void libmodbus();

private:
    parserclass p;
};

void TestModbusCodec::rows()
{
    QFETCH(QJsonObject, row);
    const QString input = row["input"].toString(), result = row["result"].toString();
    if (row["call"] == "reply") {
        const QStringList hex = input.split('|');
        const ModbusReply r = parseModbusReply(QByteArray::fromHex(hex[1].toLatin1()), QByteArray::fromHex(hex[0].toLatin1()));
        static const char *const kStates[] = {"incomplete", "normal", "exception", "invalid"};
        QString got = QString::fromLatin1(kStates[int(r.state)]);
        for (const quint16 value : r.registers)
            got += QStringLiteral(" %1").arg(value, 4, 16, QLatin1Char('0'));
        if (r.state == ModbusReply::State::Exception)
            got += QStringLiteral(" %1").arg(r.exceptionCode);
        QCOMPARE(got, result);
        return;
    }
    if (row["call"] == "crc") {
        const QByteArray bytes = QByteArray::fromHex(input.toLatin1());
        QCOMPARE(QString::number(p.calcModbusCrc(bytes, row["n"].toInt()), 16)
                     + (p.checkModbusCrc(bytes) ? " yes" : " no"), result);
        return;
    }
    modbus_answers_t answers; // written slot:frame
    for (const QString &slot : input.split(' ', Qt::SkipEmptyParts))
        answers.slot[slot.section(':', 0, 0).toInt()] = QByteArray::fromHex(slot.section(':', 1).toLatin1());
    compareRecord(p.decodeModbus(answers), result.split(' ', Qt::SkipEmptyParts));
}

// Our requests are byte for byte those of libmodbus, libmodbus reads the
// registers out of the answers that our builder makes, and refuses each
// faulty answer; our CRC check finds the faults that change the CRC.
void TestModbusCodec::libmodbus()
{
    QFETCH(QJsonObject, row);
    const int slave = row["slave"].toInt(), fault = row["fault"].toInt(); // a ModbusAnswerFault, 0: none
    static const QJsonArray requests = jsonFile("modbus/rows.json")["requests"].toArray(); // read once, for all rows
    for (int i = 0; i < kModbusRequestCount; ++i) {
        const QByteArray ours = modbusRequestFrame(quint8(slave), i);
        const QByteArray asked = QByteArray::fromHex(requests[i].toString().toLatin1());
        QCOMPARE(ours.toHex(), ModbusAnswerBuilder::withCrc(char(slave) + asked).toHex());
        if (slave > 247 || (fault != 0 && i != 1))
            continue; // a faulty answer costs libmodbus its time-out: one request is enough
        const int count = quint8(ours[5]);
        const quint64 value = 0x0102030405060708ULL + quint64(i) * 0x1111;
        const QByteArray answer = ModbusAnswerBuilder::answerFor(quint8(slave), i, value, ModbusAnswerFault(fault));
        QCOMPARE(p.checkModbusCrc(answer), row["crcGood"].toBool());
        QByteArray written;
        quint16 registers[8] = {};
        const int rc = readThroughLibmodbus(ours, answer, &written, registers);
        QCOMPARE(written.toHex(), ours.toHex());
        QCOMPARE(ModbusAnswerBuilder::requestIndex(written), i);
        QCOMPARE(rc == count, fault == 0);
        for (int r = 0; r < count && rc == count; ++r)
            QCOMPARE(registers[r], quint16(value >> (16 * (count - 1 - r))));
    }
}

QTEST_GUILESS_MAIN(TestModbusCodec)
#include "tst_modbuscodec.moc"
