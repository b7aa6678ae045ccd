// Decoder costs on telegrams of realistic size. Aim: a typical three-phase
// readout decoded in well under 20 microseconds.
#include <benchmark/benchmark.h>

#include "tools/iec_encoder/iecencoder.h"
#include "tools/modbus_encoder/modbusencoder.h"
#include "protocols/modbusrtu.h"
#include "protocols/parserclass.h"

namespace {

// About 400 bytes in 20 lines, the address forms mixed as real meters do.
QByteArray typicalReadout()
{
    using F = IecAddressForm;
    IecReadoutBuilder b("ISk", '5', "MT174-0001");
    b.addText("0.0.0", "63355730").addText("F.F", "00000000");
    for (const char *e : {"1.8.0", "1.8.1", "1.8.2", "2.8.0", "2.8.1", "2.8.2"})
        b.addValue({e, 8048.375, 3, "kWh", F::Short, IecValueFault::None, 7});
    for (const char *v : {"32.7.0", "52.7.0", "72.7.0"})
        b.addValue({v, 231.4, 1, "V", F::Short});
    for (const char *a : {"31.7.0", "51.7.0", "71.7.0"})
        b.addValue({a, 5.25, 2, "A", F::Short});
    for (const char *p : {"21.7.0", "41.7.0", "61.7.0"})
        b.addValue({p, 0.302, 3, "kW", F::Short});
    b.addValue({"1.7.0", 0.908, 3, "kW", F::Full}).addText("C.5.0", "L1-L2-L3").addText("C.1", "53965555");
    return b.readout();
}

// About 5000 bytes: a billing history first, the current values last.
QByteArray longReadout()
{
    IecReadoutBuilder b("ISk", '5', "MT174-0001");
    for (int i = 1; b.dataMessage().size() < 4400; ++i)
        b.addLine(QByteArray("1-0:1.6.0*") + QByteArray::number(i % 100) + "(03.258*kW)(1702102000)");
    for (const char *e : {"1.8.0", "2.8.0", "32.7.0", "31.7.0", "21.7.0"})
        b.addValue({e, 123.456, 3, "", IecAddressForm::Full});
    return b.readout();
}

void decode(benchmark::State &state, const QByteArray &readout)
{
    const parserclass p;
    const QString text = QString::fromLatin1(readout);
    for (auto _ : state)
        benchmark::DoNotOptimize(p.decodeObisAscii(text));
    state.SetBytesProcessed(state.iterations() * readout.size());
    state.SetLabel(std::to_string(readout.size()) + " bytes");
}

void BM_decodeObisAscii_typical(benchmark::State &state)
{
    decode(state, typicalReadout());
}

void BM_decodeObisAscii_long(benchmark::State &state)
{
    decode(state, longReadout());
}

void BM_calcBcc_typical(benchmark::State &state)
{
    const parserclass p;
    const QByteArray readout = typicalReadout();
    for (auto _ : state)
        benchmark::DoNotOptimize(p.calcBcc(readout));
    state.SetBytesProcessed(state.iterations() * readout.size());
}

void BM_decodeModbus_full(benchmark::State &state)
{
    const parserclass p;
    modbus_answers_t answers;
    for (int i = 0; i < kModbusRequestCount; ++i)
        answers.slot[kModbusRequests[i].answerSlot] = ModbusAnswerBuilder::answerFor(1, i, 123456u * quint64(i + 1));
    for (auto _ : state)
        benchmark::DoNotOptimize(p.decodeModbus(answers));
}

void BM_calcModbusCrc(benchmark::State &state)
{
    const parserclass p;
    const QByteArray data(int(state.range(0)), '\x5a');
    for (auto _ : state)
        benchmark::DoNotOptimize(p.calcModbusCrc(data, data.size()));
    state.SetBytesProcessed(state.iterations() * data.size());
}

} // namespace

BENCHMARK(BM_decodeObisAscii_typical);
BENCHMARK(BM_decodeObisAscii_long);
BENCHMARK(BM_calcBcc_typical);
BENCHMARK(BM_decodeModbus_full);
BENCHMARK(BM_calcModbusCrc)->Arg(6)->Arg(256);

BENCHMARK_MAIN();
