// IEC 62056-21 data readouts: the rows of testdata/iec/ and the real meters'
// captures. (What the simulator builds is read by the engine tests.)
#include "protocols/parserclass.h"
#include "tests/iec/testrows.h"

class TestIecDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decode_data() { addDataRows(TESTDATA "/iec/decode.txt", { "readout", "expected" }); }
    void decode();
    void checks_data();
    void checks();
    void realMeters_data();
    void realMeters();

private:
    parserclass p;
};

void TestIecDecoder::decode()
{
    QFETCH(QString, readout);
    QFETCH(QString, expected);
    verifyRecord(p.decodeObisAscii(unescaped(readout)), expected);
}

void TestIecDecoder::checks_data()
{
    addDataRows(TESTDATA "/iec/checks.txt", { "check", "input", "result" });
    // Without an ETX the block check covers at most 69999 bytes after the STX.
    QTest::newRow("bcc 69999 x A, no ETX") << "bcc" << "\\x02" + QString(69999, 'A') << "41";
    QTest::newRow("bcc 70000 x A, no ETX") << "bcc" << "\\x02" + QString(70000, 'A') << "00";
}

void TestIecDecoder::checks()
{
    QFETCH(QString, check);
    QFETCH(QString, input);
    QFETCH(QString, result);
    const QString text = unescaped(input);
    if (check == "bcc")
        QCOMPARE(quint8(p.calcBcc(text.toLatin1())), quint8(result.toUInt(nullptr, 16)));
    else
        QCOMPARE(check == "number" ? p.isNumber(text) : p.containsEnergyRegister(text), result == "yes");
}

void TestIecDecoder::realMeters_data()
{
    QTest::addColumn<QJsonObject>("entry");
    for (const QJsonValue &e : QJsonDocument::fromJson(fileContents(TESTDATA "/meters/iec62056-21.json")).array())
        QTest::newRow(qPrintable(e["id"].toString())) << e.toObject();
}

// Every value of "expected" lands in its field, or testdata/iec/meters.txt
// names the rule why not; no other field is filled unless listed there too.
void TestIecDecoder::realMeters()
{
    QFETCH(QJsonObject, entry);
    QHash<QString, QStringList> about; // "id|item" -> value, why
    for (const QStringList &l : dataLines(TESTDATA "/iec/meters.txt"))
        about.insert(l[0] + '|' + l[1], l.mid(2));
    const QString id = entry["id"].toString();
    const auto item = [&](const QString &name) { return about.value(id + '|' + name).value(0); };

    const QByteArray bytes = QByteArray::fromHex(entry["hex"].toString().toLatin1());
    const QString text = QString::fromUtf8(bytes);
    QCOMPARE(p.containsEnergyRegister(text), item("energy register") != "no");
    if (!item("bcc").isEmpty()) {
        QCOMPARE(quint8(bytes.back()), quint8(item("bcc").section(' ', 0, 0).toUInt(nullptr, 16)));
        QCOMPARE(quint8(p.calcBcc(bytes)), quint8(item("bcc").section(' ', 1).toUInt(nullptr, 16)));
    }
    QString record = "Maker=" + item("maker") + ' ' + item("also");
    QStringList differing;
    const QJsonObject expected = entry["expected"].toObject();
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const QString address = QString(it.key()).remove(QRegularExpression("^\\d+-\\d+:|\\*255$"));
        const QString field = about.value("*|" + address).value(0);
        if (item(it.key()) == "not read") {
            QVERIFY2(field.isEmpty(), qPrintable(it.key() + ": listed as not read but read"));
            differing << it.key() + " (" + about.value(id + '|' + it.key()).value(1) + ")";
        } else {
            QVERIFY2(!field.isEmpty(), qPrintable(it.key() + ": neither read nor listed with a rule"));
            record += QString(" %1=%2").arg(field).arg(inRecordUnits(it.value()), 0, 'g', 17);
        }
    }
    verifyRecord(p.decodeObisAscii(text), record);
    qInfo("%s: %d equal, %d not read: %s", qPrintable(id), int(expected.size() - differing.size()),
          int(differing.size()), qPrintable(differing.join("; ")));
}

QTEST_GUILESS_MAIN(TestIecDecoder)
#include "tst_iecdecoder.moc"
