// Time to find a Modbus slave at address 1 under each line setting of the
// search, asked with the address of another meter number first, so that the
// slave is found only where the search order reaches address 1:
//   found_ms     from the search request to the device's report
//   bound_ratio  found_ms / 5 s, the bound for address 1 under any setting
//   addr1_max_ms what the order allows at most before address 1 has had both
//                probes under every setting (a device that ignores function 03)
//   worst_min    a full search in which nothing answers, from the same order
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "bench/common/workerprobe.h"
#include "engine/serialclass.h"
#include "protocols/modbusprobe.h"
#include "tools/simulator/metersimulator.h"

namespace {

constexpr double kFoundWithinMs = 5000;

// The budgets of the probes up to the last one of address 1.
qint64 addressOneWorstMs(int firstAddress)
{
    const QList<SearchProbe> order = searchOrder(firstAddress);
    qint64 total = 0, upToLast = 0;
    for (const SearchProbe &p : order) {
        total += probeBudgetMs(kSearchLines[p.line].setting, modbusReadAnswerBytes(kProbeRegisterCount));
        if (p.address == 1)
            upToLast = total;
    }
    return upToLast;
}

void findAt(benchmark::State &state, const SearchLine &line)
{
    metersim::Options options;
    options.slaveAddress = 1;
    options.format = metersim::LineFormat{line.setting.baud, line.setting.dataBits,
                                          line.setting.parity == Parity::Even ? 'E' : 'N', 1};
    metersim::MeterSimulator meter(metersim::Profile::ModbusSlave, options);
    serialclass worker;
    QEventLoop loop;
    bool connected = false;
    ModbusSearchEvent found;
    QObject::connect(&worker, &serialclass::signalConnectSerial_Success, &loop, [&] { connected = true; loop.quit(); });
    QObject::connect(&worker, &serialclass::signalConnectSerial_Fail, &loop, &QEventLoop::quit);
    QObject::connect(&worker, &serialclass::signalModbusSearchEvent, &loop, [&](const ModbusSearchEvent &e) {
        if (e.kind == ModbusSearchEvent::Kind::Device)
            found = e;
        if (e.kind == ModbusSearchEvent::Kind::End)
            loop.quit();
    });
    if (!meter.start()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Q_ARG(QString, meter.slavePath()));
    loop.exec();
    if (!connected) {
        state.SkipWithError("no connect");
        return;
    }
    for (auto _ : state) {
        ModbusSearchRequest request;
        request.meterNumber = QStringLiteral("12345678"); // address 121 first, then 1
        QMetaObject::invokeMethod(&worker, "slotModbusSearch", Q_ARG(ModbusSearchRequest, request));
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        if (found.address != 1 || !(found.setting == line.setting)) {
            state.SkipWithError("not found at its setting");
            return;
        }
        state.SetIterationTime(found.elapsedMs / 1000.0);
    }
    state.counters["found_ms"] = double(found.elapsedMs);
    state.counters["probe"] = found.probe;
    state.counters["bound_ratio"] = found.elapsedMs / kFoundWithinMs;
    state.counters["addr1_max_ms"] = double(addressOneWorstMs(121));
    state.counters["worst_min"] = searchWorstCaseMs() / 60000.0;
}

} // namespace

int main(int argc, char **argv)
{
    qRegisterMetaType<ModbusSearchRequest>();
    qRegisterMetaType<ModbusSearchEvent>();
    for (const SearchLine &line : kSearchLines)
        registerWireTimed(("address 1 at " + line.setting.text()).toStdString(),
                          [&line](benchmark::State &s) { findAt(s, line); });
    return runWireTimedBenchmarks(argc, argv);
}
