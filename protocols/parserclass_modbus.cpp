#include "protocols/parserclass.h"

#include "protocols/crc16.h"
#include "protocols/modbusrtu.h"

namespace {

constexpr std::array<quint16, 256> kCrcTable = reflectedCrc16Table(0xA001);

constexpr quint8 kReadHoldingRegisters = 0x03;

// The register value of one answer, or false when the answer carries none:
// anything but a function 03 answer whose frame holds all the bytes its byte
// count claims (an exception answer's code is no byte count).
bool answerValue(const QByteArray &answer, quint32 *value)
{
    if (answer.size() < kModbusHeadSize || quint8(answer.at(1)) != kReadHoldingRegisters)
        return false;
    const int count = quint8(answer.at(2));
    if (count < 2 || count > 4 || answer.size() < kModbusHeadSize + count + kModbusCrcSize)
        return false;
    quint32 v = 0;
    for (int i = 0; i < count; ++i)
        v = (v << 8) | quint8(answer.at(kModbusHeadSize + i));
    *value = v;
    return true;
}

// Energy totals the meter did not answer, formed from its tariffs. The test
// reads no power phases, so no power total is ever formed.
#define FIELD(suffix) meterField(&meter_result_t::Value_##suffix)
constexpr DerivedTotal kModbusTotals[] = {
    { FIELD(180), DerivedTotal::Unflagged, { FIELD(181), FIELD(182) } },
    { FIELD(280), DerivedTotal::Unflagged, { FIELD(281), FIELD(282) } },
};
#undef FIELD

} // namespace

QByteArray modbusRequestFrame(quint8 slave, int index)
{
    const ModbusRequest &q = kModbusRequests[index];
    QByteArray frame;
    frame.append(char(slave));
    frame.append(char(q.function));
    frame.append(char(q.firstRegister >> 8));
    frame.append(char(q.firstRegister & 0xFF));
    frame.append(char(q.registerCount >> 8));
    frame.append(char(q.registerCount & 0xFF));
    const quint16 crc = parserclass().calcModbusCrc(frame, frame.size());
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

quint16 parserclass::calcModbusCrc(QByteArray data, int n) const
{
    return runReflectedCrc16(kCrcTable, 0xFFFF, data.constData(), qMin(n, int(data.size())));
}

bool parserclass::checkModbusCrc(QByteArray frame) const
{
    const int n = frame.size();
    if (n < 2)
        return false;
    const quint16 received = quint16(quint8(frame.at(n - 1)) * 256 + quint8(frame.at(n - 2)));
    return received == calcModbusCrc(frame, n - 2);
}

meter_result_t parserclass::decodeModbus(modbus_answers_t answers) const
{
    meter_result_t r = clearedMeterResult();
    for (const ModbusRequest &q : kModbusRequests) {
        quint32 raw = 0;
        if (!q.value || !answerValue(answers.slot[q.answerSlot], &raw))
            continue;
        double divisor = 1.0;
        for (int i = 0; i < q.scaler; ++i)
            divisor *= 10.0;
        r.*q.value = double(raw) / divisor;
        r.*q.valid = true;
    }
    deriveTotals(r, kModbusTotals, std::size(kModbusTotals));
    return r;
}
