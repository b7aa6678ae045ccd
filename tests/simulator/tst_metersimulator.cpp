// Checks of the meter simulator itself: the UART line model, the test bed
// that lets it see the program's character format, the profiles' answers
// through a real QSerialPort, and the command-line program.

#include "linesettings_record.h"
#include "metersimulator.h"
#include "uart.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(QSet<int>)

using namespace metersim;

namespace {

// Generous: only guards against a hang.
constexpr int kReadLimitMs = 8000;
// A data message at 300 Bd takes about 12 s.
constexpr int kSlowReadLimitMs = 30000;
// Long enough for a push or an answer to have come.
constexpr int kListenMs = 1500;

enum Outcome {
    Arrives, // the expected bytes arrive intact
    Garbled, // bytes arrive, but not the expected ones
    Nothing, // nothing arrives
};

bool configure(QSerialPort &port, const LineFormat &f)
{
    return port.setBaudRate(f.baud) && port.setDataBits(QSerialPort::DataBits(f.dataBits))
           && port.setParity(f.parity == 'E' ? QSerialPort::EvenParity : QSerialPort::NoParity)
           && port.setStopBits(QSerialPort::OneStop);
}

// Reads until done(buffer) holds or the limit passes.
QByteArray readUntil(QSerialPort &port, const std::function<bool(const QByteArray &)> &done,
                     int limitMs = kReadLimitMs)
{
    QByteArray buffer;
    QElapsedTimer clock;
    clock.start();
    while (!done(buffer) && clock.elapsed() < limitMs) {
        if (port.waitForReadyRead(50) || port.bytesAvailable() > 0)
            buffer += port.readAll();
        if (port.error() == QSerialPort::ReadError || port.error() == QSerialPort::ResourceError)
            break;
    }
    return buffer;
}

// Reads whatever arrives within ms.
QByteArray readFor(QSerialPort &port, int ms)
{
    QElapsedTimer clock;
    clock.start();
    return readUntil(port, [&](const QByteArray &) { return clock.elapsed() >= ms; }, ms + 100);
}

auto contains(const QByteArray &needle)
{
    return [needle](const QByteArray &b) { return b.contains(needle); };
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const QByteArray kSmlStart = hex("1b1b1b1b01010101");
const QByteArray kSmlEnd = hex("1b1b1b1b1a");

} // namespace

class TestMeterSimulator : public QObject
{
    Q_OBJECT

private slots:
    void uartModel_data();
    void uartModel();
    void lineSettingsReachSimulator();
    void profileAnswers_data();
    void profileAnswers();
    void modeCSignOn_data();
    void modeCSignOn();
    void opticalEcho_data();
    void opticalEcho();
    void modbusFaults_data();
    void modbusFaults();
    void pacedAtLineRate();
    void unplugFailsPendingRead();
    void commandLine_data();
    void commandLine();
    void commandLineAcrossProcesses();
};

void TestMeterSimulator::uartModel_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("tx");
    QTest::addColumn<QString>("rx");
    QTest::addColumn<QByteArray>("expected"); // empty: only "not what was sent"

    QTest::newRow("same format") << QByteArray("/?!\r\n") << "9600 7E1" << "9600 7E1" << QByteArray("/?!\r\n");
    // The parity bit of a 7E1 character lands in bit 7 at 8N1.
    QTest::newRow("7E1 read at 8N1") << QByteArray("/?!") << "9600 7E1" << "9600 8N1" << hex("af3f21");
    QTest::newRow("8N1 read at 7E1 drops bit 7") << hex("af3f") << "9600 8N1" << "9600 7E1" << hex("2f3f");
    QTest::newRow("8 bits cut to 7 at 7E1") << hex("c1") << "9600 7E1" << "9600 7E1" << hex("41");
    QTest::newRow("9600 read at 300") << QByteArray("1-0:1.8.0*255(001234.567*kWh)") << "9600 8N1" << "300 8N1"
                                      << QByteArray();
    QTest::newRow("300 read at 9600") << QByteArray("/VIV5SIM100\r\n") << "300 7E1" << "9600 7E1" << QByteArray();
}

