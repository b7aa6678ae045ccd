#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// Reading registers of any Modbus RTU device: the request frames, the
// answers, and the register maps of the meters a bus search recognises.

constexpr quint8 kModbusReadHolding = 0x03;
constexpr quint8 kModbusReadInput = 0x04;
constexpr int kModbusRequestBytes = 8; // slave, function, register, count, CRC
constexpr int kModbusLastSlave = 247;  // 0 is broadcast, 248 to 255 are reserved

// The slave address the RS485 test derives from a meter number: its last two
// characters (the whole text when shorter) read as hexadecimal, plus one, in
// 8 bits; "FF" gives 0, the broadcast address. False when not hexadecimal.
bool slaveAddressFor(const QString &meterNumber, quint8 &slave);

// A read request (function 03 or 04) for `count` registers from `first`.
QByteArray modbusReadRequest(quint8 slave, quint8 function, quint16 first, quint16 count);

// The size of the answer to a read of `count` registers: slave, function,
// byte count, two bytes per register, CRC.
constexpr int modbusReadAnswerBytes(int count)
{
    return 3 + 2 * count + 2;
}

// What the bytes received after `request` hold: the first well-formed answer
// of the addressed slave, wherever it starts; Incomplete while one may still
// come, Invalid when the bytes cannot become one. A leading copy of the
// request (an adapter that echoes what it sends) is passed over.
struct ModbusReply
{
    enum class State { Incomplete, Normal, Exception, Invalid };
    State state = State::Incomplete;
    QByteArray frame;         // the answer frame, CRC included, once complete
    QVector<quint16> registers; // a normal answer's values
    quint8 exceptionCode = 0;
};
ModbusReply parseModbusReply(const QByteArray &received, const QByteArray &request);

enum class ModbusValueType { U16, S32, U32, U64, Float32 };

// One value of a register map: where it lies, how it is decoded, and the
// range in which it is plausible for an electricity meter.
struct ModbusReading
{
    const char *label; // German, as shown
    const char *unit;
    quint16 firstRegister;
    ModbusValueType type;
    double divisor;
    double plausibleMin;
    double plausibleMax;
};

constexpr int kMaxMapReadings = 4;

// A register map of a kind of meter, recognised when every reading answers
// with a plausible value and not all of them are zero (a device that answers
// any register with zeros tells nothing). Those with a voltage, the strongest
// sign, come first.
struct ModbusMap
{
    const char *key;  // for scripts
    const char *name; // as shown
    quint8 function;
    int readingCount;
    ModbusReading readings[kMaxMapReadings];
};

constexpr double kMaxEnergyKwh = 1e9;
constexpr double kMaxPowerW = 1e7;

constexpr ModbusMap kModbusMaps[] = {
    {"eastron-sdm", "Eastron SDM (Eingangsregister, float32)", kModbusReadInput, 4,
     {{"Spannung L1", "V", 0x0000, ModbusValueType::Float32, 1, 50, 500},
      {"Wirkleistung gesamt", "W", 0x0034, ModbusValueType::Float32, 1, -kMaxPowerW, kMaxPowerW},
      {"Bezug", "kWh", 0x0048, ModbusValueType::Float32, 1, 0, kMaxEnergyKwh},
      {"Lieferung", "kWh", 0x004A, ModbusValueType::Float32, 1, 0, kMaxEnergyKwh}}},
    {"abb-b2x", "ABB B21/B23/B24", kModbusReadHolding, 2,
     {{"Spannung L1", "V", 0x5B00, ModbusValueType::U32, 10, 50, 500},
      {"Bezug", "kWh", 0x5000, ModbusValueType::U64, 100, 0, kMaxEnergyKwh},
      {},
      {}}},
    {"viviv", "Register der Modbus-Prüfung dieses Programms", kModbusReadHolding, 3,
     {{"Bezug 1.8.0", "kWh", 0x4000, ModbusValueType::U32, 1000, 0, kMaxEnergyKwh},
      {"Lieferung 2.8.0", "kWh", 0x4100, ModbusValueType::U32, 1000, 0, kMaxEnergyKwh},
      {"Wirkleistung", "W", 0x0000, ModbusValueType::U32, 10, 0, kMaxPowerW},
      {}}},
};

constexpr int modbusRegisterCount(ModbusValueType type)
{
    return type == ModbusValueType::U16 ? 1 : type == ModbusValueType::U64 ? 4 : 2;
}

// The value of a reading from its registers (high word first), divided.
double modbusReadingValue(const ModbusReading &reading, const QVector<quint16> &registers);
