#pragma once

#include "tools/simulator/lineformat.h"

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace metersim {

// What can go wrong with one Modbus answer, keyed by the request's first
// register.
enum class ModbusFault {
    NoAnswer,  // the request is ignored
    WrongCrc,  // one bit of the CRC changed
    OneByte,   // only the slave address arrives
    Cut,       // the last three bytes are missing
    Exception, // exception 02 (illegal data address)
    InPieces,  // first half at once, the rest after modbusPieceGapMs
};

// Settings of a simulated meter; every profile reads the ones it needs and
// ignores the others.
struct Options
{
    // Push meters: time between two telegrams, and until the first one.
    int intervalMs = 1000;
    int firstPushMs = 0;
    // Meters that answer: time from the end of a request to the answer (for
    // mode C the identification). IEC 62056-21 allows 200 to 1500 ms.
    int reactionMs = 200;

    // IEC 62056-21 mode C: the baud-rate character of the identification
    // ('0' 300 .. '5' 9600, '6' 19200; letters as in mode B), the device
    // address the meter answers to ("" answers every sign-on), and the gap
    // between the program's port showing the new rate and the first byte.
    char baudChar = '5';
    QString address;
    // Only a sign-on that carries the address is answered, "/?!" is not.
    bool addressRequired = false;
    int switchGapMs = 50;
    // Mode C: from the end of the acknowledgement until the meter switches to
    // the agreed rate and starts its data message, whatever the program's
    // port shows, as a real meter does (200 to 1500 ms allowed). -1: the
    // meter waits until the program's port shows the agreed rate, then
    // switchGapMs.
    int ackReactionMs = -1;

    // One stray byte (0 to 255) in front of every readout: a mode C meter
    // sends it at the agreed rate, where it changes its rate, the others in
    // front of each telegram or IEC data message (not Modbus). -1: none.
    int glitchByte = -1;
    // IEC data messages: billing-history lines after the current values
    // until the message holds at least this many bytes (0: the short one).
    int readoutBytes = 0;

    // Echo: what the program sends comes back to it as it leaves the line,
    // as light reflected into a reading head, or through a two-wire RS485
    // converter whose receiver listens to the bus it drives. Transmissions
    // are counted from 1; lost ones never come back, damaged ones come back
    // with a bit changed. A pushing meter sends the telegrams numbered in
    // damagedEchoes with a bit changed.
    bool echo = false;

    // How the program's port hands over what it receives. A UART (default)
    // passes bytes on once its FIFO holds 8 or after 4 character times of
    // silence. A USB serial adapter collects them until its latency timer
    // runs out or a packet is full, so at 300 Bd every character comes alone.
    bool usbAdapter = false;
    int usbLatencyMs = 16;
    int usbPacketBytes = 62;
    QSet<int> lostEchoes;
    QSet<int> damagedEchoes;

    // The meter falls silent for good after it has sent this many bytes.
    int stopAfterBytes = -1;
    // The port disappears (the master side closes) this long after start().
    int unplugAfterMs = -1;

    // Overrides the profile's rate and character format.
    std::optional<LineFormat> format;
    // Replaces the profile's default telegram (SML file, IEC data message
    // from STX through the block check, or the push message).
    QByteArray telegram;
    // Replaces the IEC identification line ("/" through its line end).
    QByteArray identification;
    // A real meter of testdata/meters by its id: the profile plays its
    // telegram (and its identification) instead of the default ones.
    QString realMeter;
    // Noise: seed of the random bytes.
    quint32 seed = 1;

    // Modbus RTU slave.
    quint8 slaveAddress = 0x79;
    QMap<quint16, quint16> registers; // replaces the default register map
    QMap<quint16, ModbusFault> modbusFaults;
    int modbusDelayMs = 20;
    int modbusPieceGapMs = 1000;
};

// The whole-number settings by name (the field's name), with the values they
// accept and, for those the command line offers, the option's name, value
// name and help; the command line and applyJson() both take them from here.
struct NumberField
{
    const char *name;
    int Options::*field;
    int min;
    int max;
    const char *option = nullptr; // none: not on the command line
    const char *valueName = nullptr;
    const char *help = nullptr;
};

// In the order of the command line's help.
constexpr NumberField kNumberFields[] = {
    {"intervalMs", &Options::intervalMs, 1, 86400000, "interval", "ms", "Push interval (default 1000)."},
    {"firstPushMs", &Options::firstPushMs, 0, 86400000, "first-push", "ms", "Delay of the first push."},
    {"reactionMs", &Options::reactionMs, 0, 60000, "reaction", "ms",
     "Time from a request (the mode C sign-on) to the answer (default 200; IEC 62056-21 allows 200 to 1500)."},
    {"ackReactionMs", &Options::ackReactionMs, -1, 60000, "ack-reaction", "ms",
     "Mode C: the meter switches to the agreed rate and sends its data message this long after the "
     "acknowledgement, whatever the program does (200 to 1500 allowed). Without it the meter waits until the "
     "program's port shows the new rate."},
    {"glitchByte", &Options::glitchByte, -1, 255, "glitch", "byte",
     "One stray byte (such as 0) in front of every readout; a mode C meter sends it where it changes its rate."},
    {"readoutBytes", &Options::readoutBytes, 0, 1 << 20, "readout-bytes", "n",
     "Billing-history lines lengthen the IEC data message to at least n bytes (4096 take 137 s at 300 Bd)."},
    {"usbLatencyMs", &Options::usbLatencyMs, 1, 1000, "usb-latency", "ms",
     "Latency timer of the USB adapter (default 16); implies --usb."},
    {"usbPacketBytes", &Options::usbPacketBytes, 1, 4096, "usb-packet", "bytes",
     "Bytes in a full packet of the USB adapter (default 62); implies --usb."},
    {"modbusDelayMs", &Options::modbusDelayMs, 0, 60000, "modbus-delay", "ms",
     "Time from a Modbus request to the answer (default 20)."},
    {"stopAfterBytes", &Options::stopAfterBytes, -1, 1 << 30, "stop-after", "bytes",
     "The meter falls silent after this many bytes."},
    {"unplugAfterMs", &Options::unplugAfterMs, -1, 86400000, "unplug-after", "ms",
     "The port disappears after this time."},
    {"switchGapMs", &Options::switchGapMs, 0, 60000},
    {"modbusPieceGapMs", &Options::modbusPieceGapMs, 0, 60000},
};

enum class Profile;

// Sets what a test's JSON object names, by the field names above and
// "baudChar" ("5"), "address", "echo", "usbAdapter", "lost" and "damaged"
// ([2, 5]), "format" ("9600 8N1", or "8N1" at the profile's own rate),
// "telegram" and "identification" (hexadecimal), "realMeter", "seed", "slave" (121), "registers"
// ({"4000": "0012"}, register and value in hexadecimal) and "faults"
// ({"4000": "no-answer"}, first register in hexadecimal); "usbLatencyMs" and
// "usbPacketBytes" imply "usbAdapter". False with the reason for an unknown
// name or a bad value, so a misspelt row fails. The command line sets its
// options through here too, so each check lives here alone.
bool applyJson(const QJsonObject &json, Profile profile, Options *options, QString *error);

// "no-answer", "wrong-crc", ... in the order of ModbusFault.
QStringList modbusFaultNames();

} // namespace metersim
