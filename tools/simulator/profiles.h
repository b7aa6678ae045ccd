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
    const char *german;      // one line for the demo's German --help
};

constexpr ProfileInfo kProfiles[] = {
    {Profile::SmlPush, "sml-push", "SML push at 9600 8N1 every --interval ms",
     "SML, sendet von selbst mit 9600 8N1 (Lesekopf Test 1)"},
    {Profile::SmlRequest, "sml-request", "SML at 9600 8N1, answers the fixed SML request (open, get-list, close)",
     "SML auf Anfrage mit 9600 8N1 (Lesekopf Test 2)"},
    {Profile::IecPush, "iec-push", "IEC 62056-21 data message pushed at 9600 7E1 every --interval ms",
     "IEC 62056-21, sendet von selbst mit 9600 7E1 (Lesekopf Test 3)"},
    {Profile::IecModeC, "iec-mode-c",
     "IEC 62056-21 mode C: sign-on at 300 7E1, identification with --baud-char, switches after the acknowledgement",
     "IEC 62056-21 Modus C: Anmeldung mit 300 Bd, dann schneller (Lesekopf Test 4)"},
    {Profile::IecModeCIgnoresAck, "iec-ignores-ack", "mode C meter that never reacts to the acknowledgement",
     "Modus C, reagiert nie auf die Bestätigung"},
    {Profile::IecModeC300Only, "iec-300-only",
     "mode C meter that offers --baud-char but sends the data message at 300 Bd",
     "Modus C, bietet eine höhere Baudrate an, sendet aber mit 300 Bd"},
    {Profile::IecModeCHasty, "iec-hasty",
     "mode C meter that switches right after the acknowledgement, before the program does",
     "Modus C, wechselt gleich nach der Bestätigung, noch vor dem Programm"},
    {Profile::Loopback, "loopback", "optical echo only (white paper); --lose / --damage single transmissions",
     "nur das Echo des Lesekopfs (weißes Blatt Papier, \"Lesekopf testen\")"},
    {Profile::Silent, "silent", "no meter: never sends anything",
     "kein Zähler: sendet nie etwas"},
    {Profile::Noise, "noise", "random bytes without end at the program's rate",
     "zufällige Bytes ohne Ende"},
    {Profile::StopsMidTelegram, "stops-mid-telegram", "SML push meter that stops for good in its first telegram",
     "SML-Zähler, der im ersten Telegramm für immer verstummt"},
    {Profile::Unplugged, "unplugged", "SML push meter whose port disappears after --unplug-after ms (default 2500)",
     "SML-Zähler, dessen Port nach 2,5 s verschwindet (Adapter abgezogen)"},
    {Profile::ModbusSlave, "modbus", "Modbus RTU slave at 9600 8E1, address --slave, silent for others and 0",
     "Modbus RTU mit 9600 8E1 (RS485 Test 1)"},
    {Profile::Rs485Iec, "rs485-iec",
     "RS485 IEC 62056-21 meter at 9600 7E1 (--format 8N1): identification on /?!, data after the acknowledgement",
     "IEC 62056-21 am RS485-Bus mit 9600 7E1 (RS485 Test 2)"},
    {Profile::Rs485SmlPush, "rs485-sml-push", "RS485 SML push at 9600 8N1 every --interval ms",
     "SML am RS485-Bus, sendet von selbst mit 9600 8N1 (RS485 Test 4)"},
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
