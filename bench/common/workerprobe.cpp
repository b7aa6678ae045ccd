#include "bench/common/workerprobe.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <ctime>

#include "engine/serialclass.h"
#include "engine/timingledger.h"
#include "engine/workerclient.h"
#include "tools/simulator/metersimulator.h"

qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

qint64 workerCpuNs(serialclass &worker)
{
    qint64 ns = 0;
    QMetaObject::invokeMethod(&worker, [&ns] { ns = threadCpuNs(); }, Qt::BlockingQueuedConnection);
    return ns;
}

bool timeWorkerRun(benchmark::State &state, serialclass &worker, const std::function<bool()> &run)
{
    const timingledger::Totals before = timingledger::totals();
    const qint64 cpuBefore = workerCpuNs(worker);
    QElapsedTimer wall;
    wall.start();
    const bool finished = run();
    const qint64 wallNs = wall.nsecsElapsed();
    const qint64 cpuNs = workerCpuNs(worker) - cpuBefore;
    const timingledger::Totals after = timingledger::totals();
    if (!finished) {
        state.SkipWithError("no signalTestFinished");
        return false;
    }
    const qint64 prescribedNs = (after.sleepNs - before.sleepNs) + (after.waitNs - before.waitNs);
    state.SetIterationTime(double(wallNs) / 1e9);
    state.counters["prescribed_ms"] = double(prescribedNs) / 1e6;
    state.counters["overhead_ms"] = double(wallNs - prescribedNs) / 1e6;
    state.counters["cpu_ms"] = double(cpuNs) / 1e6;
    state.counters["cpu_pct"] = 100.0 * double(cpuNs) / double(wallNs);
    return true;
}

WorkerProbe::WorkerProbe(serialclass &worker) : worker(worker), client(std::make_unique<WorkerClient>(&worker))
{
    // Only the answers that end a request are awaited; the others just arrive.
    QObject::connect(client.get(), &WorkerClient::connected, [this] { answer(true); });
    QObject::connect(client.get(), &WorkerClient::connectFailed, [this] { answer(false); });
    QObject::connect(client.get(), &WorkerClient::testFinished, [this] { answer(true); });
}

WorkerProbe::~WorkerProbe() = default;

bool WorkerProbe::startAndConnect(benchmark::State &state, metersim::MeterSimulator &meter)
{
    QString why;
    if (!meter.start(&why)) {
        state.SkipWithError(qPrintable(why));
        return false;
    }
    if (!await(5000, [&] { client->connectPort(meter.slavePath()); })) {
        state.SkipWithError("the worker could not open the pseudo-terminal");
        return false;
    }
    return true;
}

bool WorkerProbe::runTest(const QString &passwort, TestMode_t mode, enum_interfaces_t kind, int timeoutMs)
{
    return await(timeoutMs, [&] { client->startTest(passwort, mode, kind); });
}

bool WorkerProbe::runRequest(const StartRequest &request, int timeoutMs)
{
    return await(timeoutMs, [&] {
        QMetaObject::invokeMethod(&worker, [w = &worker, request] { w->slotStartRequest(request); },
                                  Qt::QueuedConnection);
    });
}

bool WorkerProbe::runReadHeadTest(int timeoutMs)
{
    return await(timeoutMs, [this] { client->startReadHeadTest(); });
}

bool WorkerProbe::await(int timeoutMs, const std::function<void()> &request)
{
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    waiting = &loop;
    answered = false;
    request();
    loop.exec();
    waiting = nullptr;
    return answered;
}

void WorkerProbe::answer(bool awaited)
{
    answered = awaited;
    if (waiting)
        waiting->quit();
}

void registerWireTimed(const std::string &name, std::function<void(benchmark::State &)> body)
{
    benchmark::RegisterBenchmark(name.c_str(), std::move(body))
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

int runWireTimedBenchmarks(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    registerMeterMetaTypes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