void TestMeterSimulator::uartModel()
{
    QFETCH(QByteArray, sent);
    QFETCH(QString, tx);
    QFETCH(QString, rx);
    QFETCH(QByteArray, expected);
    LineFormat txf, rxf;
    QVERIFY(LineFormat::parse(tx, &txf));
    QVERIFY(LineFormat::parse(rx, &rxf));
    const QVector<UartChar> chars = transcode(sent, txf, rxf);
    const QByteArray got = deliveredBytes(chars);
    if (!expected.isEmpty()) {
        QCOMPARE(got.toHex(), expected.toHex());
        // Back to back: the characters end one character time apart.
        for (int i = 1; i < chars.size(); ++i)
            QVERIFY(qAbs(chars[i].endNs - chars[i - 1].endNs - txf.charTimeNs()) <= 1);
    } else {
        QVERIFY2(got != sent, got.toHex().constData());
    }
}

void TestMeterSimulator::lineSettingsReachSimulator()
{
    MeterSimulator sim(Profile::Silent);
    QVERIFY(sim.start());
    QSerialPort port(sim.slavePath());
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    // The pty driver alone would refuse 7 data bits and even parity.
    QVERIFY(configure(port, format7E1(300)));
    QCOMPARE(port.dataBits(), QSerialPort::Data7);
    QCOMPARE(port.parity(), QSerialPort::EvenParity);
    port.write("x");
    QVERIFY(port.waitForBytesWritten(1000));
    QTRY_COMPARE_WITH_TIMEOUT(sim.receivedBytes(), QByteArray("x"), 5000);
    QCOMPARE(sim.programFormat().toString(), QStringLiteral("300 7E1"));
    QCOMPARE(sim.formatSource(), FormatSource::TestBedInProcess);

    // A simulator in another process reads the record named after the path.
    QFile record(QString::fromStdString(linesettings::recordPath(sim.slavePath().toStdString())));
    QVERIFY(record.open(QIODevice::ReadOnly));
    QCOMPARE(record.readAll(), QByteArray("7E1\n"));
    record.close();
    QVERIFY(configure(port, format8E1(9600)));
    QVERIFY(record.open(QIODevice::ReadOnly));
    QCOMPARE(record.readAll(), QByteArray("8E1\n"));
}

