#pragma once

#include <QByteArray>
#include <QString>

#include "meterresult.h"

struct modbus_answers_t;

// Stateless parser: every frame check and decoder of the three protocols.
// Each test creates one at its start; it holds no data.
class parserclass
{
public:
    // ---- SML transport framing, CRC and message decoder ----
    QByteArray extractSmlFrame(const QByteArray &buffer) const;
    bool containsSmlEnergyRegister(const QByteArray &frame) const;
    quint16 calcSmlCrc(const QByteArray &frame) const;
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
