// The engine against the real meters' telegrams: the simulator replays a
// corpus entry through a real pseudo-terminal, paced and framed as the meter
// sent it, and each scenario of testdata/realmeters/cases.json checks the
// result line, the values in the record and the report text.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include "tests/engine/enginerig.h"
#include "tools/simulator/realmeters.h"
#include "tests/realmeters/replaykinds.h"

namespace {

QString expectedReport(const metersim::RealMeter &m, Report report)
{
    const QByteArray readout = m.identification + m.data;
    switch (report) {
    case Report::SmlFrameHex: return hex(m.sml);
    case Report::IecMessageHex: return hex(readout.left(readout.indexOf('!') + 1));
    case Report::ReceivedText: break;
    }
    return QString::fromUtf8(readout);
}

// "180=1846 280=4329.6": each named value is in the record, equal to it to
// the ten digits the record form shows.
void verifyValues(const QString &record, const QString &expected)
{
    const QStringList held = record.split(' ');
    for (const QString &pair : expected.split(' ', Qt::SkipEmptyParts)) {
        const QString field = pair.section('=', 0, 0);
        const QString shown = field + '=' + QString::number(pair.section('=', 1).toDouble(), 'g', 10);
        QVERIFY2(held.contains(shown), qPrintable(shown + " expected, record: " + record));
    }
}

} // namespace

class RealMeters : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { registerMeterMetaTypes(); }
    void replay_data();
    void replay();
};

void RealMeters::replay_data()
{
    QFile file(QStringLiteral(REALMETER_CASES));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QTest::addColumn<QJsonObject>("row");
    for (const QJsonValue v : QJsonDocument::fromJson(file.readAll()).array())
        QTest::newRow(qPrintable(v[QLatin1String("name")].toString())) << v.toObject();
}

void RealMeters::replay()
{
    QFETCH(QJsonObject, row);
    const Kind *kind = kindByName(row["kind"].toString());
    const metersim::RealMeter *real = metersim::realMeterById(row["meter"].toString());
    QVERIFY(kind && real);
    metersim::Options options;
    options.realMeter = real->id;
    if (kind->meterAt8N1)
        options.format = metersim::format8N1(9600);
    metersim::MeterSimulator meter(kind->profile, options);
    QString why;
    QVERIFY2(meter.start(&why), qPrintable(why));

    serialclass worker;
    SignalRecorder recorder(worker);
    QSignalSpy connected(&worker, &serialclass::signalConnectSerial_Success);
    QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Q_ARG(QString, meter.slavePath()));
    QTRY_VERIFY_WITH_TIMEOUT(!connected.isEmpty(), 60000); // a hang guard only
    QMetaObject::invokeMethod(&worker, "slotStartTest", Q_ARG(QString, QString()),
                              Q_ARG(TestMode_t, TestMode_t(kind->mode)), Q_ARG(enum_interfaces_t, kind->accessory));
    QTRY_VERIFY_WITH_TIMEOUT(recorder.finished > 0, 200000); // a hang guard only

    const QStringList lines = recorder.lines;
    QVERIFY2(lines.contains("result: " + row["result"].toString()), qPrintable(lines.join('\n')));
    QVERIFY(!lines.contains("red: Data Parse Error")); // a CRC mismatch is not mentioned either
    QCOMPARE(lines.filter(QRegularExpression("^print: ")),
             QStringList{"print: " + expectedReport(*real, kind->report)});
    const QString values = row["values"].toString();
    QCOMPARE(recorder.records.size(), values.isEmpty() ? 0 : 1);
    if (!values.isEmpty())
        verifyValues(validValues(recorder.records.first()), values);
}

QTEST_MAIN(RealMeters)
#include "tst_realmeters.moc"
