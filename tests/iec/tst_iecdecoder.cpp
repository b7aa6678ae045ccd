// IEC 62056-21 data readouts: the rows of testdata/iec/rows.json and the real
// meters' captures. (What the simulator builds is read by the engine tests.)
#include "tests/common/testrows.h"

class TestIecDecoder : public QObject
{
    Q_OBJECT

private slots:
    void rows_data() { addJsonRows("iec/rows.json", __func__); }
    void rows();
    void realMeters_data() { addMeterRows("meters/iec62056-21.json"); }
    void realMeters();

private:
    parserclass p;
};

void TestIecDecoder::rows()
{
    QFETCH(QJsonObject, row);
    const QString call = row["call"].toString(), result = row["result"].toString();
    const QString input = row["input"].toString() + QString(row["filler"].toInt(), 'A');
    if (call == "decode")
        compareRecord(p.decodeObisAscii(input), result.split(' ', Qt::SkipEmptyParts));
    else if (call == "bcc")
        QCOMPARE(QString::number(quint8(p.calcBcc(input.toLatin1())), 16), result);
    else
        QCOMPARE(call == "number" ? p.isNumber(input) : p.containsEnergyRegister(input), result == "yes");
}

// Every value of "expected" lands in its field, or the row's notes name the
// rule why not; no other field is filled unless the notes list it too.
void TestIecDecoder::realMeters()
{
    QFETCH(const QJsonObject, entry);
    static const QJsonObject notes = jsonFile("iec/rows.json")["realMeters"].toObject(); // read once, for all rows
    const QJsonObject about = notes[entry["id"].toString()].toObject(), fields = notes["*"].toObject();
    const QByteArray bytes = QByteArray::fromHex(entry["hex"].toString().toLatin1());
    QCOMPARE(p.containsEnergyRegister(QString::fromUtf8(bytes)), about["energy register"][0] != "no");
    if (about.contains("bcc")) // on the wire, computed
        QCOMPARE(QString::number(quint8(bytes.back()), 16) + ' ' + QString::number(quint8(p.calcBcc(bytes)), 16),
                 about["bcc"][0].toString());
    QStringList record = about["also"][0].toString().split(' ', Qt::SkipEmptyParts);
    for (const QString &key : entry["expected"].toObject().keys()) {
        const QString field = fields[QString(key).remove(QRegularExpression("^\\d+-\\d+:|\\*255$"))].toString();
        if (about[key][0] == "not read")
            continue; // should our record carry it after all, it is an item too many there
        QVERIFY2(!field.isEmpty(), qPrintable(key + ": neither read nor listed with a rule"));
        record << field + '=' + shown(inRecordUnits(entry["expected"][key]));
    }
    compareRecord(p.decodeObisAscii(QString::fromUtf8(bytes)), record);
}

QTEST_GUILESS_MAIN(TestIecDecoder)
#include "tst_iecdecoder.moc"
