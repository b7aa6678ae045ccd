#pragma once

#include <QByteArray>
#include <QVector>

// Builds what an IEC 62056-21 meter sends in mode C after a sign-on: the
// identification message and the data message, good or deliberately faulty.
//
//   IecReadoutBuilder b("ISk", '5', "MT174-0001");
//   b.addValue({"1.8.0", 1234.5678, 4, "kWh"});                          // 1-0:1.8.0*255(1234.5678*kWh)
//   b.addValue({"32.7.0", 229.8, 1, "V", IecAddressForm::TwoGroups});     // 1-0:32.7(229.8*V)
//   b.addText("C.5.0", "L1-L2-L3");                                        // C.5.0(L1-L2-L3)
//   QByteArray wire = b.readout();
//
// The block check is computed here on its own (XOR from the byte after STX
// through ETX) and does not use the parser under test.

enum class IecAddressForm {
    Full,      // 1-0:1.8.0*255
    Short,     // 1.8.0
    TwoGroups, // 1-0:32.7 (the last group of the OBIS code left out)
};

enum class IecValueFault {
    None,
    NoUnit,          // 1.8.0(001234.5678)
    NoDecimals,      // 1.8.0(1235*kWh), rounded
    DecimalComma,    // 1.8.0(1234,5678*kWh), a flipped bit on the wire
    UnitWithoutStar, // 1.8.0(1234.5678kWh), as some Iskraemeco meters write it
};

enum class IecFrameFault {
    None,
    NoEtx,    // ends after "!" CR LF: neither ETX nor block check
    WrongBcc, // block check with one bit changed
};

struct IecValue
{
    QByteArray obis;  // groups C.D.E, e.g. "1.8.0", "32.7.0"
    double value = 0.0;
    int decimals = 3;
    QByteArray unit;  // "kWh", "Wh", "kW", "W", "V", "A" or empty
    IecAddressForm form = IecAddressForm::Full;
    IecValueFault fault = IecValueFault::None;
    int integerDigits = 0; // zero-padded to this many digits before the point
};

class IecReadoutBuilder
{
public:
    static constexpr char kStx = 0x02;
    static constexpr char kEtx = 0x03;

    // maker: the three manufacturer letters; baud: the baud-rate character
    // ('0' to '6' in mode C); model: the rest of the identification line.
    IecReadoutBuilder(const QByteArray &maker, char baud, const QByteArray &model);

    IecReadoutBuilder &addValue(const IecValue &v);
    // A value that is no number: "C.5.0(L1-L2-L3)", "0.9.1(23:16:43)".
    IecReadoutBuilder &addText(const QByteArray &address, const QByteArray &text);
    // Any line as it is, without its CR LF.
    IecReadoutBuilder &addLine(const QByteArray &line);

    // "/" + maker + baud + model + CR LF
    QByteArray identification() const;
    // STX + data lines + "!" CR LF + ETX + BCC
    QByteArray dataMessage(IecFrameFault fault = IecFrameFault::None) const;
    // identification() + dataMessage(fault): a whole readout as the head receives it.
    QByteArray readout(IecFrameFault fault = IecFrameFault::None) const;

    static QByteArray address(const QByteArray &obis, IecAddressForm form);
    static QByteArray dataLine(const IecValue &v);
    // XOR of all bytes of `afterStx` up to and including the first ETX.
    static char blockCheck(const QByteArray &afterStx);

private:
    QByteArray maker;
    char baud;
    QByteArray model;
    QVector<QByteArray> lines;
};
