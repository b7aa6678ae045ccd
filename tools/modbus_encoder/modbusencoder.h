#pragma once

#include <QByteArray>
#include <QVector>

// The slave side of the Modbus RTU test: answers to the requests of
// kModbusRequests (protocols/modbusrtu.h), good and deliberately faulty.
//
//   QByteArray a = ModbusAnswerBuilder::answerFor(0x01, 1, 123456);   // 01 03 04 00 01 E2 40 + CRC
//   QByteArray e = ModbusAnswerBuilder::answerFor(0x01, 1, 123456, ModbusAnswerFault::Exception);
//
// The CRC is computed bit by bit here, independently of the parser's table.

enum class ModbusAnswerFault {
    None,
    WrongCrc,       // one bit of the CRC changed
    OneByte,        // only the slave address arrives
    Cut,            // the last three bytes are missing
    Exception,      // 83 02 (illegal data address) with a good CRC
    LyingByteCount, // byte count as asked, but two data bytes fewer follow; good CRC
    WrongSlave,     // another slave's address, good CRC
};

class ModbusAnswerBuilder
{
public:
    // A function 03 answer carrying `registers`, high byte first, then the fault.
    static QByteArray readAnswer(quint8 slave, const QVector<quint16> &registers,
                                 ModbusAnswerFault fault = ModbusAnswerFault::None);
    // The answer to request `requestIndex` of the table: `value` spread over
    // as many registers as the request asks for, most significant first.
    static QByteArray answerFor(quint8 slave, int requestIndex, quint64 value,
                                ModbusAnswerFault fault = ModbusAnswerFault::None);
    // A function 03 answer whose byte count is data.size(), for counts that
    // no whole number of registers gives (3 bytes, for example).
    static QByteArray rawAnswer(quint8 slave, const QByteArray &data);
    static QByteArray exceptionAnswer(quint8 slave, quint8 function, quint8 code);

    // The row of the request table that `request` is, with its slave address;
    // -1 when it is none of them or its CRC is wrong.
    static int requestIndex(const QByteArray &request, quint8 *slave = nullptr);

    // CRC-16/MODBUS, bit by bit.
    static quint16 crc(const QByteArray &data);
    static QByteArray withCrc(const QByteArray &frame);
};
