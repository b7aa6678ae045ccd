#pragma once

#include <QByteArray>
#include <QMap>

namespace metersim {

// The readable values behind the default telegrams of all profiles (each
// protocol carries those it can: Modbus no phase values, for example).
struct MeterValues
{
    double import_kWh = 12345.678;   // 1.8.0
    double importT1_kWh = 10000.000; // 1.8.1
    double importT2_kWh = 2345.678;  // 1.8.2
    double export_kWh = 987.654;     // 2.8.0
    double exportT1_kWh = 900.000;   // 2.8.1
    double exportT2_kWh = 87.654;    // 2.8.2
    double power_W = 432.1;          // 16.7.0 / Modbus register 0
    double exportPower_W = 0.0;      // Modbus register 2
    double phasePower_W[3] = {150.0, 180.1, 102.0}; // 36.7.0, 56.7.0, 76.7.0
    double voltage_V[3] = {230.1, 231.2, 229.3};
    double current_A[3] = {1.23, 0.45, 0.67};
};

// The one place where the profiles get their telegrams from.
namespace telegrams {

const MeterValues &defaultValues();

// SML: one transport frame (open, get-list, close) of a three-phase meter.
QByteArray smlFile();
// The fixed request the SML request meter answers (open, get-list, close).
QByteArray smlRequest();

// IEC 62056-21: "/" maker, baud character, model, CR LF.
QByteArray iecIdentification(char baudChar);
// STX, data lines, "!" CR LF, ETX, block check; with billing-history lines
// after the current values until it holds at least minBytes.
QByteArray iecDataMessage(int minBytes = 0);
// What a push meter sends: identification, empty line, data lines, "!" CR LF.
QByteArray iecPushMessage(int minBytes = 0);

// Modbus RTU: holding registers of the default meter.
QMap<quint16, quint16> modbusRegisters();

} // namespace telegrams
} // namespace metersim
