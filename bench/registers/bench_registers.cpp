// Cost of listing every register of a real meter's telegram; for SML with
// libsml's parse of the same bytes beside it. Run: bench_registers; the
// names carry the telegram's size in bytes.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "protocols/iecregisters.h"
#include "protocols/smlregisters.h"

extern "C" {
#include <sml/sml_file.h>
}

namespace {

QJsonArray meters(const char *file)
{
    QFile f(QStringLiteral(METER_DATA "/") + QLatin1String(file));
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).array() : QJsonArray();
}

std::string name(const char *what, const QJsonValue &meter, const QByteArray &bytes)
{
    return std::string(what) + "/" + meter["id"].toString().toStdString() + "/" + std::to_string(bytes.size());
}

void registerAll()
{
    for (const QJsonValue &m : meters("sml.json")) {
        if (!m["hex"].isString())
            continue;
        const QByteArray frame = QByteArray::fromHex(m["hex"].toString().toLatin1());
        benchmark::RegisterBenchmark(name("listSmlRegisters", m, frame).c_str(), [frame](benchmark::State &state) {
            for (auto _ : state)
                benchmark::DoNotOptimize(listSmlRegisters(frame));
        });
        // libsml parses the bytes between the escapes and has no bounds checks of its own.
        benchmark::RegisterBenchmark(name("libsml_parse", m, frame).c_str(), [frame](benchmark::State &state) {
            QByteArray body = frame.mid(8, frame.size() - 16);
            for (auto _ : state) {
                sml_file *file = sml_file_parse(reinterpret_cast<unsigned char *>(body.data()), std::size_t(body.size()));
                benchmark::DoNotOptimize(file);
                sml_file_free(file);
            }
        });
    }
    for (const QJsonValue &m : meters("iec62056-21.json")) {
        const QByteArray readout = QByteArray::fromHex(m["hex"].toString().toLatin1());
        benchmark::RegisterBenchmark(name("listIecRegisters", m, readout).c_str(), [readout](benchmark::State &state) {
            for (auto _ : state)
                benchmark::DoNotOptimize(listIecRegisters(readout));
        });
    }
}

} // namespace

int main(int argc, char **argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
