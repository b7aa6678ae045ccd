#pragma once

#include <QByteArray>

#include "protocols/meterresult.h"

// The layout of an answer frame: slave, function, byte count, the data, CRC;
// an exception answer has the function's top bit set and a code instead.
constexpr int kModbusHeadSize = 3;
constexpr int kModbusCrcSize = 2;
constexpr int kModbusExceptionSize = 5; // slave, function | 80, code, CRC: also the shortest answer
constexpr quint8 kModbusExceptionBit = 0x80;

// Answers that the Modbus RTU test collected, one complete frame (CRC
// included) per slot, or an empty array where no good answer came.
constexpr int kModbusAnswerSlots = 19;

struct modbus_answers_t
{
    QByteArray slot[kModbusAnswerSlots];
};

// One Read Holding Registers request of the Modbus RTU test and what becomes
// of its answer. Rows without a field are only asked for (presence check or
// registers that the window does not show).
struct ModbusRequest
{
    quint8 function;
    quint16 firstRegister;
    quint16 registerCount;
    int answerSlot;
    double meter_result_t::*value; // null: not decoded
    bool meter_result_t::*valid;
    int scaler;                    // the value is divided by 10^scaler
};

#define MODBUS_READ(reg, count, slot) { 0x03, reg, count, slot, nullptr, nullptr, 0 }
#define MODBUS_VALUE(reg, slot, suffix, scaler) \
    { 0x03, reg, 2, slot, &meter_result_t::Value_##suffix, &meter_result_t::Valid_##suffix, scaler }

// In the order in which the test sends them; request 0 decides whether a
// meter answers at all.
constexpr ModbusRequest kModbusRequests[] = {
    MODBUS_READ(0x0402, 3, 18),
    MODBUS_VALUE(0x4000, 0, 180, 3),
    MODBUS_VALUE(0x4002, 1, 181, 3),
    MODBUS_VALUE(0x4004, 2, 182, 3),
    MODBUS_READ(0x4006, 2, 3),
    MODBUS_READ(0x4008, 2, 4),
    MODBUS_VALUE(0x4100, 5, 280, 3),
    MODBUS_VALUE(0x4102, 6, 281, 3),
    MODBUS_VALUE(0x4104, 7, 282, 3),
    MODBUS_READ(0x4106, 2, 8),
    MODBUS_READ(0x4108, 2, 9),
    MODBUS_VALUE(0x0000, 10, 170, 1),
    MODBUS_VALUE(0x0002, 14, 270, 1),
};

#undef MODBUS_READ
#undef MODBUS_VALUE

constexpr int kModbusRequestCount = int(sizeof(kModbusRequests) / sizeof(kModbusRequests[0]));
static_assert(kModbusRequestCount == 13, "the Modbus test sends thirteen requests");

// The 8-byte request of row `index` of kModbusRequests for `slave`: address,
// function, register and count high byte first, CRC low byte first.
QByteArray modbusRequestFrame(quint8 slave, int index);
