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

QString formattedValue(const MeterField &field, double value)
{
    return QString::number(value, 'f', field.decimals);
}

void deriveTotals(meter_result_t &r, const DerivedTotal *rules, std::size_t count)
{
    for (const DerivedTotal *rule = rules; rule != rules + count; ++rule) {
        const MeterField &total = *rule->total;
        const bool missing = rule->missing == DerivedTotal::Zero ? r.*total.value == 0.0 : !(r.*total.valid);
        if (!missing)
            continue;
        // Summed from the first part on, not from 0.0: a part read as -0.0
        // keeps its sign, as it always did.
        double sum = r.*rule->parts[0]->value;
        bool anyFlagged = r.*rule->parts[0]->valid;
        for (std::size_t i = 1; i < std::size(rule->parts) && rule->parts[i]; ++i) {
            sum += r.*rule->parts[i]->value;
            anyFlagged = anyFlagged || r.*rule->parts[i]->valid;
        }
        if (anyFlagged) {
            r.*total.value = sum;
            r.*total.valid = true;
        }
    }
}

void registerMeterMetaTypes()
{
    qRegisterMetaType<meter_result_t>("meter_result_t");
    qRegisterMetaType<TestMode_t>("TestMode_t");
    qRegisterMetaType<enum_interfaces_t>("enum_interfaces_t");
}
