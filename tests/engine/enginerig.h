#pragma once

// A worker on one side of a pseudo-terminal, a simulated meter on the other,
// a recorder of everything the worker tells the window, and the lines the
// tests expect.

#include <QObject>
#include <QStringList>
#include <QVector>

#include <memory>

#include "metersimulator.h"
#include "serialclass.h"

Q_DECLARE_METATYPE(metersim::Profile)
Q_DECLARE_METATYPE(metersim::Options)

// Every answer of the worker as one line, in the order emitted:
//   "blue: Test 1 mit Baud 9600 8N1 unidirektional:"   (log line and colour)
//   "status: Test 1 von 4 - Bitte warten!"
//   "print: 1B1B1B1B..."   "values"   "result: erfolgreich | SML | 9600 8N1"   "finished"
class SignalRecorder : public QObject
{
    Q_OBJECT
public:
    explicit SignalRecorder(serialclass &worker);

    QStringList lines;
    QVector<meter_result_t> records;
    int finished = 0;

    // The lines with each run of byte-count texts ("... Lese Bytes: 123")
    // folded into one "status: <prefix>#", whatever chunks the bytes came in.
    QStringList folded() const;
    QVector<int> byteCounts() const;
};

// ---- expected lines ----
QString hex(const QByteArray &bytes);
QStringList stepHead(int test, const char *heading); // status text and heading of a chain step
QStringList ending(const QString &result);           // result line, "Test beendet!", finished
QStringList sent(const QByteArray &bytes);           // "Sende:" line
inline const QString kVersion = QStringLiteral("blue: Viviv Testprogramm v.1.19");
inline const QString kFailed = QStringLiteral("nicht erfolgreich | - | -");
inline const QString kNoData = QStringLiteral("red: Ergebnis: Keine Daten");

// Equal lists; otherwise both are printed line by line for the failure report.
bool sameLines(const QStringList &actual, const QStringList &expected);

// "180=607.4471 280=1266.7286": the valid values of a record in field order,
// and the same form for what the simulated meter holds, for the fields its
// protocol carries ("180", "3270", ...).
QString validValues(const meter_result_t &record);
QString heldValues(const QStringList &fields);
extern const QStringList kSmlFields;    // energies, powers with phases, voltages, currents
extern const QStringList kIecFields;    // the same without the phase powers
extern const QStringList kModbusFields; // energies and the two total powers
QStringList without(QStringList fields, const QString &field);

class EngineRig
{
public:
    explicit EngineRig(metersim::Profile profile, metersim::Options options = {});
    ~EngineRig();

    // Connects to the meter, sends the start request (mode -1: the loopback
    // test) and waits for its end; false with the reason printed.
    bool run(int mode, enum_interfaces_t accessory = IR_Head, const QString &passwort = QString());
    // The same with the port pulled after unplugAfterMs: each of failedTests
    // tests ends with the port failure line, the request ends soon after, and
    // the worker then disconnects and connects to another port.
    void verifyUnplugged(int mode, enum_interfaces_t accessory, int unplugAfterMs, int failedTests);

    metersim::MeterSimulator &meter() { return *sim_; }
    SignalRecorder &recorder() { return *recorder_; }
    QStringList folded() const { return recorder_->folded(); }

private:
    bool connectToMeter();
    void start(int mode, enum_interfaces_t accessory, const QString &passwort);
    bool waitFinished();

    std::unique_ptr<metersim::MeterSimulator> sim_;
    std::unique_ptr<serialclass> worker_;
    std::unique_ptr<SignalRecorder> recorder_;
};
