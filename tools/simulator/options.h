#pragma once

#include "tools/simulator/lineformat.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>

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
    // Meters that answer: time from the end of a request to the answer.
    int reactionMs = 200;

    // IEC 62056-21 mode C: the baud-rate character of the identification
    // ('0' 300 .. '5' 9600, '6' 19200; letters as in mode B), the device
    // address the meter answers to ("" answers every sign-on), and the gap
    // between the program's port showing the new rate and the first byte.
    char baudChar = '5';
    QString address;
    int switchGapMs = 50;

    // Optical echo: what the program sends comes back to it, as light
    // reflected into the reading head. Transmissions are counted from 1;
    // lost ones never come back, damaged ones come back with a bit changed.
    bool echo = false;
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

} // namespace metersim
