#pragma once

#include <QString>

#include "protocols/meterresult.h"

// How the front end names and formats each value of meter_result_t: OBIS
// code, unit and decimals (those of the record's field table, as the window
// shows them). The phase fields hold a power factor in IEC data and an
// angle in SML data, so they carry a second code and unit for SML.
struct ValueRow
{
    double meter_result_t::*value;
    bool meter_result_t::*valid;
    const char *obis;
    const char *unit;
    const char *label;
    int decimals;
    const char *smlObis; // nullptr: the same as obis
    const char *smlUnit;
};

extern const ValueRow kValueRows[25];

// The code and unit of a row for the protocol that delivered it ("SML",
// "OBIS ASCII", "Modbus RTU").
QString obisCode(const ValueRow &row, const QString &protocol);
QString unitOf(const ValueRow &row, const QString &protocol);
// Fixed-point with the row's decimals, as the window shows it.
QString formattedValue(const ValueRow &row, double value);
