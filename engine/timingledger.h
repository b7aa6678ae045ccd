#pragma once

#include <QtGlobal>

// Adds up the time the tests spend in the sleeps and waits the protocols
// prescribe, so a benchmark can tell that time apart from the engine's own
// cost. Lock-free counters; negligible next to a 50 ms sleep slice.
namespace timingledger {

struct Totals
{
    qint64 sleepNs = 0; // prescribed sleeps, as requested
    qint64 waitNs = 0;  // bounded waits, as long as they lasted
};

void addSleep(qint64 ns);
void addWait(qint64 ns);
Totals totals();

} // namespace timingledger
