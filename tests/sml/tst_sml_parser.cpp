// Framing, CRC, energy-register detection and the decoder's rules, on
// hand-written entries and on telegrams of the encoder.
#include <QtTest>

#include <cmath>

#include "parserclass.h"
#include "smlcrc.h"
#include "smlencoder.h"

using namespace smlencoder;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

const MeterField &field(const QString &name)
{
    for (const MeterField &f : kMeterFields) {
        if (name == QLatin1String(f.name))
            return f;
    }
    qFatal("no field %s", qPrintable(name));
    return kMeterFields[0];
}

SmlListEntry number(const QByteArray &obis, SmlValue value, quint8 unit, qint8 scaler)
{
    SmlListEntry e;
    e.obis = obis;
    e.unit = unit;
    e.scaler = scaler;
    e.value = value;
    return e;
}

SmlMeterReading someReading()
{
    SmlMeterReading r;
    r.importKWh[0] = 1234.5678;
    r.importKWh[1] = 1000.5;
    r.importKWh[2] = 234.0678;
    r.exportKWh[0] = 42.1;
    r.powerW = -512.3;
    r.voltageV[0] = 231.9;
    r.currentA[0] = 2.31;
    return r;
}

// Power entry 53 8B 28 (Integer16, scaler -2): -299.12 W signed, 356.24 W unsigned.
const QByteArray kDzgPower = hex("77 070100100700ff 01 01 621b 52fe 538b28 01");

QByteArray dzgDeviceId(const QByteArray &prefix, quint64 serial)
{
    QByteArray id = prefix;
    for (int shift = 32; shift >= 0; shift -= 8)
        id += char((serial >> shift) & 0xFF);
    SmlListEntry e;
    e.obis = obisCode(1, 0, 0x60, 1, 0);
    e.value = SmlValue::octets(id);
    return e.encode();
}

} // namespace

class SmlParserTest : public QObject
{
    Q_OBJECT

private slots:
    void extractFrame_data();
    void extractFrame();
    void crc_data();
    void crc();
    void crcCheckValues();
    void energyRegister_data();
    void energyRegister();
    void walk_data();
    void walk();
    void storeRules_data();
    void storeRules();
    void dvs74_data();
    void dvs74();
    void texts();

private:
    parserclass p;
};

void SmlParserTest::extractFrame_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QByteArray>("frame");
    const QByteArray a = smlSinglePhaseMeterFile(someReading());
    const QByteArray b = smlThreePhaseMeterFile(someReading());
    const QByteArray end = hex("1b1b1b1b1a");
    QTest::newRow("one frame") << a << a;
    QTest::newRow("garbage before and after") << smlWithGarbage(a, hex("00ff1b1b1b1b0101"), hex("1b1b1b")) << a;
    QTest::newRow("two frames: the first") << smlTwoFrames(b, a) << b;
    QTest::newRow("end before start") << end + hex("0000") + smlCutShort(a, 20) << QByteArray();
    QTest::newRow("no start") << a.mid(1) << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("ends after 1A: 3 bytes short") << smlCutShort(a, 3) << smlCutShort(a, 3);
    QTest::newRow("cut before the end escape") << smlCutShort(a, 9) << QByteArray();
}

void SmlParserTest::extractFrame()
{
    QFETCH(QByteArray, buffer);
    QFETCH(QByteArray, frame);
    QCOMPARE(p.extractSmlFrame(buffer).toHex(), frame.toHex());
}

void SmlParserTest::crc_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("good");
    const QByteArray a = smlSinglePhaseMeterFile(someReading());
    QTest::newRow("X-25 low byte first") << a << true;
    QTest::newRow("X-25 high byte first") << smlSinglePhaseMeterFile(someReading(), SmlCrcForm::X25HighByteFirst) << false;
    QTest::newRow("KERMIT high byte first") << smlSinglePhaseMeterFile(someReading(), SmlCrcForm::KermitHighByteFirst) << true;
    QTest::newRow("KERMIT low byte first") << smlWithCrcHighByteFirst(smlSinglePhaseMeterFile(someReading(), SmlCrcForm::KermitHighByteFirst)) << false;
    QTest::newRow("wrong CRC") << smlSinglePhaseMeterFile(someReading(), SmlCrcForm::Wrong) << false;
    QTest::newRow("body byte changed") << QByteArray(a).replace(20, 1, "\x55") << false;
    QTest::newRow("cut after 1A") << smlCutShort(a, 3) << false;
    QTest::newRow("2 bytes") << hex("0000") << false;
}

