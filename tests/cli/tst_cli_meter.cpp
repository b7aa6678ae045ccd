// The front end against the meter simulator on a pseudo-terminal: each
// accessory with a meter that passes and one that fails, the JSON document
// against the values the simulator serves, colour and progress only on a
// terminal, and Ctrl+C in the middle of a test.

#include "cliprocess.h"
#include "metersimulator.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace metersim;
using clitest::CliResult;

class TestCliMeter : public QObject
{
    Q_OBJECT

private slots:
    void reportsRunAsJson_data();
    void reportsRunAsJson();
    void colourOnlyOnTerminal_data();
    void colourOnlyOnTerminal();
    void ctrlCEndsRunCleanly_data();
    void ctrlCEndsRunCleanly();
};

namespace {

const QString kProgram = QStringLiteral(VIVIV_CLI_TESTBED_PROGRAM);

// What the simulator serves, by OBIS code: the oracle for the JSON values.
struct ServedValue
{
    const char *obis;
    double (*of)(const MeterValues &);
    const char *unit;
    const char *text; // as the default values look with the window's decimals
};

const ServedValue kServed[] = {
    {"1.8.0", [](const MeterValues &v) { return v.import_kWh; }, "kWh", "12345.67800"},
    {"1.8.1", [](const MeterValues &v) { return v.importT1_kWh; }, "kWh", "10000.00000"},
    {"1.8.2", [](const MeterValues &v) { return v.importT2_kWh; }, "kWh", "2345.67800"},
    {"2.8.0", [](const MeterValues &v) { return v.export_kWh; }, "kWh", "987.65400"},
    {"2.8.1", [](const MeterValues &v) { return v.exportT1_kWh; }, "kWh", "900.00000"},
    {"2.8.2", [](const MeterValues &v) { return v.exportT2_kWh; }, "kWh", "87.65400"},
    {"1.7.0", [](const MeterValues &v) { return v.power_W; }, "W", "432.10"},
    {"2.7.0", [](const MeterValues &v) { return v.exportPower_W; }, "W", "0.00"},
    {"1.7.1", [](const MeterValues &v) { return v.phasePower_W[0]; }, "W", "150.00"},
    {"1.7.2", [](const MeterValues &v) { return v.phasePower_W[1]; }, "W", "180.10"},
    {"1.7.3", [](const MeterValues &v) { return v.phasePower_W[2]; }, "W", "102.00"},
    {"32.7.0", [](const MeterValues &v) { return v.voltage_V[0]; }, "V", "230.10"},
    {"52.7.0", [](const MeterValues &v) { return v.voltage_V[1]; }, "V", "231.20"},
    {"72.7.0", [](const MeterValues &v) { return v.voltage_V[2]; }, "V", "229.30"},
    {"31.7.0", [](const MeterValues &v) { return v.current_A[0]; }, "A", "1.23"},
    {"51.7.0", [](const MeterValues &v) { return v.current_A[1]; }, "A", "0.45"},
    {"71.7.0", [](const MeterValues &v) { return v.current_A[2]; }, "A", "0.67"},
};

const QStringList kSmlCodes = {"1.8.0", "1.8.1", "1.8.2", "2.8.0", "2.8.1", "2.8.2", "1.7.0", "1.7.1",
                                "1.7.2", "1.7.3", "32.7.0", "52.7.0", "72.7.0", "31.7.0", "51.7.0", "71.7.0"};
const QStringList kIecCodes = {"1.8.0", "1.8.1", "1.8.2", "2.8.0", "2.8.1", "2.8.2", "1.7.0",
                               "32.7.0", "52.7.0", "72.7.0", "31.7.0", "51.7.0", "71.7.0"};
const QStringList kModbusCodes = {"1.8.0", "1.8.1", "1.8.2", "2.8.0", "2.8.1", "2.8.2", "1.7.0", "2.7.0"};

// One end of a pseudo-terminal for the child's stdout or stderr. The test
// keeps a slave descriptor of its own, so the master never sees a hang-up.
class TerminalEnd
{
public:
    bool open()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return false;
        path = QString::fromLocal8Bit(::ptsname(master));
        slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        return slave >= 0;
    }
    ~TerminalEnd()
    {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
    void drain()
    {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(master, buffer, sizeof buffer)) > 0)
            text.append(buffer, int(n));
    }

    QString path;
    QByteArray text;

