// Checks of the meter simulator itself, each an exchange through a real
// QSerialPort on its pty: answers only at the meter's line settings, UART
// garbling at a wrong one, mode C sign-on and reaction times, echo, Modbus
// faults and delay, USB adapter packets, the glitch byte, unplug, and the
// command-line program. The rows are in testdata/simulator/rows.json; those
// marked plainpty also run in an executable without the test bed.

#include "tests/common/jsonrows.h"
#include "tests/common/rowsimulator.h"
#include "tools/testbed/linesettings_record.h"

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
    // "hex:00 + @data": the parts one after the other.
    if (s.contains(QStringLiteral(" + "))) {
        QByteArray all;
        for (const QString &part : s.split(QStringLiteral(" + ")))
            all += bytes(part);
        return all;
    }
    if (s.startsWith("hex:"))
        return QByteArray::fromHex(s.mid(4).toLatin1());
    if (s.startsWith("@ident"))
        return telegrams::iecIdentification(s.back().toLatin1());
    if (s.startsWith("@data") && s.size() > 5)
        return telegrams::iecDataMessage(s.mid(5).toInt()); // "@data4096"
    const QMap<QString, QByteArray> named{{"@sml", telegrams::smlFile()}, {"@smlRequest", telegrams::smlRequest()},
                                          {"@push", telegrams::iecPushMessage()}, {"@data", telegrams::iecDataMessage()}};
    return named.value(s, s.toLatin1());
}

QString sizesOf(const QList<int> &reads)
{
    QStringList sizes;
    for (const int n : reads)
        sizes << QString::number(n);
    return QStringLiteral("reads: ") + sizes.join(QLatin1Char(' '));
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
        o.modbusPieceGapMs = 500;
        QString error;
        sim = rowSimulator(row, o, &error);
        QVERIFY2(sim, qPrintable(error));
        QVERIFY(sim->start());
        path = sim->slavePath();
    }

    if (row.contains("steps")) {
        QSerialPort port(row.contains("process") ? link : path);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        // The pty driver alone refuses 7 data bits and even parity: without the
        // test bed only the rate must take, as for the product.
        auto configure = [&port](const QString &text) {
            LineFormat f;
            if (!LineFormat::parse(text, &f) || !port.setBaudRate(f.baud))
                return false;
            const bool format = port.setDataBits(QSerialPort::DataBits(f.dataBits))
                                && port.setParity(f.parity == 'E' ? QSerialPort::EvenParity : QSerialPort::NoParity);
            return (format || !ProgramLine::testBedInProcess()) && port.clear();
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
            QList<int> reads; // the size of every read, as the program would see them
            qint64 firstByteMs = -1;
            QElapsedTimer clock;
            clock.start();
            auto read = [&] {
                const QByteArray chunk = port.readAll();
                if (chunk.isEmpty())
                    return;
                got += chunk;
                reads << chunk.size();
                firstByteMs = firstByteMs < 0 ? clock.elapsed() : firstByteMs;
            };
            while (until.isEmpty() ? clock.elapsed() < step["for"].toInt()
                                   : !got.contains(until) && clock.elapsed() < step["limit"].toInt(8000)) {
                if (port.waitForReadyRead(50) || port.bytesAvailable() > 0)
                    read();
                if (port.error() == QSerialPort::ReadError)
                    break;
            }
            // Once more what is there, as the program reads: the block check comes with the ETX.
            read();
            const int firstChunk = reads.value(0);
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
            // A USB adapter: every read but the last holds whole packets, and
            // none more than a few (a loaded machine may read late).
            if (step["packet"].isDouble()) {
                for (int i = 0; i + 1 < reads.size(); ++i)
                    QVERIFY2(reads[i] % step["packet"].toInt() == 0, qPrintable(sizesOf(reads)));
            }
            if (step["maxRead"].isDouble())
                QVERIFY2(!reads.isEmpty() && *std::max_element(reads.begin(), reads.end()) <= step["maxRead"].toInt(),
                         qPrintable(sizesOf(reads)));
            // A reaction time: nothing before it (a late machine only delays).
            if (step["quiet"].isDouble())
                QVERIFY2(firstByteMs >= step["quiet"].toInt(), qPrintable(QString::number(firstByteMs)));
            if (step["atLeast"].isDouble())
                QVERIFY2(got.size() >= step["atLeast"].toInt(), qPrintable(QString::number(got.size())));
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
