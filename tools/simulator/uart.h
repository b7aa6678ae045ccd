#pragma once

#include "tools/simulator/lineformat.h"

#include <QByteArray>
#include <QVector>

namespace metersim {

// One character as a receiving UART sees it.
struct UartChar
{
    quint8 value = 0;
    bool framingError = false; // stop bit read as 0
    bool parityError = false;
    qint64 endNs = 0; // middle of its stop bit, from the start of the burst
};

// What a receiver set to rx makes of bytes sent back to back by a
// transmitter set to tx: the line is modelled bit by bit, so a wrong
// character format or rate garbles as on a wire (a 7E1 character read at
// 8N1 carries its parity bit as bit 7; a wrong rate gives garbage or
// nothing).
QVector<UartChar> transcode(const QByteArray &bytes, const LineFormat &tx, const LineFormat &rx);

// The bytes a Linux tty delivers to a program for these characters when
// the port ignores parity and framing errors, as QSerialPort sets it up:
// framing errors are dropped, parity is not checked.
QByteArray deliveredBytes(const QVector<UartChar> &chars);

} // namespace metersim
