// Checks of the meter simulator itself, each an exchange through a real
// QSerialPort on its pty: answers only at the meter's line settings, UART
// garbling at a wrong one, mode C sign-on, optical echo, Modbus faults,
// unplug, and the command-line program. The rows are in
// testdata/simulator/rows.json.

#include "tests/common/jsonrows.h"
#include "tools/testbed/linesettings_record.h"
#include "tools/simulator/metersimulator.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace metersim;

namespace {

// "hex:..." or a telegram the simulator builds ("@sml", "@ident5", ...);
// anything else is the text itself.
QByteArray bytes(const QJsonValue &value)
{
    const QString s = value.toString();
    if (s.startsWith("hex:"))
        return QByteArray::fromHex(s.mid(4).toLatin1());
    if (s.startsWith("@ident"))
        return telegrams::iecIdentification(s.back().toLatin1());
    const QMap<QString, QByteArray> named{{"@sml", telegrams::smlFile()}, {"@smlRequest", telegrams::smlRequest()},
                                          {"@push", telegrams::iecPushMessage()}, {"@data", telegrams::iecDataMessage()}};
    return named.value(s, s.toLatin1());
}

} // namespace

class TestMeterSimulator : public QObject
{
    Q_OBJECT

private slots:
    void exchange_data() { addJsonRows(QStringLiteral("simulator/rows.json"), __func__); }
    void exchange();
};

void TestMeterSimulator::exchange()
{
    QFETCH(const QJsonObject, row);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter"));
    QProcess process;
    std::unique_ptr<MeterSimulator> sim;
    QString path;
    if (row.contains("process")) {
        // The simulator in another process learns the character format from the test bed's record.
        process.start(QStringLiteral(METERSIM_PROGRAM), strings(row["process"]).replaceInStrings("{link}", link));
        if (row.contains("steps")) {
            QVERIFY(process.waitForReadyRead(10000));
            path = QString::fromLocal8Bit(process.readLine()).trimmed();
            QVERIFY2(path.startsWith(QStringLiteral("/dev/pts/")), qPrintable(path));
            QCOMPARE(QFile::symLinkTarget(link), path);
        }
    } else {
        Options o;
        o.firstPushMs = 300; // the port is set up by then
        o.baudChar = row["baudChar"].toString("5").at(0).toLatin1();
        o.unplugAfterMs = row["unplugAfter"].toInt(-1);
        o.modbusPieceGapMs = 500;
        for (const QJsonValue &n : row["lost"].toArray())
            o.lostEchoes.insert(n.toInt());
        for (const QJsonValue &n : row["damaged"].toArray())
            o.damagedEchoes.insert(n.toInt());
        // In the order of ModbusFault.
        const int fault = QStringList{"no-answer", "wrong-crc", "one-byte", "cut", "exception", "in-pieces"}.indexOf(
            row["fault"].toString());
        if (fault >= 0)
            o.modbusFaults[0x4000] = ModbusFault(fault);
        sim = std::make_unique<MeterSimulator>(profileByName(row["profile"].toString())->profile, o);
        QVERIFY(sim->start());
        path = sim->slavePath();
    }

    if (row.contains("steps")) {
        QSerialPort port(row.contains("process") ? link : path);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        // The pty driver alone would refuse 7 data bits and even parity.
        auto configure = [&port](const QString &text) {
            LineFormat f;
            return LineFormat::parse(text, &f) && port.setBaudRate(f.baud)
                   && port.setDataBits(QSerialPort::DataBits(f.dataBits))
                   && port.setParity(f.parity == 'E' ? QSerialPort::EvenParity : QSerialPort::NoParity) && port.clear();
        };
        for (const QJsonValue &step : row["steps"].toArray()) {
            if (step["set"].isString())
                QVERIFY2(configure(step["set"].toString()), qPrintable(step["set"].toString()));
            if (step["send"].isString()) {
                port.write(bytes(step["send"]));
                QVERIFY(port.waitForBytesWritten(1000));
            }
            QThread::msleep(step["sleep"].toInt());
            // As the program does it: acknowledge at 300 Bd, switch 500 ms later.
            if (step["switch"].isDouble())
                QVERIFY(port.setBaudRate(step["switch"].toInt()));

            const QByteArray until = bytes(step["until"]);
            QByteArray got;
            int firstChunk = 0;
            QElapsedTimer clock;
            clock.start();
            while (until.isEmpty() ? clock.elapsed() < step["for"].toInt()
                                   : !got.contains(until) && clock.elapsed() < step["limit"].toInt(8000)) {
                if (port.waitForReadyRead(50) || port.bytesAvailable() > 0)
                    got += port.readAll();
                firstChunk = firstChunk ? firstChunk : got.size();
                if (port.error() == QSerialPort::ReadError)
                    break;
            }
            // Once more what is there, as the program reads: the block check comes with the ETX.
            got += port.readAll();
            if (step["is"].isString())
                QCOMPARE(got.toHex(), bytes(step["is"]).toHex());
            if (step["has"].isString())
                QVERIFY2(got.contains(bytes(step["has"])), got.toHex().constData());
            if (step["lacks"].isString())
                QVERIFY2(!got.contains(bytes(step["lacks"])), got.toHex().constData());
            if (step["some"].isBool())
                QVERIFY2(got.isEmpty() != step["some"].toBool(), got.toHex().constData());
            // Paced at the line rate: not all there at once when the first bytes are.
            if (step["paced"].toBool())
                QVERIFY2(firstChunk > 0 && firstChunk < got.size(), qPrintable(QString::number(firstChunk)));
            if (step["program"].isString()) {
                QTRY_COMPARE_WITH_TIMEOUT(sim->programFormat().toString(), step["program"].toString(), 5000);
                QCOMPARE(sim->formatSource(), FormatSource::TestBedInProcess);
            }
            // What a simulator in another process would read.
            if (step["record"].isString()) {
                QFile record(QString::fromStdString(linesettings::recordPath(path.toStdString())));
                QVERIFY(record.open(QIODevice::ReadOnly));
                QCOMPARE(record.readAll(), step["record"].toString().toLatin1());
            }
            if (step["unplugged"].toBool()) {
                QCOMPARE(port.error(), QSerialPort::ReadError);
                QTRY_VERIFY(sim->isUnplugged());
            }
        }
    }

    if (row.contains("process")) {
        if (row.contains("steps"))
            process.terminate();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), row["exit"].toInt());
        const QString all = QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
        QVERIFY2(all.contains(row["output"].toString()), qPrintable(all));
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }
}

QTEST_GUILESS_MAIN(TestMeterSimulator)
#include "tst_metersimulator.moc"