private:
    int master = -1;
    int slave = -1;
};

} // namespace

void TestCliMeter::reportsRunAsJson_data()
{
    QTest::addColumn<int>("profile");
    QTest::addColumn<QList<int>>("lostEchoes");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("accessory");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("portSetting");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QByteArray>("report"); // "*": any non-empty text

    const QByteArray smlHex = telegrams::smlFile().toHex().toUpper();
    // Reading head: the SML meter answers the first test of "Alle Tests";
    // the port is no converter, so it counts as a reading head without -z.
    QTest::newRow("lesekopf-sml-alle-tests")
        << int(Profile::SmlPush) << QList<int>{} << QStringList{} << 0 << "lesekopf" << "SML" << "9600 8N1"
        << kSmlCodes << smlHex;
    QTest::newRow("lesekopf-iec-test3")
        << int(Profile::IecPush) << QList<int>{} << QStringList{"-z", "lesekopf", "-t", "3"} << 0 << "lesekopf"
        << "OBIS ASCII" << "9600 7E1" << kIecCodes << QByteArray("*");
    // An IEC meter cannot answer the SML listening test.
    QTest::newRow("lesekopf-iec-an-test1")
        << int(Profile::IecPush) << QList<int>{} << QStringList{"-t", "1"} << 1 << "lesekopf" << "-" << "-"
        << QStringList{} << QByteArray();
    // RS485: slave 0x79 is meter number ...78.
    QTest::newRow("rs485-modbus")
        << int(Profile::ModbusSlave) << QList<int>{} << QStringList{"-z", "rs485", "-n", "12345678"} << 0 << "rs485"
        << "Modbus RTU" << "9600 8E1" << kModbusCodes << QByteArray("*");
    // Modbus finds no slave; the chain goes on to the IEC readout at 7E1.
    QTest::newRow("rs485-iec")
        << int(Profile::Rs485Iec) << QList<int>{} << QStringList{"-z", "rs485"} << 0 << "rs485" << "OBIS ASCII"
        << "9600 7E1" << kIecCodes << QByteArray("*");
    QTest::newRow("rs485-stumm")
        << int(Profile::Silent) << QList<int>{} << QStringList{"-z", "rs485"} << 1 << "rs485" << "-" << "-"
        << QStringList{} << QByteArray();
    QTest::newRow("lesekopftest-echo")
        << int(Profile::Loopback) << QList<int>{} << QStringList{"--lesekopftest"} << 0 << "lesekopf" << "-" << "-"
        << QStringList{} << QByteArray();
    QTest::newRow("lesekopftest-drei-fehler")
        << int(Profile::Loopback) << QList<int>{2, 5, 7} << QStringList{"--lesekopftest"} << 1 << "lesekopf" << "-"
        << "-" << QStringList{} << QByteArray();
}

