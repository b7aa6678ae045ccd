#pragma once

#include <QByteArray>

#include "protocols/modbusrtu.h"

// The fuzzer's input is the answer record as length-prefixed frames: one
// length byte, then that many bytes, slot after slot.
inline modbus_answers_t answersFromFuzzInput(const QByteArray &input)
{
    modbus_answers_t answers;
    int pos = 0;
    for (int i = 0; i < kModbusAnswerSlots && pos < input.size(); ++i) {
        const int length = quint8(input.at(pos++));
        answers.slot[i] = input.mid(pos, length);
        pos += length;
    }
    return answers;
}

inline QByteArray fuzzInputFromAnswers(const modbus_answers_t &answers)
{
    QByteArray input;
    for (const QByteArray &a : answers.slot)
        input += char(qMin(a.size(), 255)) + a.left(255);
    return input;
}