void SmlParserTest::crc()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, good);
    QCOMPARE(p.smlCrcMatches(frame), good);
    if (frame.size() <= 2) {
        QCOMPARE(p.calcSmlCrc(frame), quint16(0));
        return;
    }
    // The X-25 comparison alone, as the callers form it.
    const quint16 carried = quint16(quint8(frame[frame.size() - 2]) << 8 | quint8(frame[frame.size() - 1]));
    const QByteArray x25 = smlCrcBytes(frame.left(frame.size() - 2), SmlCrcForm::X25LowByteFirst);
    QCOMPARE(p.calcSmlCrc(frame), quint16(quint8(x25[0]) << 8 | quint8(x25[1])));
    QCOMPARE(carried == p.calcSmlCrc(frame), frame.endsWith(x25));
}

void SmlParserTest::crcCheckValues()
{
    QCOMPARE(smlCrc16X25("123456789", 9), quint16(0x906E));
    QCOMPARE(smlCrc16Kermit("123456789", 9), quint16(0x2189));
}

void SmlParserTest::energyRegister_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("found");
    QTest::newRow("single phase") << smlSinglePhaseMeterFile(someReading()) << true;
    QTest::newRow("1-2:2.8.8 only") << smlMeterFile({ number(obisCode(1, 2, 2, 8, 8), SmlValue::unsignedInt(5), SmlUnitWattHour, 0) }, "S") << true;
    QTest::newRow("F byte not compared") << smlMeterFile({ number(obisCode(1, 0, 1, 8, 0, 0x60), SmlValue::unsignedInt(5), SmlUnitWattHour, 0) }, "S") << true;
    QTest::newRow("inside another value") << smlMeterFile({ number(obisCode(1, 0, 0x60, 1, 0), SmlValue::octets(hex("77070100010800")), 0, 0) }, "S") << true;
    QTest::newRow("powers only") << smlMeterFile({ number(obisCode(1, 0, 16, 7, 0), SmlValue::signedInt(5), SmlUnitWatt, 0) }, "S") << false;
    QTest::newRow("1-0:1.8.3 is no such register") << smlMeterFile({ number(obisCode(1, 0, 1, 8, 3), SmlValue::unsignedInt(5), SmlUnitWattHour, 0) }, "S") << false;
}

void SmlParserTest::energyRegister()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, found);
    QCOMPARE(p.containsSmlEnergyRegister(frame), found);
}

void SmlParserTest::walk_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("value");
    // Time element forms.
    QTest::newRow("u64 energy, sec index time") << hex("77 070100010800ff 6500000182 7262016500001234 621e 52ff 5900000000 00bc614e 01") << "180" << 1234.5678;
    QTest::newRow("timestamp time") << hex("77 070100010800ff 01 7262026500001234 621e 52ff 64bc614e 01") << "180" << 1234.5678;
    QTest::newRow("bare u32 time (Holley)") << hex("77 070100010800ff 01 650a575853 621e 52ff 64bc614e 01") << "180" << 1234.5678;
    QTest::newRow("status u24, no time") << hex("77 070100010800ff 64018201 01 621e 52ff 64bc614e 01") << "180" << 1234.5678;
    // Widths and signs of the value.
    QTest::newRow("voltage u16 231.9") << hex("77 070100200700ff 01 01 6223 52ff 63090f 01") << "3270" << 231.9;
    QTest::newRow("power i16 -100") << hex("77 070100100700ff 01 01 621b 5200 53ff9c 01") << "170" << -100.0;
    QTest::newRow("power i8 -5") << hex("77 070100100700ff 01 01 621b 5200 52fb 01") << "170" << -5.0;
    QTest::newRow("power i24 -788.51 (signed, not 166983.65)") << hex("77 070100100700ff 01 01 621b 52fe 54fecbfd 01") << "170" << -788.51;
    QTest::newRow("power i32 -4308") << hex("77 070100100700ff 01 01 621b 5200 55ffffef2c 01") << "170" << -4308.0;
    QTest::newRow("power i40 -20.0 (not 0.0)") << hex("77 070100100700ff 01 01 621b 52ff 56ffffffff38 01") << "170" << -20.0;
    QTest::newRow("power i64 -442.06") << hex("77 070100100700ff 01 01 621b 52fe 59ffffffffffff5352 01") << "170" << -442.06;
    QTest::newRow("power u32 above 2^31 unsigned") << hex("77 070100100700ff 01 01 621b 5200 65ffffffff 01") << "170" << 4294967295.0;
    QTest::newRow("current u8 scaler -2") << hex("77 0701001f0700ff 01 01 6221 52fe 626a 01") << "3170" << 1.06;
    QTest::newRow("energy i40 (EMH) read unsigned") << hex("77 070100010800ff 01 01 621e 52ff 5600000030 39 01") << "180" << 1.2345;
    QTest::newRow("energy i16 ffff read unsigned") << hex("77 070100010800ff 01 01 621e 5200 53ffff 01") << "180" << 65.535;
    QTest::newRow("energy positive scaler") << hex("77 070100010800ff 01 01 621e 5203 630914 01") << "180" << 2324.0;
    // Empty unit and scaler: no unit, scaler 0, not the bytes of an earlier element.
    QTest::newRow("empty unit: no kWh conversion") << hex("77 070100010800ff 631e1e 01 01 52ff 620a 01") << "180" << 1.0;
    QTest::newRow("empty scaler after unit 1E") << hex("77 070100010800ff 01 01 621e 01 6304d2 01") << "180" << 1.234;
    // Values of an unexpected type and entries cut short: 0.0, flag set.
    QTest::newRow("boolean value") << hex("77 070100100700ff 01 01 621b 5200 4201 01") << "170" << 0.0;
    QTest::newRow("octet string value") << hex("77 070100100700ff 01 01 621b 5200 0301 02 01") << "170" << 0.0;
    QTest::newRow("cut after the OBIS code") << hex("77 070100100700ff") << "170" << 0.0;
    QTest::newRow("cut inside the value") << hex("77 070100100700ff 01 01 621b 5200 55ffff") << "170" << 0.0;
    QTest::newRow("TL claims more than the frame") << hex("77 070100010800ff 01 01 621e 52ff 59ffff") << "180" << 0.0;
}

