// Runs each scenario of testdata/realmeters/cases.json once, the simulator
// replaying the real meter's telegram, and reports per real meter:
//   wall          time from the start request to signalTestFinished
//   prescribed    the sleeps the protocols prescribe plus the bounded waits
//                 as long as they lasted (waiting for the meter)
//   overhead      wall - prescribed: what the engine itself costs
//   cpu           CPU time of the worker thread, and its share of wall time
//   bytes         what reached the program's port (the replayed telegrams)
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tools/simulator/metersimulator.h"
#include "tests/realmeters/replaykinds.h"
#include "engine/serialclass.h"
#include "bench/common/workerprobe.h"

namespace {


void replay(benchmark::State &state, const Kind &kind, const QString &meterId)
{
    metersim::Options options;
    options.realMeter = meterId;
    if (kind.meterAt8N1)
        options.format = metersim::format8N1(9600);
    metersim::MeterSimulator meter(kind.profile, options);
    serialclass worker;
    WorkerProbe probe(worker);
    if (!probe.startAndConnect(state, meter))
        return;
    for (auto _ : state) {
        meter.clearRecorded();
        if (!timeWorkerRun(state, worker, [&] { return probe.runTest(QString(), TestMode_t(kind.mode), kind.accessory, 300000); }))
            return;
        state.counters["bytes"] = double(meter.sentBytes().size());
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_LOGGING_RULES", "default.debug=false"); // the worker's debug lines would break the table
    QFile file(QStringLiteral(REALMETER_CASES));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    // One row per case: "ir4 iskra-mt174-history".
    for (const QJsonValue v : QJsonDocument::fromJson(file.readAll()).array()) {
        const Kind *kind = kindByName(v[QLatin1String("kind")].toString());
        const QString meterId = v[QLatin1String("meter")].toString();
        if (!kind)
            continue;
        const std::string name = std::string(kind->name) + " " + meterId.toStdString();
        registerWireTimed(name, [kind, meterId](benchmark::State &s) { replay(s, *kind, meterId); });
    }
    return runWireTimedBenchmarks(argc, argv);
}
