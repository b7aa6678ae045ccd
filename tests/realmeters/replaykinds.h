#pragma once

// The kinds of scenario of testdata/realmeters/cases.json: the profile that
// plays the real meter, the start request, and the report text the test
// hands on. Shared by the tests and the benchmark.

#include <algorithm>
#include <iterator>

#include "protocols/meterresult.h"
#include "tools/simulator/profiles.h"

enum class Report { SmlFrameHex, IecMessageHex, ReceivedText };
struct Kind
{
    const char *name;
    metersim::Profile profile;
    int mode;
    enum_interfaces_t accessory;
    bool meterAt8N1; // RS485 test 3 reads 8N1
    Report report;
};
constexpr Kind kKinds[] = {
    {"ir1", metersim::Profile::SmlPush, 1, IR_Head, false, Report::SmlFrameHex},
    {"ir2", metersim::Profile::SmlRequest, 2, IR_Head, false, Report::SmlFrameHex},
    {"ir3", metersim::Profile::IecPush, 3, IR_Head, false, Report::IecMessageHex},
    {"ir4", metersim::Profile::IecModeC, 4, IR_Head, false, Report::ReceivedText},
    {"all", metersim::Profile::IecModeC, 0, IR_Head, false, Report::ReceivedText},
    {"rs2", metersim::Profile::Rs485Iec, 2, MODBUS485_Converter, false, Report::ReceivedText},
    {"rs3", metersim::Profile::Rs485Iec, 3, MODBUS485_Converter, true, Report::ReceivedText},
    {"rs4", metersim::Profile::Rs485SmlPush, 4, MODBUS485_Converter, false, Report::SmlFrameHex},
};

inline const Kind *kindByName(const QString &name)
{
    const Kind *k = std::find_if(std::begin(kKinds), std::end(kKinds),
                                 [&](const Kind &kind) { return name == QLatin1String(kind.name); });
    return k == std::end(kKinds) ? nullptr : k;
}
