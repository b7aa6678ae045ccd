#pragma once

#include <QString>
#include <QStringList>

#include "protocols/meterresult.h"

// What the user asked for on the command line.
struct CliOptions
{
    enum class Action { RunTests, ReadHeadTest, ListPorts, ModbusSearch, Help, Version };
    enum class Accessory { Detect, ReadingHead, Rs485 };

    Action action = Action::RunTests;
    Accessory accessory = Accessory::Detect;
    QString port;
    TestMode_t testMode = Test_All;
    QString address;       // reading head: the sign-on address, usually empty
    QString meterNumber;   // RS485 converter: "0" when none is given
    int modbusAddress = 0; // RS485 converter: the slave address given, 0 when derived
    bool json = false;     // also known when the rest of the command line is unusable
    bool debug = false;
    bool allRegisters = false;
    bool continuous = false;
    int readings = 0;      // continuous: end after this many, 0 for no end
    bool allPorts = false; // list every serial port, not only the adapters
    bool searchAll = false; // Modbus search: go on after the first device
    bool fast = false;     // --schnell: each test ends when its answer is complete

    // Long names of the options given, so that they can be checked against
    // the accessory once it is known (it may come from detection).
    QStringList given;
};

struct CliParseResult
{
    CliOptions options;
    QString error;     // empty when the command line is usable
    QString helpText;
};

// arguments include the program name, as QCoreApplication::arguments().
CliParseResult parseCliOptions(const QStringList &arguments);

// The message when the options do not fit the accessory, or an empty string.
QString accessoryConflict(const CliOptions &options, enum_interfaces_t kind);
