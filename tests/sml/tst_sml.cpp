// SML framing, CRC and decoder: the rows of testdata/sml/, the encoder's
// telegrams read by libsml too, and the real meters' frames, whole and damaged.
#include <QRandomGenerator>

#include <cmath>

#include "protocols/parserclass.h"
#include "protocols/smlcrc.h"
#include "tools/sml_encoder/smlencoder.h"
#include "protocols/smlitems.h"
#include "tests/sml/smloracle.h"
#include "tests/sml/smlplainsearch.h"
#include "tests/iec/testrows.h"

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

// libsml's numbers that our record holds differently, except those of the
// `ruled` OBIS codes where one of our rules differs on purpose.
QStringList libsmlDisagrees(const LibsmlReading &oracle, const meter_result_t &r, const QByteArrayList &ruled = {})
{
    QStringList differ;
    for (const LibsmlValue &v : oracle.values) {
        const SmlItem *item = itemFor(v.obis);
        const double value = v.number * std::pow(10.0, v.scaler)
            / (item && item->kind == SmlItemKind::Energy && v.unit == SmlUnitWattHour ? 1000.0 : 1.0);
        if (item && !ruled.contains(v.obis.left(5)) && !(r.*item->valid && near(r.*item->value, value)))
            differ << QString("%1: ours %2, libsml %3").arg(QString(v.obis.toHex())).arg(r.*item->value).arg(value);
    }
    return differ;
}

// Encoder telegrams with random registers, widths, signs, status, time forms,
// units and scalers; each record field fed by one register only.
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
    void framing_data();
    void framing();
    void decode_data() { addDataRows(TESTDATA "/sml/decode.txt", { "bytes", "energyRegister", "expected" }); }
    void decode();
    void libsmlAgrees();
    void realMeters_data();
    void realMeters();

private:
    parserclass p;
};

void SmlTest::framing_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("crcGood");
    const SmlMeterReading reading;
    const QByteArray a = smlSinglePhaseMeterFile(reading), b = smlThreePhaseMeterFile(reading);
    const QByteArray kermit = smlSinglePhaseMeterFile(reading, SmlCrcForm::KermitHighByteFirst);
    QTest::newRow("one frame") << a << a << true;
    const QByteArray garbage = QByteArray::fromHex("00ff1b1b1b1b0101"), escapes = QByteArray::fromHex("1b1b1b1b1a0000");
    QTest::newRow("garbage before and after") << smlWithGarbage(a, garbage, escapes.left(3)) << a << true;
    QTest::newRow("two frames: the first") << smlTwoFrames(b, a) << b << true;
    QTest::newRow("end before start") << escapes + smlCutShort(a, 20) << QByteArray() << false;
    QTest::newRow("no start") << a.mid(1) << QByteArray() << false;
    QTest::newRow("ends after 1A: 3 bytes short") << smlCutShort(a, 3) << smlCutShort(a, 3) << false;
    QTest::newRow("cut before the end escape") << smlCutShort(a, 9) << QByteArray() << false;
    QTest::newRow("empty") << QByteArray() << QByteArray() << false;
    QTest::newRow("2 bytes") << QByteArray(2, 0) << QByteArray() << false;
    QTest::newRow("X-25 high byte first") << smlWithCrcHighByteFirst(a) << smlWithCrcHighByteFirst(a) << false;
    QTest::newRow("KERMIT high byte first") << kermit << kermit << true;
    const QByteArray kermitSwapped = smlWithCrcHighByteFirst(kermit);
    QTest::newRow("KERMIT low byte first") << kermitSwapped << kermitSwapped << false;
    QTest::newRow("wrong CRC") << smlWithWrongCrc(a) << smlWithWrongCrc(a) << false;
}

// The first frame is found, and judged by its CRC: X-25 low byte first or
// KERMIT high byte first (older Holley DTZ541).
void SmlTest::framing()
{
    QFETCH(QByteArray, buffer);
    QFETCH(QByteArray, frame);
    QFETCH(bool, crcGood);
    QCOMPARE(p.extractSmlFrame(buffer).toHex(), frame.toHex());
    const QByteArray judged = frame.isEmpty() ? buffer : frame;
    QCOMPARE(p.smlCrcMatches(judged), crcGood);
    const QByteArray x25 = judged.size() > 2 ? smlCrcBytes(judged.chopped(2), SmlCrcForm::X25LowByteFirst)
                                             : QByteArray(2, 0);
    QCOMPARE(p.calcSmlCrc(judged), quint16(quint8(x25[0]) << 8 | quint8(x25[1])));
    QCOMPARE(smlCrc16X25("123456789", 9), quint16(0x906E));
    QCOMPARE(smlCrc16Kermit("123456789", 9), quint16(0x2189));
}

void SmlTest::decode()
{
    QFETCH(QString, bytes);
    QFETCH(QString, energyRegister);
    QFETCH(QString, expected);
    const QByteArray entries = QByteArray::fromHex(bytes.toLatin1());
    QCOMPARE(p.containsSmlEnergyRegister(entries), energyRegister == "yes");
    verifyRecord(p.decodeSml(entries), expected);
}

