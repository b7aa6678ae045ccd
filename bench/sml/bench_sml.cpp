// Cost of the SML frame helpers and decoder, and of libsml on the same bytes.
// Run: bench_sml [--benchmark_filter=...]; read ours/libsml per telegram.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstring>

#include "protocols/parserclass.h"
#include "tools/sml_encoder/smlencoder.h"
#include "protocols/smlitems.h"
#include "tests/sml/smlplainsearch.h"

extern "C" {
#include <sml/sml_file.h>
#include <sml/sml_value.h>
}

using namespace smlencoder;

namespace {

struct Telegram
{
    std::string name;
    QByteArray bytes;
    bool libsml; // libsml is only fed well-formed frames: it has no bounds checks of its own
};

std::vector<Telegram> telegrams()
{
    std::vector<Telegram> out;
    SmlMeterReading r;
    r.importKWh[0] = 12345.6789;
    r.importKWh[1] = 12000.6;
    r.importKWh[2] = 345.0789;
    r.exportKWh[0] = 77.7;
    r.powerW = -1234.5;
    r.phasePowerW[0] = -400.1;
    r.voltageV[0] = 229.9;
    r.currentA[0] = 16.05;
    out.push_back({ "single_phase", smlSinglePhaseMeterFile(r), true });
    out.push_back({ "three_phase", smlThreePhaseMeterFile(r), true });

    QFile file(QStringLiteral(SML_METER_DATA));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QJsonValue &v : QJsonDocument::fromJson(file.readAll()).array()) {
            const QJsonObject e = v.toObject();
            if (e.contains("hex"))
                out.push_back({ "real/" + e.value("id").toString().toStdString(),
                                QByteArray::fromHex(e.value("hex").toString().toLatin1()), true });
        }
    }

    // Worst inputs for our decoder: every byte pair a pattern candidate, and
    // all 51 entries followed by walks that run to the end of 5000 bytes.
    QByteArray candidates;
    while (candidates.size() < 5000)
        candidates += QByteArray("\x77\x07\x01\x00\x01\x07", 6);
    out.push_back({ "worst/candidates_5000", candidates, false });
    QByteArray longWalks;
    for (const SmlItem &item : kSmlItems)
        longWalks += smlItemPattern(item) + char(0xFF);
    longWalks += QByteArray(5000 - longWalks.size(), '\0');
    out.push_back({ "worst/walks_5000", longWalks, false });
    return out;
}

// libsml's way to the same numbers: parse the file, then look each entry of
// the value list up in the item table.
double libsmlParseAndLookUp(QByteArray &body)
{
    double sum = 0.0;
    sml_file *file = sml_file_parse(reinterpret_cast<unsigned char *>(body.data()), std::size_t(body.size()));
    for (int i = 0; file && i < file->messages_len; ++i) {
        sml_message *msg = file->messages[i];
        if (!msg->message_body || *msg->message_body->tag != SML_MESSAGE_GET_LIST_RESPONSE)
            continue;
        for (sml_list *e = static_cast<sml_get_list_response *>(msg->message_body->data)->val_list; e; e = e->next) {
            if (!e->value || !e->obj_name || e->obj_name->len < 5)
                continue;
            for (const SmlItem &item : kSmlItems) {
                if (std::memcmp(e->obj_name->str, item.obis, 5) == 0) {
                    sum += sml_value_to_double(e->value) * std::pow(10.0, e->scaler ? *e->scaler : 0);
                    break;
                }
            }
        }
    }
    if (file)
        sml_file_free(file);
    return sum;
}

void registerAll()
{
    static const std::vector<Telegram> all = telegrams();
    for (const Telegram &t : all) {
        const QByteArray frame = t.bytes;
        benchmark::RegisterBenchmark(("decodeSml/" + t.name).c_str(), [frame](benchmark::State &state) {
            const parserclass p;
            for (auto _ : state)
                benchmark::DoNotOptimize(p.decodeSml(frame));
            state.SetBytesProcessed(state.iterations() * frame.size());
        });
        if (t.libsml) {
            benchmark::RegisterBenchmark(("libsml/" + t.name).c_str(), [frame](benchmark::State &state) {
                QByteArray body = frame.mid(8, frame.size() - 16);
                for (auto _ : state)
                    benchmark::DoNotOptimize(libsmlParseAndLookUp(body));
                state.SetBytesProcessed(state.iterations() * frame.size());
            });
        }
        benchmark::RegisterBenchmark(("crc/" + t.name).c_str(), [frame](benchmark::State &state) {
            const parserclass p;
            for (auto _ : state)
                benchmark::DoNotOptimize(p.smlCrcMatches(frame));
        });
        benchmark::RegisterBenchmark(("locate_one_pass/" + t.name).c_str(), [frame](benchmark::State &state) {
            for (auto _ : state)
                benchmark::DoNotOptimize(locateSmlItems(frame));
        });
        benchmark::RegisterBenchmark(("locate_plain/" + t.name).c_str(), [frame](benchmark::State &state) {
            for (auto _ : state)
                benchmark::DoNotOptimize(locateSmlItemsPlain(frame));
        });
    }
    // A frame in the middle of a 5000-byte receive buffer.
    for (const Telegram &t : { all[0], all[1] }) {
        QByteArray buffer(2500 - t.bytes.size() / 2, '\x1B');
        buffer += t.bytes;
        buffer += QByteArray(5000 - buffer.size(), '\x01');
        benchmark::RegisterBenchmark(("extractSmlFrame_5000/" + t.name).c_str(), [buffer](benchmark::State &state) {
            const parserclass p;
            for (auto _ : state)
                benchmark::DoNotOptimize(p.extractSmlFrame(buffer));
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
