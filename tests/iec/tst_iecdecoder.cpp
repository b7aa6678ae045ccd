#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "iecencoder.h"
#include "parserclass.h"
#include "verifyfields.h"

namespace {

QString lines(const QStringList &l)
{
    return l.join("\r\n") + "\r\n";
}

} // namespace

class TestIecDecoder : public QObject
{
    Q_OBJECT

private slots:
    void keySearch_data();
    void keySearch();
    void valueText_data();
    void valueText();
    void isNumber_data();
    void isNumber();
    void identification_data();
    void identification();
    void blockCheck_data();
    void blockCheck();
    void energyRegister_data();
    void energyRegister();
    void builtReadouts_data();
    void builtReadouts();
    void realMeters_data();
    void realMeters();

private:
    parserclass p;
};

void TestIecDecoder::keySearch_data()
{
    QTest::addColumn<QString>("telegram");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("parseError");

    QTest::newRow("voltage masks 2.7.0") << lines({"1-0:32.7.0*255(229.8*V)", "1-0:2.7.0*255(0000*W)"})
                                         << "3270=229.8 270=0" << 0;
    QTest::newRow("no 2.7.0 inside 32.7.0") << lines({"1-0:32.7.0*255(229.8*V)"}) << "3270=229.8" << 0;
    QTest::newRow("no 1.7.0 inside 31.7.0") << lines({"1-0:31.7.0*255(5.2*A)"}) << "3170=5.2" << 0;
    QTest::newRow("two value groups") << lines({"1-0:32.7(229.8*V)", "1-0:71.7(1.5*A)"}) << "3270=229.8 7170=1.5" << 0;
    QTest::newRow("power factors") << lines({"1-0:33.7.0*255(0.98)", "1-0:53.7(0.97)"})
                                   << "PhaseL1=0.98 PhaseL2=0.97" << 0;
    QTest::newRow("L1 alone") << lines({"1-0:21.7.0*255(100*W)"}) << "171=100 170=100" << 0;
    QTest::newRow("three phases, no total") << lines({"1-0:21.7.0*255(100*W)", "1-0:41.7.0*255(200*W)",
                                                      "1-0:61.7.0*255(300*W)"})
                                            << "171=100 172=200 173=300 170=600" << 0;
    QTest::newRow("export phases, no total") << lines({"1-0:22.7.0*255(50*W)", "1-0:42.7.0*255(60*W)",
                                                       "1-0:62.7.0*255(70*W)"})
                                             << "271=50 272=60 273=70 270=180" << 0;
    QTest::newRow("no 1.8.0 inside 21.8.0") << lines({"1-0:21.8.0*255(5*kWh)"}) << "" << 0;
    QTest::newRow("digit rule takes the next occurrence")
        << lines({"1-0:21.8.0*255(5*kWh)", "1-0:1.8.0*255(7*kWh)"}) << "180=7" << 0;
    QTest::newRow(":1.7.0*255 after the 0 of 1-0")
        << lines({"1-0:16.7.0*255(0*W)", "1-0:1.7.0*255(150*W)"}) << "170=150" << 0;
    QTest::newRow(":21.7.255*255") << lines({"1-0:21.7.255*255(42*W)"}) << "171=42 170=42" << 0;
    QTest::newRow("first address wins") << lines({"1.8.0(5*kWh)", "1.8.0(7*kWh)"}) << "180=5" << 0;
    QTest::newRow("billing period skipped") << lines({"1.8.0*01(9*kWh)"}) << "" << 0;
    QTest::newRow("tariffs sum") << lines({"1.8.1(10*kWh)", "1.8.2(5*kWh)"}) << "181=10 182=5 180=15" << 0;
    QTest::newRow("export tariffs sum") << lines({"2.8.1(1*kWh)", "2.8.2(2*kWh)"}) << "281=1 282=2 280=3" << 0;
    QTest::newRow("import total 0 replaced") << lines({"1.7.0(0*W)", "1.7.1(100*W)", "1.7.2(200*W)", "1.7.3(300*W)"})
                                             << "170=600 171=100 172=200 173=300" << 0;
    QTest::newRow("export total 0 kept") << lines({"2.7.0(0*W)", "2.7.1(100*W)"}) << "270=0 271=100" << 0;
    QTest::newRow("empty value") << lines({"1.8.0()"}) << "" << 0;
    QTest::newRow("key at the end") << "1.8.0" << "" << 1;
    QTest::newRow("stop keeps earlier values") << "1.8.1(10*kWh)\r\n2.8.0" << "181=10 180=10" << 1;
    QTest::newRow("open key at the end") << "1-0:32.7(" << "" << 0;
}

