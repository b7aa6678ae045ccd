#include "protocols/meterresult.h"


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