void TestCliMeter::reportsRunAsJson()
{
    QFETCH(int, profile);
    QFETCH(QList<int>, lostEchoes);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, accessory);
    QFETCH(QString, protocol);
    QFETCH(QString, portSetting);
    QFETCH(QStringList, codes);
    QFETCH(QByteArray, report);

    Options options;
    for (int n : lostEchoes)
        options.lostEchoes.insert(n);
    MeterSimulator sim(Profile(profile), options);
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));

    const CliResult r = clitest::runCli(kProgram, QStringList{"--port", sim.slavePath(), "--json"} + arguments);
    QVERIFY(r.exitedNormally);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.isEmpty(), r.err.constData()); // no terminal, no --debug: nothing on stderr

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(r.out, &parseError);
    QVERIFY2(parseError.error == QJsonParseError::NoError, qPrintable(parseError.errorString()));
    const QJsonObject json = document.object();

    QCOMPARE(json.value("result").toString(), exitCode == 0 ? QString("erfolgreich") : QString("nicht erfolgreich"));
    QCOMPARE(json.value("successful").toBool(), exitCode == 0);
    QCOMPARE(json.value("protocol").toString(), protocol);
    QCOMPARE(json.value("portSetting").toString(), portSetting);
    QCOMPARE(json.value("port").toString(), sim.slavePath());
    QCOMPARE(json.value("accessory").toString(), accessory);

    const QJsonObject values = json.value("values").toObject();
    QStringList keys = values.keys();
    keys.sort();
    QStringList expectedKeys = codes;
    expectedKeys.sort();
    QCOMPARE(keys, expectedKeys);
    const MeterValues &servedValues = telegrams::defaultValues();
    for (const QString &code : codes) {
        const ServedValue *s = std::find_if(std::begin(kServed), std::end(kServed),
                                            [&](const ServedValue &e) { return code == QLatin1String(e.obis); });
        QVERIFY2(s != std::end(kServed), qPrintable(code));
        const QJsonObject v = values.value(code).toObject();
        const double expected = s->of(servedValues);
        QVERIFY2(qAbs(v.value("value").toDouble() - expected) < 1e-6 * qMax(1.0, qAbs(expected)), s->obis);
        QCOMPARE(v.value("unit").toString(), QString::fromLatin1(s->unit));
        QCOMPARE(v.value("text").toString(), QString::fromLatin1(s->text));
    }

    if (report == "*")
        QVERIFY(!json.value("report").toString().isEmpty());
    else
        QCOMPARE(json.value("report").toString().toLatin1(), report);

    const QJsonArray log = json.value("log").toArray();
    QVERIFY(!log.isEmpty());
    QCOMPARE(log.first().toObject().value("text").toString(), QString("Viviv Testprogramm v.1.19"));
    QCOMPARE(log.first().toObject().value("colour").toString(), QString("blue"));
    // Failures are told in red; green only comes from the read-head test.
    QSet<QString> colours;
    for (const QJsonValue &line : log)
        colours.insert(line.toObject().value("colour").toString());
    QVERIFY((colours - QSet<QString>{"blue", "black", "red", "green"}).isEmpty());
    if (exitCode != 0)
        QVERIFY(colours.contains("red"));
    QCOMPARE(colours.contains("green"), arguments.contains("--lesekopftest"));
}

void TestCliMeter::colourOnlyOnTerminal_data()
{
    QTest::addColumn<bool>("stdoutTerminal");
    QTest::addColumn<bool>("stderrTerminal");
    QTest::addColumn<int>("profile");
    QTest::addColumn<QByteArray>("telegram");
    QTest::addColumn<QString>("test");
    QTest::addColumn<QString>("shown"); // a text the run must show

    const int sml = int(Profile::SmlPush);
    QTest::newRow("pipe") << false << false << sml << QByteArray() << "1" << "Ergebnis: 1B1B1B1B01010101";
    QTest::newRow("terminal") << true << true << sml << QByteArray() << "1" << "Ergebnis: 1B1B1B1B01010101";
    QTest::newRow("nur-stdout-terminal") << true << false << sml << QByteArray() << "1" << "Ergebnis: 1B1B1B1B01010101";
    // Meter data must not drive the terminal: its control characters show as dots.
    QByteArray clearsScreen = telegrams::iecPushMessage();
    clearsScreen.replace("SIM100", "SIM\x1B[2J100");
    QTest::newRow("steuerzeichen-vom-zaehler") << true << false << int(Profile::IecPush) << clearsScreen << "3"
                                               << "Ergebnis: /VIV5SIM.[2J100";
}

