// SML framing, CRC and decoder: the rows of testdata/sml/rows.json, the
// encoder's telegrams read by libsml too, and the real meters' frames.
#include <QRandomGenerator>

#include <cmath>

#include "protocols/smlitems.h"
#include "tools/sml_encoder/smlencoder.h"
#include "tests/common/testrows.h"
#include "tests/sml/smloracle.h"

using namespace smlencoder;

namespace {

// The number item of our table that an OBIS code (A to E) feeds.
const SmlItem *itemFor(const QByteArray &obis)
{
    for (const SmlItem &item : kSmlItems) {
        if (item.kind != SmlItemKind::Text && obis.startsWith(QByteArray(reinterpret_cast<const char *>(item.obis), 5)))
            return &item;
    }
    return nullptr;
}

// Encoder telegrams with random registers, widths, signs, status, time forms,
// units and scalers; each record field fed by one register only. libsml's
// reading is their oracle.
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
        e.statusWidth = int(rng.bounded(5));
        if (e.statusWidth)
            e.status = rng.generate64() >> (64 - 8 * e.statusWidth);
        e.time = { SmlTime::Form(rng.bounded(3)), rng.generate() };
        if (rng.bounded(4))
            e.unit = item.kind == SmlItemKind::Energy ? SmlUnitWattHour : SmlUnitWatt;
        if (rng.bounded(4))
            e.scaler = qint8(int(rng.bounded(9)) - 4);
        const int width = 1 + int(rng.bounded(8)), unused = 64 - 8 * width;
        const quint64 bits = rng.generate64() >> unused;
        // Energies are counters, positive in either type.
        const qint64 signedBits = item.kind == SmlItemKind::Energy ? qint64(bits >> 1)
                                                                   : qint64(bits << unused) >> unused;
        e.value = rng.bounded(2) ? SmlValue::unsignedInt(bits, width) : SmlValue::signedInt(signedBits, width);
        entries << e;
    }
    return smlMeterFile(entries, QByteArray::fromHex("0A01454D480000BC614E"));
}

} // namespace

class SmlTest : public QObject
{
    Q_OBJECT

private slots:
    void rows_data() { addJsonRows("sml/rows.json", __func__); }
    void rows();
    void telegrams_data();
    void telegrams();

private:
    parserclass p;
};

void SmlTest::rows()
{
    QFETCH(QJsonObject, row);
    const QByteArray bytes = QByteArray::fromHex(row["input"].toString().toLatin1());
    const QString call = row["call"].toString(), result = row["result"].toString();
    if (call == "decode")
        compareRecord(p.decodeSml(bytes), result.split(' ', Qt::SkipEmptyParts));
    else if (call == "frame")
        QCOMPARE(QString(p.extractSmlFrame(bytes).toHex()), result);
    else
        QCOMPARE(call == "crc" ? p.smlCrcMatches(bytes) : p.containsSmlEnergyRegister(bytes), result == "yes");
}

void SmlTest::telegrams_data()
{
    addMeterRows("meters/sml.json");
    QRandomGenerator rng(13);
    for (int i = 0; i < 300; ++i)
        QTest::addRow("random %d", i) << QJsonObject{ { "hex", QString(randomTelegram(rng).toHex()) } };
}

// Each real frame and encoder telegram: found, CRC judged, energy register
// found, every value of "expected" read equal, or the notes of
// testdata/sml/rows.json name the rule why not; libsml accepts it, or the
// notes say why not, and reads the same numbers.
void SmlTest::telegrams()
{
    QFETCH(const QJsonObject, entry);
    static const QJsonObject notes = jsonFile("sml/rows.json")["realMeters"].toObject(); // read once, for all rows
    const QJsonObject about = notes[entry["id"].toString()].toObject();
    const char *bytes = entry.contains("hex") ? "hex" : "stream_hex"; // a damaged stream has no frame
    const QByteArray frame = p.extractSmlFrame(QByteArray::fromHex(entry[bytes].toString().toLatin1()));
    QCOMPARE(QString(frame.toHex()), entry["hex"].toString());
    if (frame.isEmpty())
        return;
    QCOMPARE(p.smlCrcMatches(frame), !about.contains("crc"));
    QCOMPARE(p.containsSmlEnergyRegister(frame), !about.contains("energy register"));
    const meter_result_t r = p.decodeSml(frame);
    QByteArrayList ruled;
    for (const QString &key : entry["expected"].toObject().keys()) {
        QByteArray obis; // "1-0:16.7.0" -> 01 00 10 07 00
        for (const QString &group : key.split(QRegularExpression("[-:.*]")))
            obis += char(group.toInt());
        const SmlItem *item = itemFor(obis);
        const QString rule = about[key][0].toString();
        if (!rule.isEmpty())
            ruled << obis.left(5);
        QCOMPARE(key + ": " + (!item ? "not read" : r.*item->valid ? shown(r.*item->value) : "invalid"),
                 key + ": " + (rule.isEmpty() ? shown(inRecordUnits(entry["expected"][key])) : rule));
    }
    const LibsmlReading oracle = readWithLibsml(frame);
    QCOMPARE(oracle.accepted && !oracle.values.isEmpty(), !about.contains("libsml"));
    for (const LibsmlValue &v : oracle.values) { // except where one of our rules differs on purpose
        const SmlItem *item = itemFor(v.obis);
        if (item && !ruled.contains(v.obis.left(5)))
            QCOMPARE(v.obis.toHex() + ": " + (r.*item->valid ? shown(r.*item->value) : "invalid"),
                     v.obis.toHex() + ": " + shown(v.number * std::pow(10.0, v.scaler)
                         / (item->kind == SmlItemKind::Energy && v.unit == SmlUnitWattHour ? 1000.0 : 1.0)));
    }
}

QTEST_APPLESS_MAIN(SmlTest)
#include "tst_sml.moc"
