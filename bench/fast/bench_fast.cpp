// For each meter kind, in one run: the time from the start request to the
// verdict of the fast chain (StartRequest::fast, viviv-cli --schnell) and of
// the normal chain ("Alle Tests"), against the same simulated meter at its
// slowest settings (reaction and acknowledgement reaction 1500 ms, the push
// interval named and its push just missed, a USB adapter's packets). Counters:
//   fast_ms, chain_ms  time to signalTestFinished (fast: median of three)
//   fast_max_ms        the slowest of the three fast runs
//   speedup            chain_ms / fast_ms
//   wire_ms            what the wire itself needs at least (see wireMs())
//   bound_ms           the most the fast chain may take
//   within_bound       1 when fast_max_ms <= bound_ms
// The bench's own time (the manual time) is the fast chain's.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <vector>

#include "bench/common/workerprobe.h"
#include "engine/serialclass.h"
#include "protocols/modbusrtu.h"
#include "tools/simulator/metersimulator.h"
#include "tools/simulator/telegrams.h"

namespace {

using metersim::Profile;

enum class Wire { SmlPush, SmlRequest, IecPush, ModeC, Nothing, Modbus };

struct MeterKind
{
    const char *name;
    Profile profile;
    enum_interfaces_t accessory;
    int intervalMs; // push meters
    int reactionMs; // request and sign-on meters
    Wire wire;
    int boundMs;    // 0: the push interval plus one second
};

constexpr int kSlowestReactionMs = 1500;
constexpr int kFirstPushMs = 500;
constexpr int kPushMissedByMs = 30;
// The fast chain runs this often per kind (the chain once): the median is
// reported, and the slowest run is held against the bound.
constexpr int kFastRuns = 3;

// The SML request meter at the simulator's slowest reaction as well: the wire
// alone then needs more than the 2 s bound (request, 1.5 s, the answer).
constexpr MeterKind kKinds[] = {
    {"SML push 1 s", Profile::SmlPush, IR_Head, 1000, 0, Wire::SmlPush, 2000},
    {"SML push 4 s", Profile::SmlPush, IR_Head, 4000, 0, Wire::SmlPush, 5000},
    {"SML request 200 ms", Profile::SmlRequest, IR_Head, 0, 200, Wire::SmlRequest, 2000},
    {"SML request 1500 ms", Profile::SmlRequest, IR_Head, 0, kSlowestReactionMs, Wire::SmlRequest, 2000},
    {"IEC push 1 s", Profile::IecPush, IR_Head, 1000, 0, Wire::IecPush, 0},
    {"IEC push 4 s", Profile::IecPush, IR_Head, 4000, 0, Wire::IecPush, 0},
    {"mode C at 9600", Profile::IecModeC, IR_Head, 0, kSlowestReactionMs, Wire::ModeC, 10000},
    {"nothing at all", Profile::Silent, IR_Head, 0, 0, Wire::Nothing, 12000},
    {"RS485 Modbus", Profile::ModbusSlave, MODBUS485_Converter, 0, 0, Wire::Modbus, 2000},
};

double bytesMs(qint64 bytes, int bitsPerCharacter, int baud)
{
    return double(bytes) * bitsPerCharacter * 1000.0 / baud;
}

// The least time the wire needs for a verdict: a push just missed costs a
// whole interval; a request costs its time on the wire, the meter's reaction
// and the answer; "nothing" costs the longest push interval and a sign-on
// left unanswered for the longest reaction.
double wireMs(const MeterKind &kind)
{
    switch (kind.wire) {
    case Wire::SmlPush:
        return kind.intervalMs + bytesMs(metersim::telegrams::smlFile().size(), 10, 9600);
    case Wire::SmlRequest:
        return bytesMs(96, 10, 9600) + kind.reactionMs + bytesMs(metersim::telegrams::smlFile().size(), 10, 9600);
    case Wire::IecPush:
        return kind.intervalMs + bytesMs(metersim::telegrams::iecPushMessage().size(), 10, 9600);
    case Wire::ModeC:
        return bytesMs(5, 10, 300) + kSlowestReactionMs + bytesMs(metersim::telegrams::iecIdentification('5').size() + 2, 10, 300)
            + bytesMs(6, 10, 300) + kSlowestReactionMs + bytesMs(metersim::telegrams::iecDataMessage().size(), 10, 9600);
    case Wire::Nothing:
        return 4000 + bytesMs(5, 10, 300) + kSlowestReactionMs;
    case Wire::Modbus: {
        double ms = 0;
        for (const ModbusRequest &r : kModbusRequests) // request, answer, 3.5 characters of silence each way
            ms += bytesMs(8 + 5 + 2 * r.registerCount + 7, 11, 9600);
        return ms;
    }
    }
    return 0;
}

void runKind(benchmark::State &state, const MeterKind &kind)
{
    metersim::Options options;
    options.slaveAddress = 0x79;
    options.reactionMs = kind.reactionMs;
    options.ackReactionMs = kSlowestReactionMs;
    options.usbAdapter = true;
    if (kind.intervalMs > 0) {
        options.intervalMs = kind.intervalMs;
        options.firstPushMs = kFirstPushMs;
    }
    metersim::MeterSimulator meter(kind.profile, options);
    serialclass worker;
    WorkerProbe probe(worker);
    if (!probe.startAndConnect(state, meter))
        return;

    StartRequest request;
    request.accessory = kind.accessory;
    request.meterNumber = QStringLiteral("12345678");
    const auto timed = [&](bool fast, double &ms) {
        request.fast = fast;
        // The worst case for a push meter: its push has just begun.
        if (kind.intervalMs > 0) {
            meter.clearRecorded();
            QElapsedTimer waited;
            waited.start();
            while (meter.sentBytes().isEmpty() && waited.elapsed() < 2 * kind.intervalMs)
                QThread::msleep(2);
            QThread::msleep(kPushMissedByMs);
        }
        QElapsedTimer clock;
        clock.start();
        const bool finished = probe.runRequest(request, 300000);
        ms = double(clock.nsecsElapsed()) / 1e6;
        return finished;
    };
    for (auto _ : state) {
        std::vector<double> fastMs(kFastRuns);
        double chainMs = 0;
        for (double &ms : fastMs)
            if (!timed(true, ms))
                return state.SkipWithError("no signalTestFinished");
        if (!timed(false, chainMs))
            return state.SkipWithError("no signalTestFinished");
        std::sort(fastMs.begin(), fastMs.end());
        const double median = fastMs[kFastRuns / 2];
        const double bound = kind.boundMs > 0 ? kind.boundMs : kind.intervalMs + 1000;
        state.SetIterationTime(median / 1000.0);
        state.counters["fast_ms"] = median;
        state.counters["fast_max_ms"] = fastMs.back();
        state.counters["chain_ms"] = chainMs;
        state.counters["speedup"] = chainMs / median;
        state.counters["wire_ms"] = wireMs(kind);
        state.counters["bound_ms"] = bound;
        state.counters["within_bound"] = fastMs.back() <= bound ? 1 : 0;
    }
}

} // namespace

int main(int argc, char **argv)
{
    for (const MeterKind &kind : kKinds)
        registerWireTimed(kind.name, [&kind](benchmark::State &s) { runKind(s, kind); });
    return runWireTimedBenchmarks(argc, argv);
}