void SmlParserTest::walk()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, field);
    QFETCH(double, value);
    const meter_result_t r = p.decodeSml(bytes);
    const MeterField &f = ::field(field);
    QVERIFY(r.*f.valid);
    QVERIFY2(qAbs(r.*f.value - value) <= 1e-9 * qMax(1.0, qAbs(value)), qPrintable(QString::number(r.*f.value, 'g', 17)));
    QCOMPARE(r.ParseError, 0);
}

void SmlParserTest::storeRules_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    const QByteArray e1_0 = hex("77 070100010800ff 01 01 621e 5200 6303e8 01");   // 1-0:1.8.0 = 1 kWh
    const QByteArray e1_0zero = hex("77 070100010800ff 01 01 621e 5200 6200 01");
    const QByteArray e1_1 = hex("77 070101010800ff 01 01 621e 5200 6307d0 01");   // 1-1:1.8.0 = 2 kWh
    const QByteArray t1 = hex("77 070100010801ff 01 01 621e 5200 6303e8 01");     // 1.8.1 = 1 kWh
    const QByteArray t2 = hex("77 070100010802ff 01 01 621e 5200 6307d0 01");     // 1.8.2 = 2 kWh
    const QByteArray x1 = hex("77 070100020801ff 01 01 621e 5200 6303e8 01");     // 2.8.1 = 1 kWh
    const QByteArray p1 = hex("77 070100010701ff 01 01 621b 5200 5264 01");       // 1.7.1 = 100 W
    const QByteArray p2 = hex("77 070100010702ff 01 01 621b 5200 5232 01");       // 1.7.2 = 50 W
    const QByteArray p16 = hex("77 070100100700ff 01 01 621b 5200 5205 01");      // 16.7.0 = 5 W
    const QByteArray p15zero = hex("77 0701000f0700ff 01 01 621b 5200 6200 01");  // 15.7.0 = 0 W
    const QByteArray x22 = hex("77 070100160700ff 01 01 621b 5200 5207 01");      // 22.7.0 = 7 W
    QTest::newRow("1-1 used when 1-0 absent") << e1_1 << "180" << true << 2.0;
    QTest::newRow("1-1 used when 1-0 gives 0") << e1_0zero + e1_1 << "180" << true << 2.0;
    QTest::newRow("1-0 wins over 1-1, whatever the order") << e1_1 + e1_0 << "180" << true << 1.0;
    QTest::newRow("only the first occurrence") << e1_0zero + e1_0 << "180" << true << 0.0;
    QTest::newRow("present but zero") << e1_0zero << "180" << true << 0.0;
    QTest::newRow("15.7.0 zero, 16.7.0 wins") << p15zero + p16 << "170" << true << 5.0;
    QTest::newRow("1.7.0 from 1.7.1 + 1.7.2") << p1 + p2 << "170" << true << 150.0;
    QTest::newRow("sent total is kept") << p1 + p2 + p16 << "170" << true << 5.0;
    QTest::newRow("2.7.0 from 22.7.0") << x22 << "270" << true << 7.0;
    QTest::newRow("1.8.0 from 1.8.1 + 1.8.2") << t1 + t2 << "180" << true << 3.0;
    QTest::newRow("2.8.0 from 2.8.1") << x1 << "280" << true << 1.0;
    QTest::newRow("absent stays invalid") << t1 << "280" << false << 0.0;
}