void TestMeterSimulator::profileAnswers_data()
{
    QTest::addColumn<int>("profile");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("outcome");

    auto row = [&](const char *name, Profile profile, const char *port, const QByteArray &request,
                   const QByteArray &expected, Outcome outcome) {
        QTest::newRow(name) << int(profile) << QString::fromLatin1(port) << request << expected << int(outcome);
    };
    const QByteArray ident = telegrams::iecIdentification('5');
    const QByteArray sml = telegrams::smlFile();
    const QByteArray push = telegrams::iecPushMessage();
    // Read Holding Registers 0402, 3 registers, at slave 79, with its CRC.
    QByteArray req = hex("790304020003");
    quint16 crc = 0xFFFF;
    for (char c : req) {
        crc ^= quint8(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    req.append(char(crc & 0xFF)).append(char(crc >> 8));
    QByteArray broadcast = req;
    broadcast[0] = 0x00;
    const QByteArray modbusAnswer = hex("790306123456780001");

    row("sml push", Profile::SmlPush, "9600 8N1", {}, sml, Arrives);
    row("sml push heard at 7E1", Profile::SmlPush, "9600 7E1", {}, sml, Garbled);
    row("sml push heard at 2400", Profile::SmlPush, "2400 8N1", {}, kSmlStart, Garbled);
    row("sml request answered", Profile::SmlRequest, "9600 8N1", telegrams::smlRequest(), sml, Arrives);
    row("sml request sent at 7E1", Profile::SmlRequest, "9600 7E1", telegrams::smlRequest(), sml, Nothing);
    row("sml meter without request", Profile::SmlRequest, "9600 8N1", {}, sml, Nothing);
    row("iec push", Profile::IecPush, "9600 7E1", {}, push, Arrives);
    row("iec push heard at 8N1", Profile::IecPush, "9600 8N1", {}, push, Garbled);
    row("loopback", Profile::Loopback, "9600 8N1", "Test", "Test", Arrives);
    row("rs485 iec identification", Profile::Rs485Iec, "9600 7E1", "/?!\r\n", ident, Arrives);
    row("rs485 iec asked at 8N1", Profile::Rs485Iec, "9600 8N1", "/?!\r\n", ident, Nothing);
    row("modbus slave 79", Profile::ModbusSlave, "9600 8E1", req, modbusAnswer, Arrives);
    row("modbus broadcast unanswered", Profile::ModbusSlave, "9600 8E1", broadcast, modbusAnswer, Nothing);
    row("modbus asked at 8N1", Profile::ModbusSlave, "9600 8N1", req, modbusAnswer, Nothing);
    row("silent", Profile::Silent, "9600 8N1", "/?!\r\n", ident, Nothing);
    row("noise", Profile::Noise, "9600 8N1", {}, kSmlStart, Garbled);
    row("stops mid telegram", Profile::StopsMidTelegram, "9600 8N1", {}, kSmlEnd, Garbled);
}

void TestMeterSimulator::profileAnswers()
{
    QFETCH(int, profile);
    QFETCH(QString, port);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);
    QFETCH(int, outcome);

    Options o;
    o.firstPushMs = 300; // the port is set up by then
    MeterSimulator sim{Profile(profile), o};
    QVERIFY(sim.start());
    QSerialPort serial(sim.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    LineFormat f;
    QVERIFY(LineFormat::parse(port, &f));
    QVERIFY(configure(serial, f));
    serial.clear();
    if (!request.isEmpty()) {
        serial.write(request);
        QVERIFY(serial.waitForBytesWritten(1000));
    }
    if (outcome == Arrives) {
        const QByteArray got = readUntil(serial, contains(expected));
        QVERIFY2(got.contains(expected), got.toHex().constData());
        return;
    }
    const QByteArray got = readFor(serial, kListenMs);
    QVERIFY2(!got.contains(expected), got.toHex().constData());
    if (outcome == Garbled)
        QVERIFY(!got.isEmpty());
    else
        QVERIFY2(got.isEmpty() || got == request, got.toHex().constData());
}

void TestMeterSimulator::modeCSignOn_data()
{
    QTest::addColumn<int>("profile");
    QTest::addColumn<char>("baudChar");
    QTest::addColumn<char>("ackChar");
    QTest::addColumn<int>("dataBaud");
    QTest::addColumn<bool>("intact"); // the data message arrives whole and checks

    QTest::newRow("offers 5, 9600") << int(Profile::IecModeC) << '5' << '5' << 9600 << true;
    QTest::newRow("offers 3, 2400") << int(Profile::IecModeC) << '3' << '3' << 2400 << true;
    QTest::newRow("offers 0, stays at 300") << int(Profile::IecModeC) << '0' << '0' << 300 << true;
    QTest::newRow("offers 6, acknowledged with 5") << int(Profile::IecModeC) << '6' << '5' << 9600 << true;
    QTest::newRow("ignores the acknowledgement") << int(Profile::IecModeCIgnoresAck) << '5' << '5' << 9600 << false;
    QTest::newRow("answers at 300 only") << int(Profile::IecModeC300Only) << '5' << '5' << 9600 << false;
    QTest::newRow("hasty meter") << int(Profile::IecModeCHasty) << '5' << '5' << 9600 << false;
}

void TestMeterSimulator::modeCSignOn()
{
    QFETCH(int, profile);
    QFETCH(char, baudChar);
    QFETCH(char, ackChar);
    QFETCH(int, dataBaud);
    QFETCH(bool, intact);

    Options o;
    o.baudChar = baudChar;
    MeterSimulator sim{Profile(profile), o};
    QVERIFY(sim.start());
    QSerialPort port(sim.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(configure(port, format7E1(300)));
    port.clear();
    port.write("/?!\r\n");
    QVERIFY(port.waitForBytesWritten(1000));
    const QByteArray ident = readUntil(port, [](const QByteArray &b) { return b.endsWith("\r\n"); });
    QCOMPARE(ident, telegrams::iecIdentification(baudChar));

    // As the program does it: acknowledge at 300, switch 500 ms later.
    const QByteArray ack = QByteArray("\x06") + '0' + ackChar + "0\r\n";
    port.write(ack);
    QVERIFY(port.waitForBytesWritten(1000));
    QThread::msleep(500);
    QVERIFY(port.setBaudRate(dataBaud));
    // As the program reads: up to the ETX, then once more what is there; the
    // block check must have come with the ETX.
    QByteArray data = readUntil(
        port, [](const QByteArray &b) { return b.indexOf('\x03', b.indexOf('\x02')) > 0; },
        intact ? kSlowReadLimitMs : 3000);
    data += port.readAll();
    if (intact)
        QCOMPARE(data, telegrams::iecDataMessage());
    else
        QVERIFY2(!data.contains(telegrams::iecDataMessage()), data.toHex().constData());
}

void TestMeterSimulator::opticalEcho_data()
{
    QTest::addColumn<QSet<int>>("lost");
    QTest::addColumn<QSet<int>>("damaged");
    QTest::addColumn<QByteArrayList>("echoes");

    const QByteArray good("Test");
    QTest::newRow("all come back") << QSet<int>{} << QSet<int>{} << QByteArrayList{good, good, good};
    QTest::newRow("second lost") << QSet<int>{2} << QSet<int>{} << QByteArrayList{good, {}, good};
    QTest::newRow("third damaged") << QSet<int>{} << QSet<int>{3} << QByteArrayList{good, good, "test"};
}

void TestMeterSimulator::opticalEcho()
{
    QFETCH(QSet<int>, lost);
    QFETCH(QSet<int>, damaged);
    QFETCH(QByteArrayList, echoes);
    Options o;
    o.lostEchoes = lost;
    o.damagedEchoes = damaged;
    MeterSimulator sim(Profile::Loopback, o);
    QVERIFY(sim.start());
    QSerialPort port(sim.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(configure(port, format8N1(9600)));
    for (const QByteArray &expected : echoes) {
        port.clear();
        port.write("Test");
        QVERIFY(port.waitForBytesWritten(1000));
        // Past the gap that separates two transmissions.
        const QByteArray got = readFor(port, 300);
        QCOMPARE(got, expected);
    }
}

void TestMeterSimulator::modbusFaults_data()
{
    QTest::addColumn<int>("fault"); // -1: none
    QTest::addColumn<QByteArray>("firstRead");
    QTest::addColumn<QByteArray>("later");

    // Registers 4000/4001 hold 1.8.0 in Wh: 12345678 = 00BC614E.
    const QByteArray good = hex("79030400bc614e");
    QTest::newRow("good") << -1 << good << QByteArray();
    QTest::newRow("no answer") << int(ModbusFault::NoAnswer) << QByteArray() << QByteArray();
    QTest::newRow("exception") << int(ModbusFault::Exception) << hex("798302") << QByteArray();
    QTest::newRow("one byte") << int(ModbusFault::OneByte) << hex("79") << QByteArray();
    QTest::newRow("in pieces") << int(ModbusFault::InPieces) << good.left(4) << good.mid(4);
}

void TestMeterSimulator::modbusFaults()
{
    QFETCH(int, fault);
    QFETCH(QByteArray, firstRead);
    QFETCH(QByteArray, later);
    Options o;
    if (fault >= 0)
        o.modbusFaults[0x4000] = ModbusFault(fault);
    o.modbusPieceGapMs = 500;
    MeterSimulator sim(Profile::ModbusSlave, o);
    QVERIFY(sim.start());
    QSerialPort port(sim.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(configure(port, format8E1(9600)));
    port.write(hex("790340000002dbb3"));
    QVERIFY(port.waitForBytesWritten(1000));
    const QByteArray first = readFor(port, 300);
    QVERIFY2(first.startsWith(firstRead), first.toHex().constData());
    if (firstRead.isEmpty()) {
        QVERIFY(first.isEmpty());
        return;
    }
    // Frame plus CRC, with nothing else before the rest comes.
    QCOMPARE(first.size(), firstRead.size() + (later.isEmpty() && fault != int(ModbusFault::OneByte) ? 2 : 0));
    const QByteArray rest = readFor(port, 800);
    QCOMPARE(rest.left(later.size()), later);
}

void TestMeterSimulator::pacedAtLineRate()
{
    // At 300 Bd 7E1 a character takes 36.7 ms: the identification cannot
    // be there all at once when its first bytes are.
    MeterSimulator sim(Profile::IecModeC);
    QVERIFY(sim.start());
    QSerialPort port(sim.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(configure(port, format7E1(300)));
    port.write("/?!\r\n");
    QVERIFY(port.waitForBytesWritten(1000));
    const QByteArray first = readUntil(port, [](const QByteArray &b) { return !b.isEmpty(); });
    QVERIFY(!first.isEmpty());
    QVERIFY2(first.size() < telegrams::iecIdentification('5').size(), first.constData());
    const QByteArray rest = readUntil(port, [](const QByteArray &b) { return b.endsWith("\r\n"); });
    QCOMPARE(first + rest, telegrams::iecIdentification('5'));
}

void TestMeterSimulator::unplugFailsPendingRead()
{
    MeterSimulator sim(Profile::Silent);
    QVERIFY(sim.start());
    QSerialPort port(sim.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(configure(port, format8N1(9600)));
    std::unique_ptr<QThread> unplugger(QThread::create([&sim] {
        QThread::msleep(200);
        sim.unplug();
    }));
    unplugger->start();
    QVERIFY(!port.waitForReadyRead(5000));
    unplugger->wait();
    QVERIFY(sim.isUnplugged());
    QCOMPARE(port.error(), QSerialPort::ReadError);
    port.close(); // and closing afterwards is harmless
}

void TestMeterSimulator::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // expected in stdout + stderr

    QTest::newRow("help lists profiles") << QStringList{"--help"} << 0 << "iec-hasty";
    QTest::newRow("unknown profile") << QStringList{"--profile", "gas-meter"} << 2 << "unknown profile 'gas-meter'";
    QTest::newRow("bad option") << QStringList{"--colour"} << 2 << "Unknown option 'colour'";
    QTest::newRow("bad number") << QStringList{"--interval", "soon"} << 2 << "bad value 'soon' for --interval";
    QTest::newRow("bad format") << QStringList{"--format", "9N9"} << 2 << "bad format '9N9'";
}

void TestMeterSimulator::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QProcess p;
    p.start(QStringLiteral(METERSIM_PROGRAM), arguments);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), exitCode);
    const QString all = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    QVERIFY2(all.contains(output), qPrintable(all));
}

void TestMeterSimulator::commandLineAcrossProcesses()
{
    // The simulator runs in another process: it learns the character format
    // from the test bed's record, and enforces it.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("meter"));
    QProcess p;
    p.setReadChannel(QProcess::StandardOutput);
    p.start(QStringLiteral(METERSIM_PROGRAM), {"--profile", "iec-push", "--interval", "300", "--link", link});
    QVERIFY(p.waitForReadyRead(10000));
    const QString slave = QString::fromLocal8Bit(p.readLine()).trimmed();
    QVERIFY2(slave.startsWith(QStringLiteral("/dev/pts/")), qPrintable(slave));
    QCOMPARE(QFile::symLinkTarget(link), slave);

    QSerialPort port(link);
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(configure(port, format8N1(9600)));
    // Bytes already on the line when the format changed may still come whole.
    readFor(port, 100);
    port.clear();
    const QByteArray garbled = readFor(port, 1000);
    QVERIFY(!garbled.isEmpty());
    QVERIFY2(!garbled.contains("/VIV"), garbled.constData());

    QVERIFY(configure(port, format7E1(9600)));
    port.clear();
    const QByteArray message = telegrams::iecPushMessage();
    const QByteArray got = readUntil(port, contains(message));
    QVERIFY2(got.contains(message), got.constData());
    port.close();

    p.terminate();
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestMeterSimulator)
#include "tst_metersimulator.moc"
