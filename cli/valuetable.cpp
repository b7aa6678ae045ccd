#include "cli/valuetable.h"

#define VALUE_ROW(suffix, obis, unit, label) \
    {&meter_result_t::Value_##suffix, &meter_result_t::Valid_##suffix, obis, unit, label, \
     meterDecimals(&meter_result_t::Value_##suffix), nullptr, nullptr}
#define PHASE_ROW(suffix, obis, smlObis, label) \
    {&meter_result_t::Value_##suffix, &meter_result_t::Valid_##suffix, obis, "", label, \
     meterDecimals(&meter_result_t::Value_##suffix), smlObis, "°"}

const ValueRow kValueRows[25] = {
    VALUE_ROW(180, "1.8.0", "kWh", "Bezug Gesamt"),
    VALUE_ROW(181, "1.8.1", "kWh", "Bezug Tarif 1"),
    VALUE_ROW(182, "1.8.2", "kWh", "Bezug Tarif 2"),
    VALUE_ROW(183, "1.8.3", "kWh", "Bezug Tarif 3"),
    VALUE_ROW(184, "1.8.4", "kWh", "Bezug Tarif 4"),
    VALUE_ROW(280, "2.8.0", "kWh", "Lieferung Gesamt"),
    VALUE_ROW(281, "2.8.1", "kWh", "Lieferung Tarif 1"),
    VALUE_ROW(282, "2.8.2", "kWh", "Lieferung Tarif 2"),
    VALUE_ROW(170, "1.7.0", "W", "Wirkleistung Bezug Gesamt"),
    VALUE_ROW(171, "1.7.1", "W", "Wirkleistung Bezug Phase 1"),
    VALUE_ROW(172, "1.7.2", "W", "Wirkleistung Bezug Phase 2"),
    VALUE_ROW(173, "1.7.3", "W", "Wirkleistung Bezug Phase 3"),
    VALUE_ROW(270, "2.7.0", "W", "Wirkleistung Lieferung Gesamt"),
    VALUE_ROW(271, "2.7.1", "W", "Wirkleistung Lieferung Phase 1"),
    VALUE_ROW(272, "2.7.2", "W", "Wirkleistung Lieferung Phase 2"),
    VALUE_ROW(273, "2.7.3", "W", "Wirkleistung Lieferung Phase 3"),
    VALUE_ROW(3270, "32.7.0", "V", "Spannung Phase 1"),
    VALUE_ROW(5270, "52.7.0", "V", "Spannung Phase 2"),
    VALUE_ROW(7270, "72.7.0", "V", "Spannung Phase 3"),
    VALUE_ROW(3170, "31.7.0", "A", "Strom Phase 1"),
    VALUE_ROW(5170, "51.7.0", "A", "Strom Phase 2"),
    VALUE_ROW(7170, "71.7.0", "A", "Strom Phase 3"),
    PHASE_ROW(PhaseL1, "33.7.0", "81.7.4", "Phasenlage Phase 1"),
    PHASE_ROW(PhaseL2, "53.7.0", "81.7.15", "Phasenlage Phase 2"),
    PHASE_ROW(PhaseL3, "73.7.0", "81.7.26", "Phasenlage Phase 3"),
};

#undef VALUE_ROW
#undef PHASE_ROW

namespace {

bool isSml(const QString &protocol)
{
    return protocol == QLatin1String("SML");
}

} // namespace

QString obisCode(const ValueRow &row, const QString &protocol)
{
    return QString::fromUtf8(row.smlObis && isSml(protocol) ? row.smlObis : row.obis);
}

QString unitOf(const ValueRow &row, const QString &protocol)
{
    return QString::fromUtf8(row.smlUnit && isSml(protocol) ? row.smlUnit : row.unit);
}

QString formattedValue(const ValueRow &row, double value)
{
    return QString::number(value, 'f', row.decimals);
}