// libsml accepts every telegram of the encoder and reads each number as we do.
void SmlTest::libsmlAgrees()
{
    QRandomGenerator rng(13);
    SmlMeterReading reading;
    reading.importKWh[0] = 12345.6789;
    reading.powerW = -512.3;
    reading.voltageV[2] = 229.9;
    reading.currentA[2] = 16.05;
    QVector<QByteArray> telegrams = { smlSinglePhaseMeterFile(reading), smlThreePhaseMeterFile(reading) };
    for (int i = 0; i < 300; ++i)
        telegrams << randomTelegram(rng);
    int compared = 0;
    for (const QByteArray &telegram : telegrams) {
        const LibsmlReading oracle = readWithLibsml(telegram);
        QVERIFY2(oracle.accepted && p.smlCrcMatches(telegram), telegram.toHex().constData());
        const QStringList differ = libsmlDisagrees(oracle, p.decodeSml(telegram));
        QVERIFY2(differ.isEmpty(), qPrintable(differ.join("; ") + " in " + telegram.toHex()));
        compared += oracle.values.size();
    }
    QVERIFY(compared > 1000);
}

void SmlTest::realMeters_data()
{
    QTest::addColumn<QJsonObject>("entry");
    for (const QJsonValue &v : QJsonDocument::fromJson(fileContents(TESTDATA "/meters/sml.json")).array())
        QTest::newRow(qPrintable(v["id"].toString())) << v.toObject();
}

// Each real frame: found, CRC judged, energy register found, every value of
// "expected" read equal, or testdata/sml/meters.txt names the rule why not;
// libsml, where its snapshot accepts the frame, reads the same numbers.
// The frame damaged in every way too.
void SmlTest::realMeters()
{
    QFETCH(QJsonObject, entry);
    QHash<QString, QStringList> about; // "id|item" -> our reading, why
    for (const QStringList &l : dataLines(TESTDATA "/sml/meters.txt"))
        about.insert(l[0] + '|' + l[1], l.mid(2));
    const QString id = entry["id"].toString(), hex = entry["hex"].toString(); // a damaged stream has none
    const QByteArray bytes = QByteArray::fromHex(entry[hex.isEmpty() ? "stream_hex" : "hex"].toString().toLatin1());
    // Cut at every length and with each byte flipped: the single-pass search
    // agrees with the plain one, and nothing reads outside the bytes.
    for (int at = 0; at <= bytes.size(); ++at) {
        QByteArray flipped = bytes;
        if (at < bytes.size())
            flipped[at] = char(~bytes[at]);
        for (const QByteArray &damaged : { bytes.left(at), flipped }) {
            QCOMPARE(locateSmlItems(damaged), locateSmlItemsPlain(damaged));
            p.extractSmlFrame(damaged);
            p.smlCrcMatches(damaged);
            QCOMPARE(p.decodeSml(damaged).ParseError, 0);
        }
    }
    const QByteArray frame = p.extractSmlFrame(bytes);
    QCOMPARE(QString(frame.toHex()), hex);
    if (frame.isEmpty())
        return;
    QCOMPARE(p.smlCrcMatches(frame), !about.contains(id + "|crc"));
    QCOMPARE(p.containsSmlEnergyRegister(frame), !about.contains(id + "|energy register"));
    const meter_result_t r = p.decodeSml(frame);
    QCOMPARE(r.ParseError, 0);
    QByteArrayList ruled;
    const QJsonObject expected = entry["expected"].toObject();
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        QByteArray obis; // "1-0:16.7.0" -> 01 00 10 07 00
        for (const QString &group : it.key().split(QRegularExpression("[-:.*]")))
            obis += char(group.toInt());
        const SmlItem *item = itemFor(obis);
        const QStringList rule = about.value(id + '|' + it.key());
        if (!rule.isEmpty())
            ruled << obis;
        const double want = rule.isEmpty() ? inRecordUnits(it.value()) : rule[0].toDouble();
        QVERIFY2(rule.value(0) == "not read" ? !item : item && r.*item->valid && near(r.*item->value, want),
                 qPrintable(QString("%1: ours %2, expected %3").arg(it.key()).arg(item ? r.*item->value : 0)
                                .arg(want)));
    }
    const LibsmlReading oracle = readWithLibsml(frame);
    const QStringList differ = oracle.accepted ? libsmlDisagrees(oracle, r, ruled) : QStringList();
    QVERIFY2(differ.isEmpty(), qPrintable(differ.join("; ")));
    qInfo("%s: frame found, CRC %s, energy register %s, %d values, %d by a rule; libsml %s", qPrintable(id),
          p.smlCrcMatches(frame) ? "good" : "bad", p.containsSmlEnergyRegister(frame) ? "yes" : "no",
          int(expected.size()), int(ruled.size()), oracle.accepted ? "accepts" : "rejects");
}

QTEST_APPLESS_MAIN(SmlTest)
#include "tst_sml.moc"
