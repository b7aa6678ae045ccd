#pragma once

#include <QByteArray>
#include <QString>

#include "protocols/meterresult.h"

struct modbus_answers_t;

// Where extractSmlFrame's frame lies in the buffer; start -1: no frame.
struct SmlFrameSpan
{
    int start = -1;
    int size = 0;
};

// Stateless parser: every frame check and decoder of the three protocols.
// Each test creates one at its start; it holds no data.
class parserclass
{
public:
    // ---- SML transport framing, CRC and message decoder ----
    // The first frame from 1B1B1B1B 01010101 through the two bytes after the
    // end marker 1B1B1B1B 1A (shorter if the buffer ends first); empty if none.
    QByteArray extractSmlFrame(const QByteArray &buffer) const;
    SmlFrameSpan locateSmlFrame(const QByteArray &buffer) const;
    bool containsSmlEnergyRegister(const QByteArray &frame) const;
    // X-25 CRC of all but the last two bytes, arranged to equal
    // (second-last byte * 256 + last byte) when the frame carries it low byte first.
    quint16 calcSmlCrc(const QByteArray &frame) const;
    // The one CRC comparison of all SML tests: good when the frame carries its
    // X-25 CRC low byte first, or the KERMIT CRC high byte first (older Holley
    // DTZ541 firmware).
    bool smlCrcMatches(const QByteArray &frame) const;
    meter_result_t decodeSml(QByteArray frame) const;

    // ---- IEC 62056-21 data readout ----
    meter_result_t decodeObisAscii(QString telegram) const;
    char calcBcc(const QByteArray &data) const;
    bool containsEnergyRegister(const QString &text) const;
    bool isNumber(const QString &text) const;

    // ---- Modbus RTU ----
    quint16 calcModbusCrc(QByteArray data, int n) const;
    bool checkModbusCrc(QByteArray frame) const;
    meter_result_t decodeModbus(modbus_answers_t answers) const;
};
