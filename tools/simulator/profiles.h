#pragma once

#include "tools/simulator/meter.h"
#include "tools/simulator/options.h"

#include <QString>

#include <memory>

namespace metersim {

enum class Profile {
    SmlPush,
    SmlRequest,
    IecPush,
    IecModeC,
    IecModeCIgnoresAck,
    IecModeC300Only,
    IecModeCHasty,
    Loopback,
    Silent,
    Noise,
    StopsMidTelegram,
    Unplugged,
    ModbusSlave,
    Rs485Iec,
    Rs485SmlPush,
};

struct ProfileInfo
{
    Profile profile;
    const char *name;        // as the command line takes it
    const char *description; // one line for --help
};

constexpr ProfileInfo kProfiles[] = {
    {Profile::SmlPush, "sml-push", "SML push at 9600 8N1 every --interval ms"},
    {Profile::SmlRequest, "sml-request", "SML at 9600 8N1, answers the fixed SML request (open, get-list, close)"},
    {Profile::IecPush, "iec-push", "IEC 62056-21 data message pushed at 9600 7E1 every --interval ms"},
    {Profile::IecModeC, "iec-mode-c",
     "IEC 62056-21 mode C: sign-on at 300 7E1, identification with --baud-char, switches after the acknowledgement"},
    {Profile::IecModeCIgnoresAck, "iec-ignores-ack", "mode C meter that never reacts to the acknowledgement"},
    {Profile::IecModeC300Only, "iec-300-only",
     "mode C meter that offers --baud-char but sends the data message at 300 Bd"},
    {Profile::IecModeCHasty, "iec-hasty",
     "mode C meter that switches right after the acknowledgement, before the program does"},
    {Profile::Loopback, "loopback", "optical echo only (white paper); --lose / --damage single transmissions"},
    {Profile::Silent, "silent", "no meter: never sends anything"},
    {Profile::Noise, "noise", "random bytes without end at the program's rate"},
    {Profile::StopsMidTelegram, "stops-mid-telegram", "SML push meter that stops for good in its first telegram"},
    {Profile::Unplugged, "unplugged", "SML push meter whose port disappears after --unplug-after ms (default 2500)"},
    {Profile::ModbusSlave, "modbus", "Modbus RTU slave at 9600 8E1, address --slave, silent for others and 0"},
    {Profile::Rs485Iec, "rs485-iec",
     "RS485 IEC 62056-21 meter at 9600 7E1 (--format 8N1): identification on /?!, data after the acknowledgement"},
    {Profile::Rs485SmlPush, "rs485-sml-push", "RS485 SML push at 9600 8N1 every --interval ms"},
};

const ProfileInfo *profileByName(const QString &name);
const ProfileInfo &profileInfo(Profile profile);

// The meter of a profile with its options applied.
std::unique_ptr<Meter> createMeter(Profile profile, const Options &options);

// Options a profile changes before the simulator applies them (for example
// the unplugged profile's default delay, or a real meter's telegram).
Options effectiveOptions(Profile profile, Options options);

// Empty when the profile can play options.realMeter (or none is named),
// else why not.
QString realMeterProblem(Profile profile, const Options &options);

} // namespace metersim
