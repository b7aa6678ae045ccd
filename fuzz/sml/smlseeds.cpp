// Writes the fuzzer's seed telegrams: every real meter frame and stream, and
// the encoder's normal and faulty telegrams.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

#include "tools/sml_encoder/smlencoder.h"

using namespace smlencoder;

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <seed folder> <sml.json>\n", argv[0]);
        return 2;
    }
    QDir().mkpath(argv[1]);
    const QDir out(argv[1]);
    int written = 0;
    auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile file(out.filePath(name));
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
            ++written;
    };

    QFile json(argv[2]);
    if (!json.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    for (const QJsonValue &v : QJsonDocument::fromJson(json.readAll()).array()) {
        const QJsonObject e = v.toObject();
        const QByteArray bytes = QByteArray::fromHex(e.value(e.contains("hex") ? "hex" : "stream_hex").toString().toLatin1());
        write("real_" + e.value("id").toString(), bytes);
        write("real_cut_" + e.value("id").toString(), bytes.left(bytes.size() / 2));
    }

    SmlMeterReading r;
    r.importKWh[0] = 5430.1577;
    r.importKWh[1] = 5000.1;
    r.importKWh[2] = 430.0577;
    r.exportKWh[0] = 26244.5726;
    r.powerW = -299.12;
    r.phasePowerW[0] = 120.5;
    r.voltageV[0] = 231.9;
    r.currentA[0] = 1.06;
    const QByteArray one = smlSinglePhaseMeterFile(r);
    const QByteArray three = smlThreePhaseMeterFile(r);
    write("enc_single", one);
    write("enc_three", three);
    write("enc_kermit", smlThreePhaseMeterFile(r, SmlCrcForm::KermitHighByteFirst));
    write("enc_crc_high_first", smlWithCrcHighByteFirst(one));
    write("enc_wrong_crc", smlWithWrongCrc(one));
    write("enc_cut", smlCutShort(three, 3));
    write("enc_two_frames", smlTwoFrames(one, three));
    write("enc_garbage", smlWithGarbage(one, QByteArray("\x1B\x1B\x00\x77\x07", 5), QByteArray("\x1B\x1B\x1B\x1B\x1A", 5)));

    std::printf("%d seeds\n", written);
    return written > 0 ? 0 : 1;
}
