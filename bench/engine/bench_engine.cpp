// Runs each test path once against the simulated meter and reports:
//   wall          time from the start request to signalTestFinished
//   prescribed    the sleeps the protocols prescribe plus the bounded waits
//                 as long as they lasted (waiting for the meter)
//   overhead      wall - prescribed: what the engine itself costs
//   cpu           CPU time of the worker thread, and its share of wall time
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "tools/simulator/metersimulator.h"
#include "engine/serialclass.h"
#include "bench/common/workerprobe.h"

namespace {

using metersim::Profile;

struct BenchPath
{
    const char *name;
    Profile profile;
    int mode; // TestMode_t, or -1 for the loopback test
    enum_interfaces_t accessory;
    int intervalMs;
};

// Every path ends in a success except the one named "no data".
constexpr BenchPath kPaths[] = {
    {"IR1 SML listening", Profile::SmlPush, 1, IR_Head, 1000},
    {"IR1 no data", Profile::Silent, 1, IR_Head, 0},
    {"IR2 SML request", Profile::SmlRequest, 2, IR_Head, 0},
    {"IR3 OBIS listening", Profile::IecPush, 3, IR_Head, 1000},
    {"IR4 sign-on 9600", Profile::IecModeC, 4, IR_Head, 0},
    {"read-head loopback", Profile::Loopback, -1, IR_Head, 0},
    {"IR chain to test 4", Profile::IecModeC, 0, IR_Head, 0},
    {"RS485 1 Modbus", Profile::ModbusSlave, 1, MODBUS485_Converter, 0},
    {"RS485 2 readout 7E1", Profile::Rs485Iec, 2, MODBUS485_Converter, 0},
    {"RS485 4 SML listening", Profile::Rs485SmlPush, 4, MODBUS485_Converter, 2000},
    {"RS485 chain to test 4", Profile::Rs485SmlPush, 0, MODBUS485_Converter, 2000},
};


void runPath(benchmark::State &state, const BenchPath &path)
{
    metersim::Options options;
    options.slaveAddress = 0x79;
    if (path.intervalMs > 0)
        options.intervalMs = path.intervalMs;
    metersim::MeterSimulator meter(path.profile, options);
    serialclass worker;
    WorkerProbe probe(worker);
    if (!probe.startAndConnect(state, meter))
        return;

    for (auto _ : state) {
        const bool finished = timeWorkerRun(state, worker, [&] {
            return path.mode < 0 ? probe.runReadHeadTest(300000)
                                 : probe.runTest(QStringLiteral("12345678"), TestMode_t(path.mode), path.accessory, 300000);
        });
        if (!finished)
            return;
    }
}

} // namespace

int main(int argc, char **argv)
{
    for (const BenchPath &path : kPaths)
        registerWireTimed(path.name, [&path](benchmark::State &s) { runPath(s, path); });
    return runWireTimedBenchmarks(argc, argv);
}
