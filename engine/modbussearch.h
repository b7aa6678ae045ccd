#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

#include "engine/testlink.h"
#include "engine/testoutcome.h"

// The bus search for any Modbus RTU device: which line settings and addresses
// are probed in which order, what a silent probe costs, and what the worker
// reports while it searches.

struct SearchLine
{
    PortSetting setting; // as the user reads it
    LineSettings line;   // as the port is set
};

constexpr SearchLine kSearchLines[] = {
    {{9600, 8, Parity::Even}, {9600, QSerialPort::Data8, QSerialPort::EvenParity}},
    {{9600, 8, Parity::None}, {9600, QSerialPort::Data8, QSerialPort::NoParity}},
    {{19200, 8, Parity::Even}, {19200, QSerialPort::Data8, QSerialPort::EvenParity}},
    {{19200, 8, Parity::None}, {19200, QSerialPort::Data8, QSerialPort::NoParity}},
    {{2400, 8, Parity::None}, {2400, QSerialPort::Data8, QSerialPort::NoParity}},
    {{4800, 8, Parity::None}, {4800, QSerialPort::Data8, QSerialPort::NoParity}},
    {{38400, 8, Parity::None}, {38400, QSerialPort::Data8, QSerialPort::NoParity}},
};
constexpr int kSearchLineCount = int(sizeof(kSearchLines) / sizeof(kSearchLines[0]));

// Both probes read one register at address 0.
constexpr quint8 kSearchFunctions[] = {0x03, 0x04};
constexpr int kProbeRegisterCount = 1;

// What a probe may wait beyond the wire: an FTDI adapter holds short answers
// up to its 16 ms latency timer on the way in and the request about as long
// on the way out; a meter takes some time to turn its transceiver round. A
// slower one is still heard during the next probe at its setting.
constexpr int kAdapterLatencyMs = 32;
constexpr int kSlaveTurnaroundMs = 80;

// How long a probe waits at most: the request and the largest answer on the
// wire with the silence that ends each frame, plus the margins above.
int probeBudgetMs(const PortSetting &setting, int answerBytes);

// What each probe costs beyond its budget when a whole search is added up:
// clearing the input, the write and the progress report (measured below
// 1 ms each on a loaded machine).
constexpr int kProbeOverheadMs = 1;

// One probe of the search order.
struct SearchProbe
{
    int line = 0; // index into kSearchLines
    int address = 0;
    quint8 function = 0;
};

// The search order: first the given or derived address and 1 under every
// setting (function 03 to both, then 04 to both), so that a device at either
// is found early whatever its setting; then 2 to 247 setting by setting. At
// one setting a probe follows the one before, so that a slow slave's answer
// still arrives while the search listens at its setting.
QList<SearchProbe> searchOrder(int firstAddress);

// The time of a search in which nothing answers, walking the same order:
// every budget and overhead.
qint64 searchWorstCaseMs(int firstAddress);
// The largest of these over every first address.
qint64 searchWorstCaseMs();

struct ModbusSearchRequest
{
    int modbusAddress = 0; // 1..247 given; 0 derives it from the meter number
    QString meterNumber;
    bool all = false;      // go on after the first device
};

struct ModbusSearchReading
{
    QString label;
    double value = 0;
    QString unit;
};

// One report of the search: a probe about to be sent, a device that answered,
// or the end.
struct ModbusSearchEvent
{
    enum class Kind { Probe, Device, End };
    Kind kind = Kind::Probe;
    PortSetting setting;
    int address = 0;
    quint8 function = 0;
    int probe = 0;  // 1-based position in the search order
    int probes = 0; // length of the order
    qint64 elapsedMs = 0;

    // Device: the answer, and the known map it was recognised by.
    QByteArray answer;
    bool exception = false;
    quint8 exceptionCode = 0;
    QString mapKey;
    QString mapName;
    QList<ModbusSearchReading> readings;

    // End.
    int devices = 0;
    QList<PortSetting> settingsWithBytes; // bytes came, but no answer of the slave asked
    int firstAddress = 0;
    bool stopped = false;
    PortFailureKind portFailure = PortFailureKind::None;
    QString portFailureText;
};

Q_DECLARE_METATYPE(ModbusSearchRequest)
Q_DECLARE_METATYPE(ModbusSearchEvent)
