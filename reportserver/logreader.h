#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// What the server reads from one uploaded message: the two texts the user
// typed and, from the test program's log, each test with its telegram and
// the values decoded from it.

namespace verdict {
constexpr const char *kGood = "erfolgreich";
constexpr const char *kFailed = "nicht erfolgreich";
constexpr const char *kUnreadable = "nicht lesbar"; // a report whose log could not be read
} // namespace verdict

namespace accessory {
constexpr const char *kReadingHead = "Lesekopf";
constexpr const char *kRs485 = "RS485-Konverter";
} // namespace accessory

struct ReadValue
{
    QString code; // OBIS code, "1.8.0"
    double value = 0;
    QString unit;
};

struct ReadTest
{
    int number = 0;      // 1 to 4
    QString heading;     // "Test 1 mit Baud 9600 8N1 unidirektional:"
    QString protocol;    // "SML", "OBIS ASCII", "Modbus RTU"
    QString portSetting; // "9600 8N1"
    QString verdict;
    // The meter's bytes; for Modbus RTU each request followed by its answer.
    QByteArray telegram;
    QVector<ReadValue> values;
};

struct ReadReport
{
    QString manufacturer;
    QString model;
    QString message; // the whole text as received
    bool readable = false;
    QString programVersion; // "1.19"
    QString accessory;
    QString verdict; // of the run; kUnreadable when the log could not be read
    QVector<ReadTest> tests;
};

// Never fails: a message that is not "Hersteller: ...", "Modell: ...", a
// blank line and a test program's log comes back with readable false.
ReadReport readReport(const QByteArray &message);

// A Modbus RTU telegram as ReadTest keeps it, split into request and answer.
struct ModbusExchange
{
    QByteArray request;
    QByteArray answer;
};
QVector<ModbusExchange> modbusExchanges(const QByteArray &telegram);

// One kind of test of the program: which accessory runs it as which
// number, its protocol, and the simulator profile that replays such a meter.
struct LoggedTestKind
{
    bool rs485;
    int number;
    const char *protocol;
    const char *profile;
};
const LoggedTestKind *testKind(bool rs485, int number);