void TestIecDecoder::keySearch()
{
    QFETCH(QString, telegram);
    QFETCH(QString, expected);
    QFETCH(int, parseError);
    const meter_result_t r = p.decodeObisAscii(telegram);
    verifyFields(r, expected);
    QCOMPARE(r.ParseError, parseError);
}

void TestIecDecoder::valueText_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");

    QTest::newRow("kWh") << "1-0:1.8.0*255(001234.5678*kWh)" << "180=1234.5678";
    QTest::newRow("Wh") << "1.8.0(123456*Wh)" << "180=123.456";
    QTest::newRow("space kWh") << "1.8.0(12.5 kWh)" << "180=12.5";
    QTest::newRow("no unit") << "1-0:1.8.0*255(000001.2963)" << "180=1.2963";
    QTest::newRow("no decimals") << "1.8.0(1235*kWh)" << "180=1235";
    QTest::newRow("kW negative") << "1-0:16.7.0*255(-000.125*kW)" << "170=-125";
    QTest::newRow("W") << "1-0:1.7.0*255(002124.86*W)" << "170=2124.86";
    QTest::newRow("plus sign") << "1-0:31.7.0*255(+000.8*A)" << "3170=0.8";
    QTest::newRow("V") << "1-0:52.7.0*255(230.1*V)" << "5270=230.1";
    QTest::newRow("bare kWh") << "1.8.0(010192.57kWh)" << "180=10192.57";
    QTest::newRow("bare Wh") << "1.8.0(1234Wh)" << "180=1.234";
    QTest::newRow("bare kW") << "1.7.0(001.322kW)" << "170=1322";
    QTest::newRow("bare W") << "1.7.0(13W)" << "170=13";
    QTest::newRow("bare V") << "1-0:32.7.0*255(230.1V)" << "3270=230.1";
    QTest::newRow("bare A") << "1-0:31.7.0*255(5.5A)" << "3170=5.5";
    QTest::newRow("bare kW on energy") << "1.8.0(12kW)" << "";
    QTest::newRow("bare V on power") << "1.7.0(12V)" << "";
    QTest::newRow("decimal comma") << "1.8.0(1234,5*kWh)" << "";
    QTest::newRow("two points") << "1.8.0(1.2.3*kWh)" << "";
    QTest::newRow("lone sign") << "1.8.0(-)" << "";
    QTest::newRow("signs and commas") << "1.8.0(--1,,2)" << "";
    QTest::newRow("exponent") << "1.8.0(1e5*kWh)" << "";
    QTest::newRow("trailing space") << "1.8.0(12.5 )" << "";
    QTest::newRow("many digits") << "1.8.0(" + QString(300, '0') + "1.5*kWh)" << "180=1.5";
    QTest::newRow("overflow") << "1.8.0(1" + QString(400, '0') + ")" << "";
    QTest::newRow("overflow by the factor") << "1.7.0(1" + QString(307, '0') + "*kW)" << "";
    QTest::newRow("text value") << "1.8.0(L1-L2-L3)" << "";
}

void TestIecDecoder::valueText()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    verifyFields(p.decodeObisAscii(line + "\r\n"), expected);
}

