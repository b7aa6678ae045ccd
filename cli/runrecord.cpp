#include "cli/runrecord.h"

const IdentText kIdentTexts[5] = {
    {&meter_result_t::Text_Ident, "ident", "Kennung"},
    {&meter_result_t::Text_ManufacturerId, "manufacturerId", "Hersteller-Kennung"},
    {&meter_result_t::Text_DeviceId, "deviceId", "Geräte-Kennung"},
    {&meter_result_t::Text_MeterNumber, "meterNumber", "Zählernummer"},
    {&meter_result_t::Text_Maker, "maker", "Hersteller"},
};

void RunRecord::mergeValues(const meter_result_t &record)
{
    for (const MeterField &f : kMeterFields) {
        if (record.*f.valid) {
            values.*f.value = record.*f.value;
            values.*f.valid = true;
        }
    }
    // Each text is taken from the latest record that carries it.
    for (const IdentText &t : kIdentTexts) {
        if (!(record.*t.text).isEmpty())
            values.*t.text = record.*t.text;
    }
}

bool RunRecord::successful() const
{
    return ergebnis == QLatin1String("erfolgreich");
}
