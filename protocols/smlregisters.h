#pragma once

#include <QByteArray>
#include <QVector>

// Every register an SML telegram carries: each entry of each GetList
// response, as the meter sent it. Unlike the decoder, which looks for the
// registers it knows, this walks the message tree element by element and
// never reads past the frame.

struct ByteSpan
{
    int from = 0;
    int size = 0;
};

enum class SmlValueKind : quint8 {
    None,     // the optional value was left out
    Boolean,
    Signed,
    Unsigned,
    Octets,   // an octet string: text, identification, hex data
    Other,    // a list (SML_Time) or a number wider than 8 bytes
};

struct SmlRegister
{
    quint8 obis[6] = {};
    int obisSize = 0;        // 6 as the standard says; other lengths are kept as sent
    bool hasStatus = false;
    quint64 status = 0;
    int unitCode = -1;       // DLMS unit code, -1: none sent
    bool hasScaler = false;
    qint8 scaler = 0;
    SmlValueKind kind = SmlValueKind::None;
    qint64 signedValue = 0;  // Signed and Boolean
    quint64 unsignedValue = 0;
    ByteSpan octets;         // Octets: the data bytes in SmlRegisters::body
};

struct SmlRegisters
{
    // The message bytes the spans point into: the frame itself, or a copy
    // with the transport escapes undone when the data contained any.
    QByteArray body;
    QVector<SmlRegister> registers;
};

// The registers of one SML transport frame (from its start escape; bytes
// without one are read as bare messages). Stops at the first element that
// does not fit the frame and keeps what it listed until then.
SmlRegisters listSmlRegisters(const QByteArray &frame);

// The DLMS name of a unit code ("Wh", "W", "V", ...); empty for none or an
// unknown code.
const char *dlmsUnitName(int unitCode);