void TestIecDecoder::isNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    QTest::newRow("empty") << "" << false;
    QTest::newRow("12.5") << "12.5" << true;
    QTest::newRow("12.5 space") << "12.5 " << false;
    QTest::newRow("--1,,2") << "--1,,2" << true;
    QTest::newRow("umlaut") << QString::fromUtf8("1\xc3\xa4") << false;
}

void TestIecDecoder::isNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, number);
    QCOMPARE(p.isNumber(text), number);
}

void TestIecDecoder::identification_data()
{
    QTest::addColumn<QString>("telegram");
    QTest::addColumn<QString>("maker");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("parseError");

    const QString data = "\x02" "1.8.0(1*kWh)\r\n!\r\n\x03";
    QTest::newRow("ELS4") << "/ELS4AS1440\r\n" + data << "Elser" << "AS1440" << 0;
    QTest::newRow("ELS5") << "/ELS5\\@V9.30 \r\n" + data << "Elser" << "AS1440" << 0;
    QTest::newRow("ABB4") << "/ABB4A1440\r\n" + data << "Elser" << "A1440" << 0;
    QTest::newRow("ISk5MT174") << "/ISk5MT174-0001\r\n" + data << "Iskraemeco" << "MT174" << 0;
    QTest::newRow("PAF5EC3") << "/PAF5EC3gr\r\n" + data << "Pafal/Apator" << "EC3gr" << 0;
    QTest::newRow("ESY5Q3DA") << "/ESY5Q3DA3024 V3.04\r\n" + data << "Easymeter" << "Q3D" << 0;
    QTest::newRow("unknown ESY model") << "/ESY5Q3DB1024 V3.04\r\n" + data << "" << "" << 0;
    QTest::newRow("unknown maker") << "/LGZ52ZMD120APt.G03\r\n" + data << "" << "" << 0;
    QTest::newRow("prefix at the end") << "1.8.0(1*kWh)\r\n/ELS4" << "Elser" << "AS1440" << 1;
}

void TestIecDecoder::identification()
{
    QFETCH(QString, telegram);
    QFETCH(QString, maker);
    QFETCH(QString, model);
    QFETCH(int, parseError);
    const meter_result_t r = p.decodeObisAscii(telegram);
    QCOMPARE(r.Text_Maker, maker);
    QCOMPARE(r.Text_Ident, model);
    QCOMPARE(r.ParseError, parseError);
    QVERIFY(r.Text_ManufacturerId.isEmpty() && r.Text_DeviceId.isEmpty() && r.Text_MeterNumber.isEmpty());
    QVERIFY(r.Valid_180);
}

void TestIecDecoder::blockCheck_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("bcc");
    QTest::newRow("02 41 03") << QByteArray::fromHex("024103") << 0x42;
    QTest::newRow("after ETX ignored") << QByteArray::fromHex("4102420344") << 0x41;
    QTest::newRow("ETX before STX") << QByteArray::fromHex("03024103") << 0;
    QTest::newRow("second STX counted") << QByteArray::fromHex("0241024203") << (0x41 ^ 0x02 ^ 0x42 ^ 0x03);
    QTest::newRow("no ETX") << QByteArray::fromHex("024142") << 0x03;
    QTest::newRow("no STX") << QByteArray("1.8.0(1)") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("69999 x A, no ETX") << '\x02' + QByteArray(69999, 'A') << 0x41;
    QTest::newRow("70000 x A, no ETX") << '\x02' + QByteArray(70000, 'A') << 0;
}

void TestIecDecoder::blockCheck()
{
    QFETCH(QByteArray, data);
    QFETCH(int, bcc);
    QCOMPARE(quint8(p.calcBcc(data)), quint8(bcc));
}

void TestIecDecoder::energyRegister_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("energy");
    for (const char *address : {"1.8.0", "1.8.1", "1.8.2", "2.8.0", "2.8.1", "2.8.2"})
        QTest::newRow(address) << QString("/X\r\n1-0:%1*255(5)\r\n!").arg(address) << true;
    QTest::newRow("1.8.3") << "1.8.3(5)" << false;
    QTest::newRow("2.8.4") << "2.8.4(5)" << false;
    QTest::newRow("powers only") << "1.7.0(5*W)\r\n32.7.0(230*V)" << false;
    QTest::newRow("empty") << "" << false;
}

