#include "cli/valuetable.h"

#define SUMMARY_LINE(suffix, label) {meterFieldIndex(&meter_result_t::Value_##suffix), label}

constexpr SummaryValueLine kSummaryValueLines[kMeterFieldCount] = {
    SUMMARY_LINE(180, "Bezug Gesamt"),
    SUMMARY_LINE(181, "Bezug Tarif 1"),
    SUMMARY_LINE(182, "Bezug Tarif 2"),
    SUMMARY_LINE(183, "Bezug Tarif 3"),
    SUMMARY_LINE(184, "Bezug Tarif 4"),
    SUMMARY_LINE(280, "Lieferung Gesamt"),
    SUMMARY_LINE(281, "Lieferung Tarif 1"),
    SUMMARY_LINE(282, "Lieferung Tarif 2"),
    SUMMARY_LINE(170, "Wirkleistung Bezug Gesamt"),
    SUMMARY_LINE(171, "Wirkleistung Bezug Phase 1"),
    SUMMARY_LINE(172, "Wirkleistung Bezug Phase 2"),
    SUMMARY_LINE(173, "Wirkleistung Bezug Phase 3"),
    SUMMARY_LINE(270, "Wirkleistung Lieferung Gesamt"),
    SUMMARY_LINE(271, "Wirkleistung Lieferung Phase 1"),
    SUMMARY_LINE(272, "Wirkleistung Lieferung Phase 2"),
    SUMMARY_LINE(273, "Wirkleistung Lieferung Phase 3"),
    SUMMARY_LINE(3270, "Spannung Phase 1"),
    SUMMARY_LINE(5270, "Spannung Phase 2"),
    SUMMARY_LINE(7270, "Spannung Phase 3"),
    SUMMARY_LINE(3170, "Strom Phase 1"),
    SUMMARY_LINE(5170, "Strom Phase 2"),
    SUMMARY_LINE(7170, "Strom Phase 3"),
    SUMMARY_LINE(PhaseL1, "Phasenlage Phase 1"),
    SUMMARY_LINE(PhaseL2, "Phasenlage Phase 2"),
    SUMMARY_LINE(PhaseL3, "Phasenlage Phase 3"),
};

#undef SUMMARY_LINE

QString obisCode(const MeterField &field, bool sml)
{
    return QString::fromUtf8(field.smlObis && sml ? field.smlObis : field.obis);
}

QString unitOf(const MeterField &field, bool sml)
{
    return QString::fromUtf8(field.smlUnit && sml ? field.smlUnit : field.unit);
}
