#pragma once

#include <QMetaType>
#include <QString>

#include <cstddef>
#include <iterator>

// Values decoded from one meter telegram. Plain value type: it travels by
// copy through queued signals between the worker and the window. The flags
// are declared in a different order than the values; address them by name.
struct meter_result_t
{
    double Value_180;
    double Value_181;
    double Value_182;
    double Value_183;
    double Value_184;
    double Value_280;
    double Value_281;
    double Value_282;
    double Value_170;
    double Value_171;
    double Value_172;
    double Value_173;
    double Value_270;
    double Value_271;
    double Value_272;
    double Value_273;
    double Value_3270;
    double Value_5270;
    double Value_7270;
    double Value_3170;
    double Value_5170;
    double Value_7170;
    double Value_PhaseL1;
    double Value_PhaseL2;
    double Value_PhaseL3;

    bool Valid_180;
    bool Valid_181;
    bool Valid_182;
    bool Valid_183;
    bool Valid_184;
    bool Valid_280;
    bool Valid_281;
    bool Valid_282;
    bool Valid_170;
    bool Valid_171;
    bool Valid_172;
    bool Valid_173;
    bool Valid_3270;
    bool Valid_5270;
    bool Valid_7270;
    bool Valid_3170;
    bool Valid_5170;
    bool Valid_7170;
    bool Valid_PhaseL1;
    bool Valid_PhaseL2;
    bool Valid_PhaseL3;
    bool Valid_270;
    bool Valid_271;
    bool Valid_272;
    bool Valid_273;

    QString Text_Ident;
    QString Text_ManufacturerId;
    QString Text_DeviceId;
    QString Text_MeterNumber;
    QString Text_Maker;

    qint32 ParseError;
};

// The cleared record every decoder starts from: values 0.0, flags false,
// texts empty, ParseError 0.
meter_result_t clearedMeterResult();

// Each value field with its flag and how the front ends and the report show
// it: OBIS code, unit and decimals (5 for energies, 2 for the rest). Code that
// walks all fields (front ends, reports, tests) needs no copy of the list.
struct MeterField
{
    const char *name; // suffix, e.g. "180"
    double meter_result_t::*value;
    bool meter_result_t::*valid;
    const char *obis; // e.g. "1.8.0"
    const char *unit; // empty for the power factor
    int decimals;
    // The phase fields hold a power factor in IEC data but an angle in SML
    // data, which comes under another code and unit; nullptr elsewhere.
    const char *smlObis;
    const char *smlUnit;
};

#define METER_FIELD(suffix, obis, unit, decimals) \
    MeterField { #suffix, &meter_result_t::Value_##suffix, &meter_result_t::Valid_##suffix, obis, unit, decimals, \
                 nullptr, nullptr }
#define PHASE_FIELD(suffix, obis, smlObis) \
    MeterField { #suffix, &meter_result_t::Value_##suffix, &meter_result_t::Valid_##suffix, obis, "", 2, \
                 smlObis, "°" }
inline constexpr MeterField kMeterFields[] = {
    METER_FIELD(180, "1.8.0", "kWh", 5),
    METER_FIELD(181, "1.8.1", "kWh", 5),
    METER_FIELD(182, "1.8.2", "kWh", 5),
    METER_FIELD(183, "1.8.3", "kWh", 5),
    METER_FIELD(184, "1.8.4", "kWh", 5),
    METER_FIELD(280, "2.8.0", "kWh", 5),
    METER_FIELD(281, "2.8.1", "kWh", 5),
    METER_FIELD(282, "2.8.2", "kWh", 5),
    METER_FIELD(170, "1.7.0", "W", 2),
    METER_FIELD(171, "1.7.1", "W", 2),
    METER_FIELD(172, "1.7.2", "W", 2),
    METER_FIELD(173, "1.7.3", "W", 2),
    METER_FIELD(270, "2.7.0", "W", 2),
    METER_FIELD(271, "2.7.1", "W", 2),
    METER_FIELD(272, "2.7.2", "W", 2),
    METER_FIELD(273, "2.7.3", "W", 2),
    METER_FIELD(3270, "32.7.0", "V", 2),
    METER_FIELD(5270, "52.7.0", "V", 2),
    METER_FIELD(7270, "72.7.0", "V", 2),
    METER_FIELD(3170, "31.7.0", "A", 2),
    METER_FIELD(5170, "51.7.0", "A", 2),
    METER_FIELD(7170, "71.7.0", "A", 2),
    PHASE_FIELD(PhaseL1, "33.7.0", "81.7.4"),
    PHASE_FIELD(PhaseL2, "53.7.0", "81.7.15"),
    PHASE_FIELD(PhaseL3, "73.7.0", "81.7.26"),
};
#undef METER_FIELD
#undef PHASE_FIELD

inline constexpr std::size_t kMeterFieldCount = std::size(kMeterFields);
static_assert(kMeterFieldCount == 25, "the record holds 25 values");

// The row of kMeterFields that holds `value`; tables that name a field by
// its member call it at compile time, where a field missing from the list
// would run off the end and fail the build.
constexpr std::size_t meterFieldIndex(double meter_result_t::*value)
{
    std::size_t i = 0;
    while (kMeterFields[i].value != value)
        ++i;
    return i;
}

constexpr const MeterField *meterField(double meter_result_t::*value)
{
    return &kMeterFields[meterFieldIndex(value)];
}

// The value as the window and the command line show it: fixed-point with the
// field's decimals.
QString formattedValue(const MeterField &field, double value);

// A total that a decoder forms from its parts when the telegram did not carry
// it; the sum counts every part, a missing one as 0.0. Each decoder keeps its
// own table of these.
struct DerivedTotal
{
    enum Missing { Unflagged, Zero }; // when the total counts as missing: by its flag, or by its value
    const MeterField *total;
    Missing missing;
    const MeterField *parts[4]; // unused places null
};

// Forms each missing total whose parts include at least one flagged value.
void deriveTotals(meter_result_t &r, const DerivedTotal *rules, std::size_t count);

// A fixed underlying type: requests may carry any number, and the sequencer
// handles values outside the list.
enum TestMode_t : int {
    Test_All = 0,
    Test_01 = 1,
    Test_02 = 2,
    Test_03 = 3,
    Test_04 = 4,
};

enum enum_interfaces_t : int {
    IR_Head = 0,
    MODBUS485_Converter = 1,
};

Q_DECLARE_METATYPE(meter_result_t)
Q_DECLARE_METATYPE(TestMode_t)
Q_DECLARE_METATYPE(enum_interfaces_t)

// Registers the three types under exactly their own names, for queued signals.
void registerMeterMetaTypes();
