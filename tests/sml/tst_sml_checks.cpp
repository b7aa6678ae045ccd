// Independent checks of the SML decoder: libsml reads the same telegrams, real
// meters' frames are read against the values their sources give, and damaged
// frames must neither crash nor change what the single-pass search finds.
#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <cmath>

#include "parserclass.h"
#include "smlencoder.h"
#include "smlitems.h"
#include "smloracle.h"

using namespace smlencoder;

namespace {

const SmlItem *itemFor(const QByteArray &obis)
{
    for (const SmlItem &item : kSmlItems) {
        if (item.kind != SmlItemKind::Text && obis.startsWith(QByteArray(reinterpret_cast<const char *>(item.obis), 5)))
            return &item;
    }
    return nullptr;
}

// libsml's value in the record's units: energies in kWh when sent in Wh.
double inRecordUnits(const SmlItem &item, const LibsmlValue &v)
{
    const double value = v.number * std::pow(10.0, v.scaler);
    return item.kind == SmlItemKind::Energy && v.unit == SmlUnitWattHour ? value / 1000.0 : value;
}

bool near(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

// "1-0:16.7.0" -> 01 00 10 07 00
QByteArray obisBytes(const QString &address)
{
    QByteArray out;
    for (const QString &part : address.split(QRegularExpression("[-:.*]")))
        out += char(part.toInt());
    return out;
}

// Where our reading of a real frame differs from what its source says, and why.
struct Difference
{
    const char *id;
    const char *obis;
    bool read;       // the decoder reads the register at all
    double ours;     // record units
    const char *rule;
};
constexpr Difference kDifferences[] = {
    { "dzg_dvs7412_int16_bug", "1-0:16.7.0", true, 356.24,
      "DVS74 rule: this series sends a positive power as Integer16; read unsigned as its display shows" },
    { "hly_dtz541_zdba", "1-0:81.7.1", false, 0, "phase angle U-L2 to U-L1 is not one of the 51 registers read" },
    { "hly_dtz541_zdba", "1-0:81.7.2", false, 0, "phase angle U-L3 to U-L1 is not one of the 51 registers read" },
    { "hly_dtz541_zdba", "1-0:14.7.0", false, 0, "the frequency is not one of the 51 registers read" },
};

const Difference *differenceFor(const QString &id, const QString &obis)
{
    for (const Difference &d : kDifferences) {
        if (id == QLatin1String(d.id) && obis == QLatin1String(d.obis))
            return &d;
    }
    return nullptr;
}

// Real frames whose CRC is bad or that carry no energy register.
constexpr const char *kBadCrc[] = { "esy_q3a_lost_bytes_badcrc" };
constexpr const char *kNoEnergyRegister[] = { "emh_signed_1_17_0" };

template <typename List>
bool listed(const List &list, const QString &id)
{
    return std::any_of(std::begin(list), std::end(list), [&](const char *name) { return id == QLatin1String(name); });
}

QJsonArray realMeters()
{
    QFile file(QStringLiteral(SML_METER_DATA));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", SML_METER_DATA);
    return QJsonDocument::fromJson(file.readAll()).array();
}

QByteArray bytesOf(const QJsonObject &entry)
{
    return QByteArray::fromHex(entry.value(entry.contains("hex") ? "hex" : "stream_hex").toString().toLatin1());
}

// A telegram of the encoder with random registers, widths, signs, status,
// time forms, units and scalers; each record field fed by one register only.
QByteArray randomTelegram(QRandomGenerator &rng)
{
    QVector<SmlListEntry> entries;
    QVector<double meter_result_t::*> used;
    for (const SmlItem &item : kSmlItems) {
        if (item.kind == SmlItemKind::Text || used.contains(item.value) || rng.bounded(3) == 0)
            continue;
        used << item.value;
        SmlListEntry e;
        e.obis = QByteArray(reinterpret_cast<const char *>(item.obis), 5) + char(0xFF);
        if (rng.bounded(2)) {
            e.statusWidth = 1 + int(rng.bounded(4));
            e.status = rng.generate64() >> (64 - 8 * e.statusWidth);
        }
        e.time = { SmlTime::Form(rng.bounded(3)), rng.generate() };
        if (rng.bounded(4))
            e.unit = item.kind == SmlItemKind::Energy ? SmlUnitWattHour : SmlUnitWatt;
        if (rng.bounded(4))
            e.scaler = qint8(int(rng.bounded(9)) - 4);
        const int width = 1 + int(rng.bounded(8));
        const quint64 bits = rng.generate64() >> (64 - 8 * width);
        if (item.kind == SmlItemKind::Energy) // counters: positive in either type
            e.value = rng.bounded(2) ? SmlValue::unsignedInt(bits, width) : SmlValue::signedInt(qint64(bits >> 1), width);
        else
            e.value = rng.bounded(2) ? SmlValue::unsignedInt(bits, width)
                                     : SmlValue::signedInt(qint64(bits << (64 - 8 * width)) >> (64 - 8 * width), width);
        entries << e;
    }
    return smlMeterFile(entries, QByteArray::fromHex("0A01454D480000BC614E"));
}

} // namespace

class SmlChecksTest : public QObject
{
    Q_OBJECT

private slots:
    void libsmlAgrees();
    void realMeters_data();
    void realMeters();
    void damagedFrames();

private:
    parserclass p;
};

void SmlChecksTest::libsmlAgrees()
{
    QRandomGenerator rng(13);
    QVector<QByteArray> telegrams;
    SmlMeterReading reading;
    reading.importKWh[0] = 12345.6789;
    reading.importKWh[1] = 12000.6;
    reading.importKWh[2] = 345.0789;
    reading.exportKWh[0] = 77.7;
    reading.powerW = -1234.5;
    reading.phasePowerW[0] = -400.1;
    reading.voltageV[0] = 229.9;
    reading.currentA[2] = 16.05;
    telegrams << smlSinglePhaseMeterFile(reading) << smlThreePhaseMeterFile(reading);
    for (int i = 0; i < 300; ++i)
        telegrams << randomTelegram(rng);

    int compared = 0;
    for (const QByteArray &telegram : telegrams) {
        const LibsmlReading oracle = readWithLibsml(telegram);
        QVERIFY2(oracle.messages == 3 && oracle.getListRead, telegram.toHex().constData());
        QVERIFY(p.smlCrcMatches(telegram));
        const meter_result_t r = p.decodeSml(telegram);
        for (const LibsmlValue &v : oracle.values) {
            const SmlItem *item = itemFor(v.obis);
            QVERIFY(item);
            QVERIFY2(r.*item->valid && near(r.*item->value, inRecordUnits(*item, v)),
                     qPrintable(QString("%1: ours %2, libsml %3 in %4").arg(QString(v.obis.toHex()))
                                    .arg(r.*item->value, 0, 'g', 17).arg(inRecordUnits(*item, v), 0, 'g', 17)
                                    .arg(QString(telegram.toHex()))));
            ++compared;
        }
    }
    QVERIFY(compared > 1000);
}

void SmlChecksTest::realMeters_data()
{
    QTest::addColumn<QJsonObject>("entry");
    for (const QJsonValue &v : ::realMeters())
        QTest::newRow(qPrintable(v.toObject().value("id").toString())) << v.toObject();
}

void SmlChecksTest::realMeters()
{
    QFETCH(QJsonObject, entry);
    const QString id = entry.value("id").toString();
    const QByteArray bytes = bytesOf(entry);
    const QByteArray frame = p.extractSmlFrame(bytes);
    if (entry.contains("stream_hex")) {
        QVERIFY(frame.isEmpty());
        qInfo("%s: no frame", qPrintable(id));
        return;
    }
    QCOMPARE(frame.toHex(), bytes.toHex());
    QCOMPARE(p.smlCrcMatches(frame), !listed(kBadCrc, id));
    QCOMPARE(p.containsSmlEnergyRegister(frame), !listed(kNoEnergyRegister, id));

    const meter_result_t r = p.decodeSml(frame);
    QCOMPARE(r.ParseError, 0);
    const QJsonObject expected = entry.value("expected").toObject();
    int equal = 0;
    QStringList differing;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const QJsonObject e = it.value().toObject();
        const QString unit = e.value("unit").toString();
        const double value = e.value("value").toDouble() / (unit == "Wh" ? 1000.0 : 1.0);
        const SmlItem *item = itemFor(obisBytes(it.key()));
        const Difference *d = differenceFor(id, it.key());
        if (d) {
            QCOMPARE(bool(item), d->read);
            if (item)
                QVERIFY2(near(r.*item->value, d->ours), qPrintable(it.key()));
            differing << QString("%1 (%2)").arg(it.key(), d->rule);
            continue;
        }
        QVERIFY2(item, qPrintable(it.key() + " is not read and no rule says why"));
        QVERIFY2(r.*item->valid && near(r.*item->value, value),
                 qPrintable(QString("%1: ours %2, expected %3").arg(it.key()).arg(r.*item->value).arg(value)));
        ++equal;
    }

