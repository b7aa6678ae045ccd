#include "engine/timingledger.h"

#include <atomic>

namespace timingledger {

namespace {
std::atomic<qint64> sleepTotal{0};
std::atomic<qint64> waitTotal{0};
} // namespace

void addSleep(qint64 ns) { sleepTotal.fetch_add(ns, std::memory_order_relaxed); }
void addWait(qint64 ns) { waitTotal.fetch_add(ns, std::memory_order_relaxed); }

Totals totals()
{
    Totals t;
    t.sleepNs = sleepTotal.load(std::memory_order_relaxed);
    t.waitNs = waitTotal.load(std::memory_order_relaxed);
    return t;
}

} // namespace timingledger