void TestIecDecoder::energyRegister()
{
    QFETCH(QString, text);
    QFETCH(bool, energy);
    QCOMPARE(p.containsEnergyRegister(text), energy);
}

// What the simulator sends, decoded: the builder's address forms, value
// faults and frame faults.
void TestIecDecoder::builtReadouts_data()
{
    QTest::addColumn<QByteArray>("readout");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("bccGood");

    using F = IecAddressForm;
    using V = IecValueFault;
    IecReadoutBuilder threePhase("ISk", '5', "MT174-0001");
    threePhase.addValue({"1.8.0", 1234.5678, 4, "kWh", F::Full, V::None, 6})
        .addValue({"2.8.0", 12.5, 3, "kWh", F::Short})
        .addValue({"32.7.0", 229.8, 1, "V", F::TwoGroups})
        .addValue({"31.7.0", 1.25, 2, "A"})
        .addValue({"21.7.0", 0.1, 3, "kW"})
        .addValue({"41.7.0", 200, 0, "W", F::Short})
        .addValue({"61.7.0", -300, 1, "W"})
        .addText("C.5.0", "L1-L2-L3");
    const QString sums = "180=1234.5678 280=12.5 3270=229.8 3170=1.25 171=100 172=200 173=-300 170=0";
    QTest::newRow("three-phase") << threePhase.readout() << sums << true;
    QTest::newRow("wrong BCC") << threePhase.readout(IecFrameFault::WrongBcc) << sums << false;
    QTest::newRow("no ETX") << threePhase.readout(IecFrameFault::NoEtx) << sums << false;

    const auto one = [](const IecValue &v) { return IecReadoutBuilder("EMH", '5', "eHZ").addValue(v).readout(); };
    QTest::newRow("line without unit") << one({"1.8.0", 7.5, 1, "kWh", F::Full, V::NoUnit}) << "180=7.5" << true;
    QTest::newRow("value without decimals") << one({"1.8.0", 7.5, 1, "kWh", F::Full, V::NoDecimals}) << "180=8" << true;
    QTest::newRow("decimal comma") << one({"1.8.0", 7.5, 1, "kWh", F::Full, V::DecimalComma}) << "" << true;
    QTest::newRow("unit without star") << one({"1.7.0", 1.322, 3, "kW", F::Short, V::UnitWithoutStar})
                                       << "170=1322" << true;
}

void TestIecDecoder::builtReadouts()
{
    QFETCH(QByteArray, readout);
    QFETCH(QString, expected);
    QFETCH(bool, bccGood);
    QCOMPARE(p.calcBcc(readout) == readout.back(), bccGood);
    verifyFields(p.decodeObisAscii(QString::fromUtf8(readout)), expected);
}

