#pragma once

#include <QString>

#include "protocols/meterresult.h"

// One value line of the console summary: the field and the command line's
// own name for it. Code, unit and decimals are the field's.
struct SummaryValueLine
{
    std::size_t field; // row of kMeterFields
    const char *label;
};

extern const SummaryValueLine kSummaryValueLines[kMeterFieldCount];

// The code and unit of a field, as SML names it or as the other protocols do.
QString obisCode(const MeterField &field, bool sml);
QString unitOf(const MeterField &field, bool sml);
