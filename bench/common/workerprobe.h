#pragma once
// Shared by the engine benchmarks: the worker thread's CPU time, and a front
// end that drives the worker as the window does.
#include <benchmark/benchmark.h>

#include <QColor>
#include <QObject>
#include <QString>

#include <functional>

#include "protocols/meterresult.h"

class QEventLoop;
class serialclass;
namespace metersim {
class MeterSimulator;
}

qint64 threadCpuNs();

// The worker thread's CPU time, read in that thread while it is idle.
qint64 workerCpuNs(serialclass &worker);

// Times one run (true when it finished) and sets the counters the engine
// benchmarks share: prescribed, overhead and CPU time. Skips the benchmark
// and returns false when the run did not finish.
bool timeWorkerRun(benchmark::State &state, serialclass &worker, const std::function<bool()> &run);

// Talks to the worker through the window's twelve queued connections, so a
// run is timed as the front ends see it, answers delivered included. Only
// the answers that end a request are looked at.
class WorkerProbe : public QObject
{
    Q_OBJECT

public:
    explicit WorkerProbe(serialclass &worker);

    // Starts the meter and connects the worker to its port; skips the
    // benchmark and returns false when either fails.
    bool startAndConnect(benchmark::State &state, metersim::MeterSimulator &meter);
    // Runs a start request, or the read-head test, and waits at most
    // timeoutMs for signalTestFinished.
    bool runTest(const QString &passwort, TestMode_t mode, enum_interfaces_t kind, int timeoutMs);
    bool runReadHeadTest(int timeoutMs);

signals:
    void signalConnectSerialPort(QString Port);
    void signalDisconnectSerialPort();
    void signalStartTest(QString Passwort, TestMode_t TestMode, enum_interfaces_t Interace);
    void signalLesekopfStartTest();

public slots:
    void slotConnectSerial_Success();
    void slotConnectSerial_Fail(QString Errormessage);
    void slotUpdateStatuBar(QString Text);
    void slotUpdateStatusText(QString Text, QColor TextColor);
    void slotUpdateResultForPrint(QString Text);
    void slotTestFinished();
    void slotUpdateErgebnis(QString Ergebnis, QString Protokoll, QString Baud);
    void slotUpdateParserErgebnis(meter_result_t Ergebnis);

private:
    // Sends the request and runs an event loop until an answer ends it or
    // timeoutMs pass; true when the awaited answer came.
    bool await(int timeoutMs, const std::function<void()> &request);
    void answer(bool awaited);

    QEventLoop *waiting = nullptr;
    bool answered = false;
};