void SmlParserTest::storeRules()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, field);
    QFETCH(bool, valid);
    QFETCH(double, value);
    const meter_result_t r = p.decodeSml(bytes);
    QCOMPARE(r.*::field(field).valid, valid);
    QCOMPARE(r.*::field(field).value, value);
}

void SmlParserTest::dvs74_data()
{
    QTest::addColumn<QByteArray>("deviceId");
    QTest::addColumn<QByteArray>("power");
    QTest::addColumn<double>("watts");
    const QByteArray dzg = hex("0a01445a47");
    QTest::newRow("DVS74 serial 42082910") << dzgDeviceId(dzg, 42082910) << kDzgPower << 356.24;
    QTest::newRow("first of range 1") << dzgDeviceId(dzg, 42000000) << kDzgPower << 356.24;
    QTest::newRow("last of range 1") << dzgDeviceId(dzg, 48999999) << kDzgPower << 356.24;
    QTest::newRow("first of range 2") << dzgDeviceId(dzg, 55000000) << kDzgPower << 356.24;
    QTest::newRow("last of range 2") << dzgDeviceId(dzg, 58999999) << kDzgPower << 356.24;
    QTest::newRow("below range 1") << dzgDeviceId(dzg, 41999999) << kDzgPower << -299.12;
    QTest::newRow("between the ranges") << dzgDeviceId(dzg, 49000000) << kDzgPower << -299.12;
    QTest::newRow("above range 2 (newer DZG)") << dzgDeviceId(dzg, 60694611) << kDzgPower << -299.12;
    QTest::newRow("other maker, serial in range") << dzgDeviceId(hex("0a01454d48"), 42082910) << kDzgPower << -299.12;
    QTest::newRow("manufacturer DZG only") << hex("77 078181c78203ff 01 01 01 01 04445a47 01") << kDzgPower << -299.12;
    QTest::newRow("DVS74 Integer24") << dzgDeviceId(dzg, 42082910) << hex("77 070100100700ff 01 01 621b 52fe 54fecbfd 01") << 166983.65;
    QTest::newRow("DVS74 Integer8") << dzgDeviceId(dzg, 42082910) << hex("77 070100100700ff 01 01 621b 5200 52fb 01") << 251.0;
    QTest::newRow("DVS74 Integer32 stays signed") << dzgDeviceId(dzg, 42082910) << hex("77 070100100700ff 01 01 621b 5200 55ffffff9c 01") << -100.0;
}

void SmlParserTest::dvs74()
{
    QFETCH(QByteArray, deviceId);
    QFETCH(QByteArray, power);
    QFETCH(double, watts);
    const meter_result_t r = p.decodeSml(deviceId + power);
    QVERIFY(r.Valid_170);
    QVERIFY2(qAbs(r.Value_170 - watts) < 1e-9 * qMax(1.0, qAbs(watts)), qPrintable(QString::number(r.Value_170)));
}

void SmlParserTest::texts()
{
    SmlMeterReading reading = someReading();
    reading.manufacturer = "EBZ12"; // five letters
    QVector<SmlListEntry> entries = smlThreePhaseEntries(reading);
    auto text = [](const QByteArray &obis, const QByteArray &value) {
        SmlListEntry e;
        e.obis = obis;
        e.value = SmlValue::octets(value);
        return e;
    };
    entries << text(obisCode(1, 0, 0, 0, 0), "1ESY1162232997") << text(obisCode(0x81, 0x81, 0xC7, 0x82, 0x08), "Maker\xE4")
            << text(obisCode(0, 0, 0x60, 1, 0xFF), "0002280816");
    const meter_result_t r = p.decodeSml(smlMeterFile(entries, reading.serverId));
    QCOMPARE(r.Text_ManufacturerId, QString("EBZ12"));
    QCOMPARE(r.Text_Ident.toLatin1(), reading.serverId);
    QCOMPARE(r.Text_MeterNumber, QString("1ESY1162232997"));
    QCOMPARE(r.Text_Maker, QString::fromLatin1("Maker\xE4"));
    QCOMPARE(r.Text_DeviceId, QString("0002280816"));
    // The example entry of the manufacturer id: three characters.
    QCOMPARE(p.decodeSml(hex("77 078181c78203ff 01 01 01 01 04445a47 01")).Text_ManufacturerId, QString("DZG"));
}

QTEST_APPLESS_MAIN(SmlParserTest)
#include "tst_sml_parser.moc"
