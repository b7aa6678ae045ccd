#include "protocols/modbusprobe.h"

#include <QtEndian>

#include <cctype>
#include <cmath>
#include <cstring>

#include "protocols/crc16.h"

namespace {

constexpr auto kCrcTable = reflectedCrc16Table(0xA001);

quint16 crcOf(const QByteArray &bytes, int size)
{
    return runReflectedCrc16(kCrcTable, 0xFFFF, bytes.constData(), size);
}

bool crcHolds(const QByteArray &frame)
{
    const int n = int(frame.size());
    return n >= 4 && crcOf(frame, n - 2) == quint16(quint8(frame.at(n - 2)) | quint8(frame.at(n - 1)) << 8);
}

} // namespace

bool slaveAddressFor(const QString &meterNumber, quint8 &slave)
{
    const QString digits = meterNumber.trimmed().right(2);
    if (digits.isEmpty())
        return false;
    for (const QChar c : digits)
        if (c.unicode() > 0x7F || !std::isxdigit(c.unicode()))
            return false;
    slave = quint8(digits.toUInt(nullptr, 16) + 1);
    return true;
}

QByteArray modbusReadRequest(quint8 slave, quint8 function, quint16 first, quint16 count)
{
    QByteArray frame;
    for (const int b : {int(slave), int(function), first >> 8, first & 0xFF, count >> 8, count & 0xFF})
        frame.append(char(b));
    const quint16 crc = crcOf(frame, int(frame.size()));
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

namespace {

// The answer to `request` at the start of `bytes`.
ModbusReply replyAt(const QByteArray &bytes, const QByteArray &request)
{
    ModbusReply reply;
    const quint8 function = quint8(request.at(1));
    const int count = quint8(request.at(4)) << 8 | quint8(request.at(5));
    if (bytes.at(0) != request.at(0)) {
        reply.state = ModbusReply::State::Invalid;
        return reply;
    }
    if (bytes.size() < 2)
        return reply;
    const quint8 answered = quint8(bytes.at(1));
    const bool exception = answered == (function | 0x80);
    if (!exception && answered != function) {
        reply.state = ModbusReply::State::Invalid;
        return reply;
    }
    const int size = exception ? 5 : modbusReadAnswerBytes(count);
    if (bytes.size() < size)
        return reply;
    reply.frame = bytes.left(size);
    if (!crcHolds(reply.frame) || (!exception && quint8(bytes.at(2)) != 2 * count)) {
        reply.state = ModbusReply::State::Invalid;
        return reply;
    }
    if (exception) {
        reply.state = ModbusReply::State::Exception;
        reply.exceptionCode = quint8(bytes.at(2));
        return reply;
    }
    reply.state = ModbusReply::State::Normal;
    for (int i = 0; i < count; ++i)
        reply.registers << quint16(quint8(bytes.at(3 + 2 * i)) << 8 | quint8(bytes.at(4 + 2 * i)));
    return reply;
}

} // namespace

ModbusReply parseModbusReply(const QByteArray &received, const QByteArray &request)
{
    const QByteArray bytes = received.startsWith(request) ? received.mid(request.size()) : received;
    // Bytes before the answer (a glitch, a late answer to an earlier
    // request) are passed over: the answer may start at any byte.
    bool waiting = bytes.isEmpty() || request.startsWith(bytes);
    for (int offset = 0; offset < bytes.size(); ++offset) {
        const ModbusReply reply = replyAt(bytes.mid(offset), request);
        if (reply.state == ModbusReply::State::Normal || reply.state == ModbusReply::State::Exception)
            return reply;
        waiting = waiting || reply.state == ModbusReply::State::Incomplete;
    }
    ModbusReply reply;
    reply.state = waiting ? ModbusReply::State::Incomplete : ModbusReply::State::Invalid;
    return reply;
}

double modbusReadingValue(const ModbusReading &reading, const QVector<quint16> &registers)
{
    quint64 raw = 0;
    for (int i = 0; i < modbusRegisterCount(reading.type) && i < registers.size(); ++i)
        raw = raw << 16 | registers.at(i);
    double value = 0;
    switch (reading.type) {
    case ModbusValueType::U16:
    case ModbusValueType::U32:
    case ModbusValueType::U64:
        value = double(raw);
        break;
    case ModbusValueType::S32:
        value = double(qint32(quint32(raw)));
        break;
    case ModbusValueType::Float32: {
        const quint32 bits = quint32(raw);
        float f = 0;
        std::memcpy(&f, &bits, sizeof f);
        value = double(f);
        break;
    }
    }
    return value / reading.divisor;
}
