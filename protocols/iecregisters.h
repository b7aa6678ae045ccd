#pragma once

#include <QByteArray>
#include <QVector>

#include "protocols/smlregisters.h"

// Every value of an IEC 62056-21 data readout, as the meter wrote it: the
// address of its data line and, for each "(value*unit)" of that line, the
// value and unit text. Lines without a value (the echoed request, the
// identification, the acknowledgement) are passed over; the readout ends at
// "!", ETX or a value group left open.
struct IecRegister
{
    ByteSpan address; // "1-0:1.8.0*255", "1.8.1", "C.1", ...
    ByteSpan value;   // between the parentheses, without the unit
    ByteSpan unit;    // after "*", empty when none
};

QVector<IecRegister> listIecRegisters(const QByteArray &readout);
