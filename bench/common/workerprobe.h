#pragma once
// Shared by the engine benchmarks: the worker thread's CPU time, and a front
// end that drives the worker as the window does.
#include <benchmark/benchmark.h>

#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "engine/testoutcome.h"
#include "protocols/meterresult.h"

class QEventLoop;
class serialclass;
class WorkerClient;
namespace metersim {
class MeterSimulator;
}

qint64 threadCpuNs();

// A benchmark timed on the wire: one iteration, its time set by the body
// (manual time), shown in milliseconds.
void registerWireTimed(const std::string &name, std::function<void(benchmark::State &)> body);
// Runs the registered benchmarks inside a Qt application, with the meter
// record's types registered for the worker's queued signals.
int runWireTimedBenchmarks(int argc, char **argv);

// The worker thread's CPU time, read in that thread while it is idle.
qint64 workerCpuNs(serialclass &worker);

// Times one run (true when it finished) and sets the counters the engine
// benchmarks share: prescribed, overhead and CPU time. Skips the benchmark
// and returns false when the run did not finish.
bool timeWorkerRun(benchmark::State &state, serialclass &worker, const std::function<bool()> &run);

// Talks to the worker through the twelve queued connections of a
// WorkerClient, so a run is timed as the front ends see it, answers delivered
// included. Only the answers that end a request are looked at.
class WorkerProbe
{
public:
    explicit WorkerProbe(serialclass &worker);
    ~WorkerProbe();

    // Starts the meter and connects the worker to its port; skips the
    // benchmark and returns false when either fails.
    bool startAndConnect(benchmark::State &state, metersim::MeterSimulator &meter);
    // Runs a start request, or the read-head test, and waits at most
    // timeoutMs for signalTestFinished.
    bool runTest(const QString &passwort, TestMode_t mode, enum_interfaces_t kind, int timeoutMs);
    bool runReadHeadTest(int timeoutMs);
    // Runs a typed start request (as the command line sends it).
    bool runRequest(const StartRequest &request, int timeoutMs);

private:
    // Sends the request and runs an event loop until an answer ends it or
    // timeoutMs pass; true when the awaited answer came.
    bool await(int timeoutMs, const std::function<void()> &request);
    void answer(bool awaited);

    serialclass &worker;
    std::unique_ptr<WorkerClient> client;
    QEventLoop *waiting = nullptr;
    bool answered = false;
};
