#include "tools/modbus_encoder/modbusencoder.h"

#include "protocols/modbusrtu.h"

namespace {

constexpr quint8 kReadHoldingRegisters = 0x03;
constexpr quint8 kIllegalDataAddress = 0x02;

QByteArray header(quint8 slave, int byteCount)
{
    QByteArray frame;
    frame.append(char(slave));
    frame.append(char(kReadHoldingRegisters));
    frame.append(char(byteCount));
    return frame;
}

} // namespace

quint16 ModbusAnswerBuilder::crc(const QByteArray &data)
{
    quint16 crc = 0xFFFF;
    for (char c : data) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray ModbusAnswerBuilder::withCrc(const QByteArray &frame)
{
    const quint16 c = crc(frame);
    return frame + char(c & 0xFF) + char(c >> 8);
}

QByteArray ModbusAnswerBuilder::readAnswer(quint8 slave, const QVector<quint16> &registers,
                                           ModbusAnswerFault fault)
{
    QByteArray data;
    for (quint16 r : registers) {
        data.append(char(r >> 8));
        data.append(char(r & 0xFF));
    }
    switch (fault) {
    case ModbusAnswerFault::None:
        return withCrc(header(slave, data.size()) + data);
    case ModbusAnswerFault::WrongCrc: {
        QByteArray frame = withCrc(header(slave, data.size()) + data);
        frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x01);
        return frame;
    }
    case ModbusAnswerFault::OneByte:
        return QByteArray(1, char(slave));
    case ModbusAnswerFault::Cut: {
        const QByteArray frame = withCrc(header(slave, data.size()) + data);
        return frame.left(frame.size() - 3);
    }
    case ModbusAnswerFault::Exception:
        return exceptionAnswer(slave, kReadHoldingRegisters, kIllegalDataAddress);
    case ModbusAnswerFault::LyingByteCount:
        return withCrc(header(slave, data.size()) + data.left(qMax(0, data.size() - 2)));
    case ModbusAnswerFault::WrongSlave:
        return withCrc(header(quint8(slave + 1), data.size()) + data);
    }
    return {};
}

QByteArray ModbusAnswerBuilder::answerFor(quint8 slave, int requestIndex, quint64 value,
                                          ModbusAnswerFault fault)
{
    const int count = kModbusRequests[requestIndex].registerCount;
    QVector<quint16> registers(count);
    for (int i = count - 1; i >= 0; --i) {
        registers[i] = quint16(value & 0xFFFF);
        value >>= 16;
    }
    return readAnswer(slave, registers, fault);
}

QByteArray ModbusAnswerBuilder::rawAnswer(quint8 slave, const QByteArray &data)
{
    return withCrc(header(slave, data.size()) + data);
}

QByteArray ModbusAnswerBuilder::exceptionAnswer(quint8 slave, quint8 function, quint8 code)
{
    QByteArray frame;
    frame.append(char(slave));
    frame.append(char(function | 0x80));
    frame.append(char(code));
    return withCrc(frame);
}

int ModbusAnswerBuilder::requestIndex(const QByteArray &request, quint8 *slave)
{
    if (request.size() != 8 || crc(request.left(6)) != (quint8(request.at(6)) | quint8(request.at(7)) << 8))
        return -1;
    const quint8 function = quint8(request.at(1));
    const quint16 first = quint16(quint8(request.at(2)) << 8 | quint8(request.at(3)));
    const quint16 count = quint16(quint8(request.at(4)) << 8 | quint8(request.at(5)));
    for (int i = 0; i < kModbusRequestCount; ++i) {
        const ModbusRequest &q = kModbusRequests[i];
        if (q.function == function && q.firstRegister == first && q.registerCount == count) {
            if (slave)
                *slave = quint8(request.at(0));
            return i;
        }
    }
    return -1;
}