namespace {

struct RealMeter
{
    const char *id;
    bool energy;       // containsEnergyRegister
    const char *maker; // Text_Maker
    int bccOnWire;     // -1: no STX/ETX/BCC in the capture
    int bccComputed;
    const char *unread; // fields that must stay invalid, besides those not in `expected`
};

const RealMeter kRealMeters[] = {
    {"iskra-mt174-history", true, "Iskraemeco", 0x66, 0x66, ""},
    {"itron-em214", true, "", -1, 0, ""},
    {"elster-els5-short", true, "Elser", -1, 0, ""},
    {"emh-ehz-push", true, "", -1, 0, ""},
    {"siemens-2wr5-heat", false, "", 0x58, 0x6F, "180 280"},
    {"hager-ehz-minimal", true, "", -1, 0, ""},
    {"lgz-zmd120", true, "", -1, 0, ""},
    {"easymeter-q3da3024-negative", true, "Easymeter", -1, 0, ""},
    {"easymeter-q3db1024-gateway-trailer", true, "", -1, 0, ""},
    {"lgz-1-1-prefix-export", true, "", -1, 0, "270"},
    {"iskra-mt174-datablock-kvarh", true, "", -1, 0, ""},
    {"lgz-zmd405-ampersand-fragment", true, "", -1, 0, ""},
    {"iskra-mt174-short-bcc", true, "Iskraemeco", 0x19, 0x19, ""},
    {"easymeter-q3da1004-bitflips", true, "Easymeter", -1, 0, "180"},
};

// Values of `expected` that our record does not carry, with the rule why.
struct Difference
{
    const char *id;
    const char *address;
    const char *rule;
};

const Difference kDifferences[] = {
    {"iskra-mt174-history", "1-0:1.8.1*07", "billing-period values (*01..*15) have no key"},
    {"iskra-mt174-history", "1-0:1.6.0", "maximum demand 1.6.0 has no key"},
    {"itron-em214", "F.F", "the error register has no key"},
    {"itron-em214", "0.2.0", "the firmware version has no key"},
    {"itron-em214", "C.6.3", "the battery voltage C.6.3 has no key"},
    {"itron-em214", "C.13.21", "C.13.21 has no key"},
    {"elster-els5-short", "F.F", "the error register has no key"},
    {"emh-ehz-push", "1-0:0.0.0", "the meter number key 0.0.0 is not in the key table"},
    {"emh-ehz-push", "1-0:96.5.5", "the status word 96.5.5 has no key"},
    {"emh-ehz-push", "0-0:96.1.255", "the device number 96.1.255 has no key"},
    {"siemens-2wr5-heat", "9.20", "heat-meter registers have no key"},
    {"siemens-2wr5-heat", "6.8", "heat-meter registers have no key"},
    {"siemens-2wr5-heat", "6.26", "heat-meter registers have no key"},
    {"siemens-2wr5-heat", "6.6", "heat-meter registers have no key"},
    {"easymeter-q3da3024-negative", "1-0:0.0.0", "the meter number key 0.0.0 is not in the key table"},
    {"easymeter-q3da3024-negative", "1-0:96.5.5", "the status word 96.5.5 has no key"},
    {"easymeter-q3da3024-negative", "0-0:96.1.255", "the device number 96.1.255 has no key"},
    {"lgz-1-1-prefix-export", "1-1:1.5.0", "last-period demand 1.5.0 has no key"},
    {"lgz-1-1-prefix-export", "1-1:2.5.0", "last-period demand 2.5.0 has no key"},
    {"lgz-1-1-prefix-export", "1-1:131.7.0", "reactive power has no key"},
    {"iskra-mt174-datablock-kvarh", "1-0:31.6.0", "maximum current 31.6.0 has no key"},
    {"iskra-mt174-datablock-kvarh", "1-0:5.8.0", "reactive energy has no key"},
    {"iskra-mt174-datablock-kvarh", "1-0:9.8.0", "apparent energy has no key"},
    {"lgz-zmd405-ampersand-fragment", "1.8.1*12", "billing-period values (*12) have no key"},
    {"lgz-zmd405-ampersand-fragment", "5.8.1", "reactive energy has no key"},
    {"lgz-zmd405-ampersand-fragment", "0.9.1", "the time 0.9.1 has no key"},
    {"lgz-zmd405-ampersand-fragment", "0.9.2", "the date 0.9.2 has no key"},
    {"iskra-mt174-short-bcc", "1-0:0.9.2", "the date 0.9.2 has no key"},
    {"iskra-mt174-short-bcc", "1-0:0.9.1", "the time 0.9.1 has no key"},
};

// The record field that holds a meter's address, or null.
const char *fieldOf(QString address)
{
    address.remove(QRegularExpression("^\\d+-\\d+:"));
    address.remove(QRegularExpression("\\*255$"));
    static const QMap<QString, const char *> fields = {
        {"1.8.0", "180"}, {"1.8.1", "181"}, {"1.8.2", "182"}, {"2.8.0", "280"}, {"2.8.1", "281"},
        {"2.8.2", "282"}, {"1.7.0", "170"}, {"2.7.0", "270"}, {"16.7.0", "170"}, {"21.7.0", "171"},
        {"41.7.0", "172"}, {"61.7.0", "173"}, {"36.7.0", "171"}, {"32.7.0", "3270"}, {"31.7.0", "3170"},
        {"71.7.0", "7170"}};
    return fields.value(address, nullptr);
}

double toRecordUnit(const QString &unit)
{
    static const QMap<QString, double> factors = {{"kWh", 1}, {"", 1}, {"kW", 1000}, {"W", 1}, {"V", 1}, {"A", 1}};
    return factors.value(unit, qQNaN());
}

} // namespace

