#pragma once

// A worker on one side of a pseudo-terminal, a simulated meter on the other,
// and a recorder of everything the worker tells the window.

#include <QObject>
#include <QStringList>
#include <QVector>

#include <memory>

#include "metersimulator.h"
#include "serialclass.h"

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
    // folded into one "status: <prefix>#" line, so that a sequence can be
    // compared whatever chunks the bytes arrived in.
    QStringList folded() const;
    // The counts shown by the byte-count texts, in order.
    QVector<int> byteCounts() const;
    // Log lines whose text starts with the prefix.
    QStringList logLinesStartingWith(const QString &prefix) const;
};

// Equal lists; otherwise both are printed line by line for the failure report.
bool sameLines(const QStringList &actual, const QStringList &expected);

// "180=607.4471 280=1266.7286 170=215.99": the valid values of a record in
// field order, for comparing with what the simulated meter holds.
QString validValues(const meter_result_t &record);

// The same form for what a simulated meter holds, for the fields its
// protocol carries ("180", "3270", ...), in record field order.
QString heldValues(const metersim::MeterValues &v, const QStringList &fields);
extern const QStringList kSmlFields; // energies, powers with phases, voltages, currents
extern const QStringList kIecFields; // the same without the phase powers
extern const QStringList kModbusFields;

class EngineRig
{
public:
    explicit EngineRig(metersim::Profile profile, metersim::Options options = {});
    ~EngineRig();

    // Starts the meter and connects the worker to it; false with a message.
    bool connectToMeter(QString *why);
    void startTest(TestMode_t mode, enum_interfaces_t accessory, const QString &passwort = QString());
    void startLoopback();
    // Waits (running the event loop) until the worker reports the end.
    bool waitFinished(int timeoutMs);
    // Pulls the port like a USB plug after ms, from the test's thread.
    void unplugAfter(int ms);
    // A disconnect, then a connect to a fresh meter, both answered.
    bool reconnectsAfterwards(QString *why);

    metersim::MeterSimulator &meter() { return *sim_; }
    SignalRecorder &recorder() { return *recorder_; }
    serialclass &worker() { return *worker_; }

private:
    std::unique_ptr<metersim::MeterSimulator> sim_;
    std::unique_ptr<serialclass> worker_;
    std::unique_ptr<SignalRecorder> recorder_;
};