void TestCliMeter::colourOnlyOnTerminal()
{
    QFETCH(bool, stdoutTerminal);
    QFETCH(bool, stderrTerminal);
    QFETCH(int, profile);
    QFETCH(QByteArray, telegram);
    QFETCH(QString, test);
    QFETCH(QString, shown);

    Options options;
    options.telegram = telegram;
    MeterSimulator sim(Profile(profile), options);
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));

    TerminalEnd outTerminal;
    TerminalEnd errTerminal;
    QProcess process;
    if (stdoutTerminal) {
        QVERIFY(outTerminal.open());
        process.setStandardOutputFile(outTerminal.path);
    }
    if (stderrTerminal) {
        QVERIFY(errTerminal.open());
        process.setStandardErrorFile(errTerminal.path);
    }
    process.start(kProgram, {"--port", sim.slavePath(), "--test", test});
    QVERIFY(process.waitForStarted());
    QElapsedTimer clock;
    clock.start();
    while (!process.waitForFinished(50) && clock.elapsed() < clitest::kRunLimitMs) {
        outTerminal.drain();
        errTerminal.drain();
    }
    const CliResult r = clitest::finish(process, 0);
    outTerminal.drain();
    errTerminal.drain();
    QCOMPARE(r.exitCode, 0);

    const QString out = QString::fromUtf8(stdoutTerminal ? outTerminal.text : r.out);
    const QString err = QString::fromUtf8(stderrTerminal ? errTerminal.text : r.err);

    // The window's decimals: 5 for energies, 2 for powers.
    QVERIFY2(out.contains(QStringLiteral("12345.67800 kWh")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("432.10 W")), qPrintable(out));
    QVERIFY2(out.contains(shown), qPrintable(out));
    QVERIFY2(!out.contains(QStringLiteral("\033[2J")), qPrintable(out));
    if (stdoutTerminal) {
        QVERIFY2(out.startsWith(QStringLiteral("\033[34mViviv Testprogramm v.1.19\033[0m")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("Test Status: \033[32merfolgreich\033[0m")), qPrintable(out));
    } else {
        QVERIFY2(!out.contains(QLatin1Char('\033')), qPrintable(out));
        QVERIFY2(out.startsWith(QStringLiteral("Viviv Testprogramm v.1.19\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("Test Status: erfolgreich\n")), qPrintable(out));
    }
    if (stderrTerminal)
        QVERIFY2(err.contains(QStringLiteral("\r\033[KTest %1 von 4 - Bitte warten!").arg(test)), qPrintable(err));
    else
        QVERIFY2(err.isEmpty(), qPrintable(err));
}

void TestCliMeter::ctrlCEndsRunCleanly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("running"); // the line after which Ctrl+C comes
    QTest::addColumn<QString>("notReached");

    QTest::newRow("lesekopf") << QStringList{"-z", "lesekopf"} << "Test 1 mit Baud 9600 8N1 unidirektional:"
                              << "Test 2 mit Baud";
    QTest::newRow("rs485") << QStringList{"-z", "rs485"} << "RS485: Test 1 mit Baud 9600 8E1 bidirektional:"
                           << "RS485: Test 2 mit Baud";
    QTest::newRow("lesekopftest") << QStringList{"--lesekopftest"} << "01 Sende: Test" << "02 Sende: Test";
}

void TestCliMeter::ctrlCEndsRunCleanly()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, running);
    QFETCH(QString, notReached);

    MeterSimulator sim(Profile::Silent);
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));

    QProcess process;
    process.start(kProgram, QStringList{"--port", sim.slavePath(), "--debug"} + arguments);
    QVERIFY(process.waitForStarted());
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (!out.contains(running.toUtf8()) && process.state() == QProcess::Running && clock.elapsed() < 30000) {
        process.waitForReadyRead(100);
        out += process.readAllStandardOutput();
    }
    QVERIFY2(out.contains(running.toUtf8()), out.constData());
    QThread::msleep(300); // well inside the test's first wait
    QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);

    const CliResult r = clitest::finish(process, 20000); // guards against a hang only
    out += r.out;
    QVERIFY(r.exitedNormally);
    QCOMPARE(r.exitCode, 130);
    const QString err = QString::fromUtf8(r.err);
    QVERIFY2(err.contains(QStringLiteral("serialclass constructor")), qPrintable(err)); // debug lines do arrive
    QVERIFY2(!err.contains(QStringLiteral("thread has to be terminated")), qPrintable(err));
    QVERIFY2(err.endsWith(QStringLiteral("Abgebrochen.\n")), qPrintable(err));
    QVERIFY2(!out.contains(notReached.toUtf8()), out.constData());
    QVERIFY2(!out.contains("Test Status:"), out.constData());
}

QTEST_GUILESS_MAIN(TestCliMeter)
#include "tst_cli_meter.moc"
