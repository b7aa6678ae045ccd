#pragma once
// Shared by the engine benchmarks: the worker thread's CPU time, waiting for
// one of its signals with a bound, and a worker connected to a simulated meter.
#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <ctime>

#include "tools/simulator/metersimulator.h"
#include "engine/serialclass.h"

inline qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The worker thread's CPU time, read in that thread while it is idle.
inline qint64 workerCpuNs(serialclass &worker)
{
    qint64 ns = 0;
    QMetaObject::invokeMethod(&worker, [&ns] { ns = threadCpuNs(); }, Qt::BlockingQueuedConnection);
    return ns;
}

template <typename Signal, typename Request>
bool waitFor(serialclass &worker, Signal signal, int timeoutMs, Request request)
{
    QEventLoop loop;
    bool done = false;
    QObject::connect(&worker, signal, &loop, [&done, &loop] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    request();
    if (!done)
        loop.exec();
    return done;
}

// Starts the meter and connects the worker to its port; skips the benchmark
// and returns false when either fails.
inline bool startAndConnect(benchmark::State &state, metersim::MeterSimulator &meter, serialclass &worker)
{
    QString why;
    if (!meter.start(&why)) {
        state.SkipWithError(qPrintable(why));
        return false;
    }
    if (!waitFor(worker, &serialclass::signalConnectSerial_Success, 5000, [&] {
            QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Q_ARG(QString, meter.slavePath()));
        })) {
        state.SkipWithError("the worker could not open the pseudo-terminal");
        return false;
    }
    return true;
}