    // libsml on the same frame, where its snapshot accepts it.
    const LibsmlReading oracle = readWithLibsml(frame);
    const bool accepted = oracle.messages >= 3 && oracle.getListRead;
    for (const LibsmlValue &v : oracle.values) {
        const SmlItem *item = itemFor(v.obis);
        const QString address = QString("%1-%2:%3.%4.%5").arg(quint8(v.obis[0])).arg(quint8(v.obis[1]))
                                    .arg(quint8(v.obis[2])).arg(quint8(v.obis[3])).arg(quint8(v.obis[4]));
        if (accepted && item && !differenceFor(id, address))
            QVERIFY2(near(r.*item->value, inRecordUnits(*item, v)), qPrintable(address));
    }
    qInfo("%s: frame found, CRC %s, energy register %s, %d values equal, %d differ%s%s; libsml %s",
          qPrintable(id), p.smlCrcMatches(frame) ? "good" : "bad", p.containsSmlEnergyRegister(frame) ? "yes" : "no",
          equal, int(differing.size()), differing.isEmpty() ? "" : ": ", qPrintable(differing.join("; ")),
          accepted ? "accepts" : "rejects");
}

void SmlChecksTest::damagedFrames()
{
    QVector<QByteArray> frames;
    for (const QJsonValue &v : ::realMeters())
        frames << bytesOf(v.toObject());
    SmlMeterReading reading;
    reading.importKWh[0] = 1.5;
    frames << smlThreePhaseMeterFile(reading);

    int decoded = 0;
    for (const QByteArray &frame : frames) {
        for (int at = 0; at <= frame.size(); ++at) {
            QByteArray flipped = frame;
            if (at < frame.size())
                flipped[at] = char(~frame[at]);
            for (const QByteArray &damaged : { frame.left(at), flipped }) {
                // Whole-frame reading must agree with the plain search and stay inside the bytes.
                QCOMPARE(locateSmlItems(damaged), locateSmlItemsPlain(damaged));
                p.extractSmlFrame(damaged);
                p.smlCrcMatches(damaged);
                QCOMPARE(p.decodeSml(damaged).ParseError, 0);
                ++decoded;
            }
        }
    }
    qInfo("%d damaged frames decoded", decoded);
}

QTEST_APPLESS_MAIN(SmlChecksTest)
#include "tst_sml_checks.moc"
