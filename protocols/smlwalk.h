#pragma once

#include <QByteArray>

// Reading one SML list entry by its type-length bytes, without parsing the
// message tree: from the status element after the OBIS code, count status,
// time, unit, scaler and value, and stop at the value.

enum class SmlClass : quint8 { Neither, Boolean, Signed, Unsigned };

struct SmlElementType
{
    int dataBytes;
    SmlClass cls;
};

// Integers and unsigned numbers of 1 to 8 data bytes (TL 52..59, 62..69) and
// the Boolean 42; every other TL (octet strings, lists, multi-byte TLs, 00)
// has no data bytes for the walk.
constexpr SmlElementType smlElementType(quint8 tl)
{
    const int width = (tl & 0x0F) - 1;
    if (tl == 0x42)
        return { 1, SmlClass::Boolean };
    if ((tl & 0xF0) == 0x50 && width >= 1 && width <= 8)
        return { width, SmlClass::Signed };
    if ((tl & 0xF0) == 0x60 && width >= 1 && width <= 8)
        return { width, SmlClass::Unsigned };
    return { 0, SmlClass::Neither };
}

struct SmlValueElement
{
    bool reached = false;      // the walk got to the fifth element inside the frame
    quint8 tl = 0;             // TL byte of the value element
    SmlClass cls = SmlClass::Neither;
    const uchar *data = nullptr; // its data bytes, inside the frame
    int size = 0;
    quint8 unit = 0;           // 0: no unit sent
    qint8 scaler = 0;          // 0: no scaler sent
};

// Walks from pos (the status element) to the value element. With octetValue
// an octet-string value keeps its data bytes (text registers); otherwise
// octet strings carry none. Never reads outside the frame: an element whose
// bytes would pass the end stops the walk unreached.
SmlValueElement walkToSmlValue(const QByteArray &frame, int pos, bool octetValue);

// Big-endian number of up to 8 bytes, unsigned or sign-extended.
quint64 smlUnsignedValue(const uchar *data, int size);
qint64 smlSignedValue(const uchar *data, int size);
