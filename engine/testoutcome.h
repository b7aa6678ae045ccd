#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

#include "protocols/meterresult.h"

// What one test of a start request did and saw, recorded by the engine where
// each fact is known, so that front ends and the diagnosis never read it back
// out of display texts.

enum class TestKind {
    HeadSmlListen,     // reading head, test 1
    HeadSmlRequest,    // reading head, test 2
    HeadIecListen,     // reading head, test 3
    HeadIecSignOn,     // reading head, test 4 (mode C)
    BusModbus,         // RS485, test 1
    BusIecRequest7E1,  // RS485, test 2
    BusIecRequest8N1,  // RS485, test 3
    BusSmlListen,      // RS485, test 4
};

enum class Protocol { Sml, IecAscii, Modbus };

enum class Parity { None, Even };

// A port setting as the user reads it: "9600 8N1".
struct PortSetting
{
    qint32 baud = 0;
    int dataBits = 8;
    Parity parity = Parity::None;

    QString text() const;
    bool operator==(const PortSetting &o) const
    {
        return baud == o.baud && dataBits == o.dataBits && parity == o.parity;
    }
};

// How a frame found in the received bytes checked out.
enum class FrameCheck {
    Good,
    CrcFailed,        // SML or Modbus CRC does not match
    BlockCheckFailed, // IEC block check character does not match
    BlockCheckMissing // IEC block ends without its check character
};

struct CheckedFrame
{
    Protocol protocol = Protocol::Sml;
    FrameCheck check = FrameCheck::Good;
    int size = 0;
};

struct ModbusException
{
    quint8 slave = 0;
    quint8 function = 0;
    quint8 code = 0;
};

// Where the Modbus slave address came from.
enum class SlaveAddressSource { None, FromMeterNumber, Given };

enum class PortFailureKind { None, Removed, NoPermission, Busy, Other };

struct TestOutcome
{
    int number = 0; // 1..4 in the chain
    TestKind kind = TestKind::HeadSmlListen;
    Protocol protocol = Protocol::Sml;
    PortSetting setting;    // the setting the test names
    qint32 dataRate = 0;    // mode C: the rate the data message was read at; else 0

    QList<QByteArray> requests; // every request sent, in order
    QByteArray received;        // every byte that arrived
    qint64 firstByteMs = -1;    // since the test started; -1: none arrived
    qint64 lastByteMs = -1;

    QList<CheckedFrame> frames;
    bool echoSeen = false;       // a request came back as it was sent
    QList<ModbusException> exceptions;
    QList<quint8> otherSlaves;   // Modbus frames from slaves not asked

    // Mode C: the identification line, and whether the meter said anything to the sign-on.
    QByteArray identification;

    // Modbus: the slave asked and where its address came from.
    int modbusSlave = -1;
    SlaveAddressSource slaveSource = SlaveAddressSource::None;
    QString meterNumber;      // the text the address was derived from
    QString signOnAddress;    // mode C: the device address sent in the sign-on

    bool telegramLacksEnergy = false; // a telegram came but held no energy register
    QByteArray telegram;      // the accepted telegram; empty when none
    bool hasValues = false;   // a decoded record was sent to the front ends
    meter_result_t record = clearedMeterResult();

    PortFailureKind portFailure = PortFailureKind::None;
    QString portFailureText;  // the system's own text

    bool accepted = false;    // the test's verdict

    int goodFrames() const;
    int failedFrames() const;
};

enum class Verdict { NotRun, Successful, NotSuccessful };

// The result of one start request: its verdict as a value and every test that ran.
struct RunOutcome
{
    Verdict verdict = Verdict::NotRun;
    enum_interfaces_t accessory = IR_Head;
    QList<TestOutcome> tests;
    // The port could not be opened: no test ran.
    PortFailureKind connectFailure = PortFailureKind::None;
    QString connectFailureText;

    // The test that succeeded; null when none did.
    const TestOutcome *successfulTest() const;
    bool portLost() const;
};

// What a front end asks of the engine beyond the window's start request: the
// fields it has typed, never encoded into one text.
struct StartRequest
{
    enum_interfaces_t accessory = IR_Head;
    TestMode_t mode = Test_All;
    QString signOnAddress;  // reading head, mode C: the meter's device address
    QString meterNumber;    // RS485: the Modbus address is derived from it
    int modbusAddress = 0;  // RS485: 1..247 given directly; 0 derives it
    // The command line's fast chain: each answer is read as it arrives and
    // judged the moment it is complete. The window never sets it.
    bool fast = false;
};

const char *protocolName(Protocol protocol);

Q_DECLARE_METATYPE(RunOutcome)
Q_DECLARE_METATYPE(StartRequest)
