// Writes the fuzzer's seed readouts: what the builder makes, good and faulty,
// and every real meter's capture. Usage: fuzz_iec_seeds <dir> <meters.json>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tools/iec_encoder/iecencoder.h"

namespace {

bool write(const QString &dir, const QString &name, const QByteArray &bytes)
{
    QFile f(dir + '/' + name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir))
        return 1;
    bool ok = true;

    using F = IecAddressForm;
    using V = IecValueFault;
    int n = 0;
    for (const V fault : {V::None, V::NoUnit, V::NoDecimals, V::DecimalComma, V::UnitWithoutStar}) {
        for (const F form : {F::Full, F::Short, F::TwoGroups}) {
            IecReadoutBuilder b("ESY", '5', "Q3DA1004 V3.04");
            b.addValue({"1.8.0", 23.7246460, 7, "kWh", form, fault})
                .addValue({"2.8.1", 1500, 0, "Wh", form, fault})
                .addValue({"32.7.0", 230.1, 1, "V", form, fault})
                .addValue({"31.7.0", 1.5, 2, "A", form, fault})
                .addValue({"21.7.0", 0.0713, 4, "kW", form, fault})
                .addValue({"1.7.0", 241.35, 2, "W", form, fault})
                .addText("C.5.0", "L1-L2-L3");
            for (const IecFrameFault frame : {IecFrameFault::None, IecFrameFault::NoEtx, IecFrameFault::WrongBcc})
                ok &= write(dir, QString("built-%1").arg(n++), b.readout(frame));
        }
    }

    // Malformed text: long lines, broken brackets, NUL and non-ASCII bytes,
    // numbers of many digits, keys run together; then 5000 bytes of noise.
    const QByteArray badInputs[] = {
        "1.8.0(" + QByteArray(8000, '1') + "*kWh)",
        "1.8.0*255 12.5*kWh\r\n32.7.0 230",
        "1.8.0((12.5)*kWh))\r\n1.7.0(((",
        "1.8.0)12(\r\n2.8.0(((5*kWh\r\n",
        QByteArray("1.8.0(\0\0\0)\r\n1.7.0(1\0*W)", 24),
        "1.8.0(\xff\xfe\xc3\xa4*kWh)\r\n32.7(\xe2\x82\xac)",
        "1.8.0(" + QByteArray(400, '9') + ".5)\r\n1.8.1(1" + QByteArray(400, '0') + ")",
        "1.8.01.8.11.8.22.8.032.7(33.7(ELS4",
        "32.7.032.7.031.7.0(1*A)32.7.0(2*V)",
    };
    for (const QByteArray &bad : badInputs)
        ok &= write(dir, QString("bad-%1").arg(n++), bad);
    QByteArray noise(5000, 0);
    quint32 x = 14;
    for (char &c : noise)
        c = char((x = x * 1664525u + 1013904223u) >> 24);
    ok &= write(dir, "noise-5000", noise);

    QFile json(QString::fromLocal8Bit(argv[2]));
    if (!json.open(QIODevice::ReadOnly))
        return 1;
    for (const QJsonValue &e : QJsonDocument::fromJson(json.readAll()).array())
        ok &= write(dir, "meter-" + e["id"].toString(), QByteArray::fromHex(e["hex"].toString().toLatin1()));
    return ok ? 0 : 1;
}
