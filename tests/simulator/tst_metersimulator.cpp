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

// What came, read by read: when (after the step's send) and how much in all.
struct Arrivals
{
    QList<qint64> atNs;
    QList<int> total;
    // When the n-th byte was first seen; -1 if never.
    qint64 nthSeenNs(int n) const
    {
        for (int i = 0; i < total.size(); ++i)
            if (total[i] >= n)
                return atNs[i];
        return -1;
    }
    QString text() const
    {
        QStringList all;
        for (int i = 0; i < total.size(); ++i)
            all << QStringLiteral("%1@%2ms").arg(total[i]).arg(atNs[i] / 1000000);
        return all.join(QLatin1Char(' '));
    }
};

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
    QElapsedTimer life; // one clock for the whole row
    life.start();
    qint64 startedNs = 0;
    if (row.contains("process")) {
        // The simulator in another process learns the character format from the test bed's record.
        process.start(QStringLiteral(METERSIM_PROGRAM), strings(row["process"]).replaceInStrings("{link}", link));
        if (row.contains("steps")) {
            QVERIFY(process.waitForReadyRead(60000));
            path = QString::fromLocal8Bit(process.readLine()).trimmed();
            QVERIFY2(path.startsWith(QStringLiteral("/dev/pts/")), qPrintable(path));
            QCOMPARE(QFile::symLinkTarget(link), path);
        }
    } else {
        Options o;
        // The port is mostly set up by then; a row that must see the first
        // push sets nothing, so that nothing is cleared.
        o.firstPushMs = 300;
        o.modbusPieceGapMs = 500;
        QString error;
        sim = rowSimulator(row, o, &error);
        QVERIFY2(sim, qPrintable(error));
        startedNs = life.nsecsElapsed(); // the simulator's clock starts after this
        QVERIFY(sim->start());
        path = sim->slavePath();
    }

    if (row.contains("steps")) {
        QSerialPort port(row.contains("process") ? link : path);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        LineFormat line; // as the test last set it
        // The pty driver alone refuses 7 data bits and even parity: without the
        // test bed only the rate must take, as for the product.
        auto configure = [&port, &line](const QString &text) {
            if (!LineFormat::parse(text, &line) || !port.setBaudRate(line.baud))
                return false;
            const bool format = port.setDataBits(QSerialPort::DataBits(line.dataBits))
                                && port.setParity(line.parity == 'E' ? QSerialPort::EvenParity : QSerialPort::NoParity);
            return (format || !ProgramLine::testBedInProcess()) && port.clear();
        };
        for (const QJsonValue &step : row["steps"].toArray()) {
            if (step["set"].isString())
                QVERIFY2(configure(step["set"].toString()), qPrintable(step["set"].toString()));
            // Arrival times count from here: what the simulator sends in answer cannot come sooner.
            const qint64 sentNs = life.nsecsElapsed();
            const QByteArray sent = bytes(step["send"]);
            if (!sent.isEmpty()) {
                const int heard = sim ? sim->receivedBytes().size() : 0;
                port.write(sent);
                QVERIFY(port.waitForBytesWritten(10000));
                // The meter hears at the port's settings of when it reads: a late simulator
                // thread must have read before the test sleeps and switches, as on time.
                if (sim)
                    QTRY_VERIFY_WITH_TIMEOUT(sim->receivedBytes().size() >= heard + sent.size(), 60000);
            }
            QThread::msleep(step["sleep"].toInt());
            // As the program does it: acknowledge at 300 Bd, switch 500 ms later.
            if (step["switch"].isDouble()) {
                QVERIFY(port.setBaudRate(step["switch"].toInt()));
                line.baud = step["switch"].toInt();
            }

            // A step waits for what it must see (its "until", the bytes of its "is",
            // "has", "some") with a hang guard, and for at least its "for" when it
            // also says what must not come.
            const QByteArray until = bytes(step["until"]);
            const QByteArray is = bytes(step["is"]), has = bytes(step["has"]);
            QByteArray got;
            Arrivals arrivals;
            QElapsedTimer clock;
            clock.start();
            auto read = [&] {
                const QByteArray chunk = port.readAll();
                if (chunk.isEmpty())
                    return;
                got += chunk;
                arrivals.atNs << life.nsecsElapsed() - sentNs;
                arrivals.total << got.size();
            };
            auto seen = [&] {
                return (until.isEmpty() ? clock.elapsed() >= step["for"].toInt() : got.contains(until))
                       && got.size() >= is.size() && got.contains(has) && (!step["some"].toBool() || !got.isEmpty())
                       && (!step["unplugged"].toBool() || port.error() == QSerialPort::ReadError);
            };
            while (!seen() && clock.elapsed() < std::max(step["for"].toInt(), step["limit"].toInt(8000))) {
                if (port.waitForReadyRead(50) || port.bytesAvailable() > 0)
                    read();
                if (port.error() == QSerialPort::ReadError)
                    break;
            }
            // Once more what is there, as the program reads.
            read();
            if (step["is"].isString())
                QCOMPARE(got.toHex(), is.toHex());
            if (step["has"].isString())
                QVERIFY2(got.contains(has), got.toHex().constData());
            if (step["lacks"].isString())
                QVERIFY2(!got.contains(bytes(step["lacks"])), got.toHex().constData());
            if (step["some"].isBool())
                QVERIFY2(got.isEmpty() != step["some"].toBool(), got.toHex().constData());
            if (step["atLeast"].isDouble())
                QVERIFY2(got.size() >= step["atLeast"].toInt(), qPrintable(QString::number(got.size())));
            // Lower bounds only: a loaded machine delays what comes, never hastens it.
            // The n-th byte not before the given time after the send.
            QList<QPair<int, qint64>> earliest;
            for (const QJsonValue pair : step["earliest"].toArray())
                earliest.append({pair[0].toInt(), pair[1].toInt() * qint64(1000000)});
            // Paced at the line rate: all of it not before its time on the line.
            if (step["paced"].toBool())
                earliest.append({got.size(), got.size() * line.charTimeNs()});
            for (const auto &e : earliest) {
                const qint64 at = arrivals.nthSeenNs(e.first);
                QVERIFY2(at >= e.second, qPrintable(QStringLiteral("byte %1 before %2 ms: %3")
                                                        .arg(e.first).arg(e.second / 1000000).arg(arrivals.text())));
            }
            // A USB adapter sends a packet when it holds "packet" bytes or when its latency
            // timer runs out, first one latency after the start, then one latency after
            // each packet. Bytes seen before the timer could first run out came in a full
            // packet: then nothing comes before a full packet is on the line, and the
            // bytes after the last full one wait a latency for it. Reads may merge or
            // split packets; these times only grow on a loaded machine.
            if (step["packet"].isDouble()) {
                const Options &o = sim->options();
                const qint64 latencyNs = o.usbLatencyMs * qint64(1000000), charNs = line.charTimeNs();
                const qint64 answerFromNs = sent.size() * charNs + o.reactionMs * qint64(1000000);
                const int packet = step["packet"].toInt(), whole = got.size() - got.size() % packet;
                QCOMPARE(o.usbPacketBytes, packet);
                if (sentNs + arrivals.nthSeenNs(1) - startedNs >= latencyNs)
                    QSKIP(qPrintable("the first bytes came after the latency timer ran out: " + arrivals.text()));
                QVERIFY2(arrivals.nthSeenNs(1) >= answerFromNs + packet * charNs, qPrintable(arrivals.text()));
                if (whole < got.size())
                    QVERIFY2(arrivals.nthSeenNs(got.size()) >= answerFromNs + whole * charNs + latencyNs,
                             qPrintable(arrivals.text()));
            }
            if (step["program"].isString()) {
                QTRY_COMPARE_WITH_TIMEOUT(sim->programFormat().toString(), step["program"].toString(), 30000);
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
                QTRY_VERIFY_WITH_TIMEOUT(sim->isUnplugged(), 30000);
            }
        }
    }

    if (row.contains("process")) {
        if (row.contains("steps"))
            process.terminate();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), row["exit"].toInt());
        const QString all = QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
        QVERIFY2(all.contains(row["output"].toString()), qPrintable(all));
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }
}

QTEST_GUILESS_MAIN(TestMeterSimulator)
#include "tst_metersimulator.moc"
