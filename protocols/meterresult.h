#pragma once

#include <QMetaType>
#include <QString>

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

// Pairs each value field with its flag, in value order, so code that walks all
// fields (tests, reports, front ends) needs no copy of the field list.
struct MeterField
{
    const char *name; // suffix, e.g. "180"
    double meter_result_t::*value;
    bool meter_result_t::*valid;
};
extern const MeterField kMeterFields[25];

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
