#pragma once

#include <QByteArray>

#include <string>

#include "protocols/meterresult.h"

// Tables of the IEC 62056-21 data readout decoder (parserclass_iec.cpp).
// The decoder does not split the telegram into lines: it searches the whole
// text for each key of kIecKeys in turn, so the order of the table decides
// which address wins when several of them could fill one field.

enum class IecGroup {
    Energy,         // kWh
    VoltageCurrent, // V, A or no unit (power factor)
    Power,          // W
    Identification, // writes maker and model, no number
};

struct IecMaker
{
    const char *prefix; // as it follows the "/" of the identification line
    const char *maker;  // Text_Maker
    const char *model;  // Text_Ident
};

constexpr IecMaker kIecMakers[] = {
    {"ELS4", "Elser", "AS1440"},
    {"ELS5", "Elser", "AS1440"},
    {"ABB4", "Elser", "A1440"},
    {"ISk5MT174", "Iskraemeco", "MT174"},
    {"PAF5EC3", "Pafal/Apator", "EC3gr"},
    {"ESY5Q3DA", "Easymeter", "Q3D"},
};

struct IecKey
{
    const char *key;
    IecGroup group;
    double meter_result_t::*value; // null for identification keys
    bool meter_result_t::*valid;
    const IecMaker *maker;         // identification keys only
};

#define IEC_KEY(key, group, suffix) \
    { key, IecGroup::group, &meter_result_t::Value_##suffix, &meter_result_t::Valid_##suffix, nullptr }
#define IEC_IDENT(i) { kIecMakers[i].prefix, IecGroup::Identification, nullptr, nullptr, &kIecMakers[i] }

constexpr IecKey kIecKeys[] = {
    IEC_KEY("1.8.0", Energy, 180),
    IEC_KEY("1.8.1", Energy, 181),
    IEC_KEY("1.8.2", Energy, 182),
    IEC_KEY("1.8.3", Energy, 183),
    IEC_KEY("1.8.4", Energy, 184),
    IEC_KEY("2.8.0", Energy, 280),
    IEC_KEY("2.8.1", Energy, 281),
    IEC_KEY("2.8.2", Energy, 282),
    IEC_KEY("32.7.0", VoltageCurrent, 3270),
    IEC_KEY("52.7.0", VoltageCurrent, 5270),
    IEC_KEY("72.7.0", VoltageCurrent, 7270),
    IEC_KEY("31.7.0", VoltageCurrent, 3170),
    IEC_KEY("51.7.0", VoltageCurrent, 5170),
    IEC_KEY("71.7.0", VoltageCurrent, 7170),
    IEC_KEY("32.7(", VoltageCurrent, 3270),
    IEC_KEY("52.7(", VoltageCurrent, 5270),
    IEC_KEY("72.7(", VoltageCurrent, 7270),
    IEC_KEY("31.7(", VoltageCurrent, 3170),
    IEC_KEY("51.7(", VoltageCurrent, 5170),
    IEC_KEY("71.7(", VoltageCurrent, 7170),
    IEC_KEY("33.7.0", VoltageCurrent, PhaseL1),
    IEC_KEY("53.7.0", VoltageCurrent, PhaseL2),
    IEC_KEY("73.7.0", VoltageCurrent, PhaseL3),
    IEC_KEY("33.7(", VoltageCurrent, PhaseL1),
    IEC_KEY("53.7(", VoltageCurrent, PhaseL2),
    IEC_KEY("73.7(", VoltageCurrent, PhaseL3),
    IEC_KEY("15.7.0", Power, 170),
    IEC_KEY("16.7.0", Power, 170),
    IEC_KEY(":1.7.0*255", Power, 170),
    IEC_KEY(":1.7.255*255", Power, 170),
    IEC_KEY("1.7.0", Power, 170),
    IEC_KEY("1-0:1.7.0", Power, 170),
    IEC_KEY("2.7.0", Power, 270),
    IEC_KEY("1.7.1", Power, 171),
    IEC_KEY("35.7.0", Power, 171),
    IEC_KEY("36.7.0", Power, 171),
    IEC_KEY(":21.7.255*255", Power, 171),
    IEC_KEY("21.7.0", Power, 171),
    IEC_KEY("22.7.0", Power, 271),
    IEC_KEY("2.7.1", Power, 271),
    IEC_KEY("1.7.2", Power, 172),
    IEC_KEY("55.7.0", Power, 172),
    IEC_KEY("56.7.0", Power, 172),
    IEC_KEY(":41.7.255*255", Power, 172),
    IEC_KEY("41.7.0", Power, 172),
    IEC_KEY("42.7.0", Power, 272),
    IEC_KEY("2.7.2", Power, 272),
    IEC_KEY("1.7.3", Power, 173),
    IEC_KEY("75.7.0", Power, 173),
    IEC_KEY("76.7.0", Power, 173),
    IEC_KEY(":61.7.255*255", Power, 173),
    IEC_KEY("61.7.0", Power, 173),
    IEC_KEY("62.7.0", Power, 273),
    IEC_KEY("2.7.3", Power, 273),
    IEC_IDENT(0),
    IEC_IDENT(1),
    IEC_IDENT(2),
    IEC_IDENT(3),
    IEC_IDENT(4),
    IEC_IDENT(5),
};

#undef IEC_KEY
#undef IEC_IDENT

static_assert(sizeof(kIecKeys) / sizeof(kIecKeys[0]) == 60, "the decoder knows 60 keys");

// Once a voltage or current is stored, its address is defaced in the working
// copy so that the shorter power keys ("2.7.0", "1.7.0") cannot match in it.
struct IecMask
{
    bool meter_result_t::*valid;
    const char *address;
    const char *replacement;
};

constexpr IecMask kIecMasks[] = {
    {&meter_result_t::Valid_3270, "32.7.0", "3x.7.0"},
    {&meter_result_t::Valid_5270, "52.7.0", "5x.7.0"},
    {&meter_result_t::Valid_7270, "72.7.0", "7x.7.0"},
    {&meter_result_t::Valid_3170, "31.7.0", "3y.7.0"},
    {&meter_result_t::Valid_5170, "51.7.0", "5y.7.0"},
    {&meter_result_t::Valid_7170, "71.7.0", "7y.7.0"},
};

constexpr bool iecMasksKeepLength()
{
    for (const IecMask &m : kIecMasks) {
        if (std::char_traits<char>::length(m.address) != std::char_traits<char>::length(m.replacement))
            return false;
    }
    return true;
}
static_assert(iecMasksKeepLength(), "masks are written over the address in place");

// Addresses whose presence marks a telegram as carrying energy data,
// tried in this order. Tariffs 3 and 4 do not count.
constexpr const char *kIecEnergyRegisters[] = {"1.8.0", "1.8.1", "1.8.2", "2.8.0", "2.8.1", "2.8.2"};

// Units that some meters write straight after the number, without "*".
// Longest first, so "kWh" is not taken for "Wh". A unit is only stripped in
// the groups where its "*" form is stripped, with the same factor.
struct IecBareUnit
{
    const char *unit;
    double factor;
    bool energy, voltageCurrent, power;
};

constexpr IecBareUnit kIecBareUnits[] = {
    {"kWh", 1.0, true, true, true},
    {"Wh", 0.001, true, true, true},
    {"kW", 1000.0, false, false, true},
    {"W", 1.0, false, false, true},
    {"V", 1.0, false, true, false},
    {"A", 1.0, false, true, false},
};

// Reads [+-]digits[.digits] with "." as separator; false for anything else
// (decimal comma, two separators, a lone sign, an overflow).
bool iecReadNumber(const QByteArray &text, double *value);
