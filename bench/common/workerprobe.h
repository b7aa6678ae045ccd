#pragma once
// Shared by the engine benchmarks: the worker thread's CPU time, and waiting
// for one of its signals with a bound.
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <ctime>

#include "serialclass.h"

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
