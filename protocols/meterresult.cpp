#include "meterresult.h"

#define METER_FIELD(suffix) { #suffix, &meter_result_t::Value_##suffix, &meter_result_t::Valid_##suffix }

const MeterField kMeterFields[25] = {
    METER_FIELD(180), METER_FIELD(181), METER_FIELD(182), METER_FIELD(183), METER_FIELD(184),
    METER_FIELD(280), METER_FIELD(281), METER_FIELD(282),
    METER_FIELD(170), METER_FIELD(171), METER_FIELD(172), METER_FIELD(173),
    METER_FIELD(270), METER_FIELD(271), METER_FIELD(272), METER_FIELD(273),
    METER_FIELD(3270), METER_FIELD(5270), METER_FIELD(7270),
    METER_FIELD(3170), METER_FIELD(5170), METER_FIELD(7170),
    METER_FIELD(PhaseL1), METER_FIELD(PhaseL2), METER_FIELD(PhaseL3),
};

#undef METER_FIELD

meter_result_t clearedMeterResult()
{
    meter_result_t r;
    for (const MeterField &f : kMeterFields) {
        r.*f.value = 0.0;
        r.*f.valid = false;
    }
    r.ParseError = 0;
    return r;
}

void registerMeterMetaTypes()
{
    qRegisterMetaType<meter_result_t>("meter_result_t");
    qRegisterMetaType<TestMode_t>("TestMode_t");
    qRegisterMetaType<enum_interfaces_t>("enum_interfaces_t");
}
