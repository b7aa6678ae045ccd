// Every register of the real meters' telegrams: the SML listing entry by
// entry against libsml wherever libsml reads the frame, both against the
// values the captures are documented with, and the listing of every cut-off
// frame a prefix of the whole one.

#include "protocols/iecreadout.h"
#include "protocols/iecregisters.h"
#include "protocols/smlregisters.h"
#include "tests/common/testrows.h"
#include "tests/sml/smloracle.h"

#include <cmath>

namespace {

// The address as the captures' documentation writes it: without the default "*255".
QString documented(QString address)
{
    return address.endsWith(QLatin1String("*255")) ? address.chopped(4) : address;
}

// A register's whole number, signed or not.
double rawNumber(const SmlRegister &r)
{
    return r.kind == SmlValueKind::Signed ? double(r.signedValue) : double(r.unsignedValue);
}

} // namespace

class TestRegisters : public QObject
{
    Q_OBJECT

private slots:
    void smlMeters_data() { addMeterRows("meters/sml.json"); }
    void smlMeters();
    void iecMeters_data() { addMeterRows("meters/iec62056-21.json"); }
    void iecMeters();
};

void TestRegisters::smlMeters()
{
    QFETCH(const QJsonObject, entry);
    if (!entry["hex"].isString())
        QSKIP("a damaged stream: no frame to list");
    const QByteArray frame = QByteArray::fromHex(entry["hex"].toString().toLatin1());
    const QVector<SmlRegister> listed = listSmlRegisters(frame).registers;
    QVector<LibsmlValue> ours;
    QHash<QString, const SmlRegister *> byCode;
    for (const SmlRegister &r : listed) {
        const QString code = QStringLiteral("%1-%2:%3.%4.%5").arg(r.obis[0]).arg(r.obis[1]).arg(r.obis[2]).arg(r.obis[3]).arg(r.obis[4]);
        if (!byCode.contains(code))
            byCode.insert(code, &r);
        const bool number = r.kind == SmlValueKind::Signed || r.kind == SmlValueKind::Unsigned;
        if (number && r.obisSize == 6)
            ours.append({QByteArray(reinterpret_cast<const char *>(r.obis), 6),
                         rawNumber(r), r.scaler, r.unitCode});
    }
    const LibsmlReading libsml = readWithLibsml(frame);
    if (libsml.accepted) {
        QCOMPARE(ours.size(), libsml.values.size());
        for (int i = 0; i < ours.size(); ++i) {
            QCOMPARE(ours[i].obis.toHex(), libsml.values[i].obis.toHex());
            QCOMPARE(ours[i].number, libsml.values[i].number);
            QCOMPARE(ours[i].scaler, libsml.values[i].scaler);
            QCOMPARE(ours[i].unit, libsml.values[i].unit);
        }
    }
    const QJsonObject expected = entry["expected"].toObject();
    for (auto e = expected.begin(); e != expected.end(); ++e) {
        const QJsonObject about = e.value().toObject();
        const SmlRegister *r = byCode.value(e.key());
        QVERIFY2(r, qPrintable(e.key()));
        const bool kWh = about["unit"] == "kWh"; // documented in kWh, sent in Wh
        QVERIFY2(same(rawNumber(*r) * std::pow(10.0, r->scaler), about["value"].toDouble() * (kWh ? 1000 : 1)), qPrintable(e.key()));
        QCOMPARE(QString::fromUtf8(dlmsUnitName(r->unitCode)), kWh ? "Wh" : about["unit"].toString().replace("deg", "°"));
    }
    const auto fields = [](const SmlRegister &r) {
        return std::tuple(QByteArray(reinterpret_cast<const char *>(r.obis), r.obisSize), r.status, r.unitCode, r.scaler,
                          int(r.kind), r.unsignedValue, r.octets.size);
    };
    for (int cut = 0; cut < frame.size(); ++cut) {
        const QVector<SmlRegister> part = listSmlRegisters(frame.left(cut)).registers;
        QVERIFY(part.size() <= listed.size());
        for (int i = 0; i < part.size(); ++i)
            QVERIFY(fields(part[i]) == fields(listed[i]));
    }
}

void TestRegisters::iecMeters()
{
    QFETCH(const QJsonObject, entry);
    const QByteArray readout = QByteArray::fromHex(entry["hex"].toString().toLatin1());
    const QVector<IecRegister> listed = listIecRegisters(readout);
    const auto text = [&](ByteSpan s) { return QString::fromLatin1(readout.mid(s.from, s.size)); };
    const QJsonObject expected = entry["expected"].toObject();
    for (auto e = expected.begin(); e != expected.end(); ++e) {
        const auto found = std::find_if(listed.begin(), listed.end(),
                                        [&](const IecRegister &r) { return documented(text(r.address)) == e.key(); });
        QVERIFY2(found != listed.end(), qPrintable(e.key()));
        const QJsonObject about = e.value().toObject();
        QCOMPARE(text(found->unit), about["unit"].toString());
        for (const auto &[key, r] : {std::pair{"value", found}, std::pair{"second_value", found + 1}}) {
            const QJsonValue want = about[key];
            double number = 0.0;
            if (want.isString())
                QCOMPARE(text(r->value), want.toString());
            else if (want.isDouble())
                QVERIFY2(iecReadNumber(text(r->value).toLatin1(), &number) && same(number, want.toDouble()), qPrintable(e.key()));
        }
    }
}

QTEST_GUILESS_MAIN(TestRegisters)
#include "tst_registers.moc"