void TestIecDecoder::realMeters_data()
{
    QFile file(METER_DATA);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonArray entries = QJsonDocument::fromJson(file.readAll()).array();
    QCOMPARE(entries.size(), int(std::size(kRealMeters)));

    QTest::addColumn<QJsonObject>("entry");
    for (const QJsonValue &e : entries)
        QTest::newRow(qPrintable(e["id"].toString())) << e.toObject();
}

void TestIecDecoder::realMeters()
{
    QFETCH(QJsonObject, entry);
    const QString id = entry["id"].toString();
    const auto meter = std::find_if(std::begin(kRealMeters), std::end(kRealMeters),
                                    [&](const RealMeter &m) { return id == m.id; });
    QVERIFY2(meter != std::end(kRealMeters), qPrintable(id));

    const QByteArray bytes = QByteArray::fromHex(entry["hex"].toString().toLatin1());
    const QString text = QString::fromUtf8(bytes);
    QCOMPARE(p.containsEnergyRegister(text), meter->energy);
    if (meter->bccOnWire >= 0) {
        QCOMPARE(quint8(bytes.back()), quint8(meter->bccOnWire));
        QCOMPARE(quint8(p.calcBcc(bytes)), quint8(meter->bccComputed));
    }

    const meter_result_t r = p.decodeObisAscii(text);
    QCOMPARE(r.ParseError, 0);
    QCOMPARE(r.Text_Maker, QString(meter->maker));
    int equal = 0;
    int differing = 0;
    const QJsonObject expected = entry["expected"].toObject();
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const auto diff = std::find_if(std::begin(kDifferences), std::end(kDifferences), [&](const Difference &d) {
            return id == d.id && it.key() == d.address;
        });
        const char *suffix = fieldOf(it.key());
        if (diff != std::end(kDifferences)) {
            QVERIFY2(!suffix, qPrintable(it.key() + ": listed as different but read"));
            ++differing;
            continue;
        }
        QVERIFY2(suffix, qPrintable(it.key() + ": neither read nor listed with a rule"));
        const QJsonObject v = it.value().toObject();
        const double want = v["value"].toDouble() * toRecordUnit(v["unit"].toString());
        const MeterField &f = *std::find_if(std::begin(kMeterFields), std::end(kMeterFields),
                                            [&](const MeterField &m) { return qstrcmp(m.name, suffix) == 0; });
        QVERIFY2(r.*f.valid, qPrintable(it.key()));
        QVERIFY2(qAbs(r.*f.value - want) < 1e-6, qPrintable(it.key() + " = " + QString::number(r.*f.value)));
        ++equal;
    }
    for (const QString &suffix : QString(meter->unread).split(' ', Qt::SkipEmptyParts)) {
        for (const MeterField &f : kMeterFields)
            QVERIFY2(!(f.name == suffix && r.*f.valid), qPrintable(suffix));
    }
    qInfo("%s: %d equal, %d not read", qPrintable(id), equal, differing);
}

QTEST_GUILESS_MAIN(TestIecDecoder)
#include "tst_iecdecoder.moc"
