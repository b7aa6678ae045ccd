// The reading-head chain, its four tests and the loopback test, each through
// a real QSerialPort on a pseudo-terminal with a simulated meter behind it.
#include <QSerialPort>
#include <QTest>

#include "enginerig.h"

using metersim::Options;
using metersim::Profile;
namespace telegrams = metersim::telegrams;

namespace {

const char *const kHeadings[] = {
    "Test 1 mit Baud 9600 8N1 unidirektional:", "Test 2 mit Baud 9600 8N1 bidirektional:",
    "Test 3 mit Baud 9600 7E1 unidirektional:", "Test 4 mit Baud 300 7E1 bidirektional:"};

QStringList head(int test) { return QStringList{kVersion} + stepHead(test, kHeadings[test - 1]); }

const QString kSmlOk = QStringLiteral("erfolgreich | SML | 9600 8N1");
const QString kSignOnOk = QStringLiteral("erfolgreich | OBIS ASCII | 300 7E1");

// An accepted SML frame: values only when its CRC matched.
QStringList smlAccepted(const QByteArray &frame, bool decoded)
{
    return (decoded ? QStringList{"values"} : QStringList())
        + QStringList{"black: Ergebnis: " + hex(frame), "print: " + hex(frame)};
}

// Test 4 after the sign-on: acknowledgement, switch, counts and the readout
// as text, for the report and in hexadecimal.
QStringList signOnAccepted(const QByteArray &ack, int switchedTo, const QByteArray &buffer)
{
    return sent(ack) + (switchedTo ? QStringList{QStringLiteral("blue: Wechsel auf Baud %1...").arg(switchedTo)} : QStringList())
        + QStringList{"status: Test 4 von 4 - Lese Bytes: #", "values", "black: Ergebnis: " + QString::fromUtf8(buffer),
                      "print: " + QString::fromUtf8(buffer), "black: " + hex(buffer)};
}

QByteArray identificationWith(char baudChar)
{
    QByteArray id = telegrams::iecIdentification('5');
    id[id.indexOf('/') + 4] = baudChar;
    return id;
}

Options pushEvery(int ms)
{
    Options o;
    o.intervalMs = ms;
    return o;
}

} // namespace

class TestReadingHead : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMeterMetaTypes(); }
    void singleTest_data();
    void singleTest();
    void signOnRates_data();
    void signOnRates();
    void signOnAgainstNoise();
    void allTestsReachTheLastOne();
    void loopback_data();
    void loopback();
    void unplugged_data();
    void unplugged();
    void portThatDidNotOpen();
    void destroyedMidChain();
};

void TestReadingHead::singleTest_data()
{
    QTest::addColumn<Profile>("profile");
    QTest::addColumn<Options>("options");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("values");

    const QByteArray sml = telegrams::smlFile();
    const QStringList failed = QStringList{kNoData} + ending(kFailed);
    QTest::newRow("t1-sml-push") << Profile::SmlPush << pushEvery(1000) << 1
                                 << head(1) + smlAccepted(sml, true) + ending(kSmlOk) << heldValues(kSmlFields);
    Options badCrc = pushEvery(1000);
    badCrc.telegram = sml;
    badCrc.telegram[sml.size() - 1] = char(sml.back() ^ 0x01);
    QTest::newRow("t1-crc-mismatch") << Profile::SmlPush << badCrc << 1
                                     << head(1) + smlAccepted(badCrc.telegram, false) + ending(kSmlOk) << QString();
    QTest::newRow("t1-silent") << Profile::Silent << Options() << 1 << head(1) + failed << QString();
    QTest::newRow("t1-stops-mid-telegram") << Profile::StopsMidTelegram << pushEvery(1000) << 1 << head(1) + failed
                                           << QString();
    // Any mode but 2 to 4 starts at test 1.
    QTest::newRow("mode-7-runs-test-1") << Profile::SmlPush << pushEvery(1000) << 7
                                        << head(1) + smlAccepted(sml, true) + ending(kSmlOk) << heldValues(kSmlFields);

    const QStringList request = sent(telegrams::smlRequest());
    QTest::newRow("t2-sml-request") << Profile::SmlRequest << Options() << 2
                                    << head(2) + request + QStringList{"status: Test 2 von 4 - Lese Bytes: #"}
                                           + smlAccepted(sml, true) + ending(kSmlOk)
                                    << heldValues(kSmlFields);
    // The head's own echo, a frame without an energy register, comes first.
    Options echoed;
    echoed.echo = true;
    QTest::newRow("t2-echo-first") << Profile::SmlRequest << echoed << 2
                                   << head(2) + request + QStringList{"status: Test 2 von 4 - Lese Bytes: #"}
                                          + smlAccepted(sml, true) + ending(kSmlOk)
                                   << heldValues(kSmlFields);
    QTest::newRow("t2-silent") << Profile::Silent << Options() << 2 << head(2) + request + failed << QString();

    const QByteArray push = telegrams::iecPushMessage();
    const QByteArray message = push.left(push.indexOf('!') + 1);
    QTest::newRow("t3-iec-push") << Profile::IecPush << pushEvery(1000) << 3
                                 << head(3)
                                        + QStringList{"status: Test 3 von 4 - Lese Bytes: #", "values",
                                                      "black: Ergebnis: " + QString::fromUtf8(message),
                                                      "black: " + hex(message), "print: " + hex(message)}
                                        + ending(QStringLiteral("erfolgreich | OBIS ASCII | 9600 7E1"))
                                 << heldValues(kIecFields);
    // An SML meter's 8N1 bytes at a 7E1 port carry no readout; test 4 does not follow.
    QTest::newRow("t3-sml-meter") << Profile::SmlPush << pushEvery(1000) << 3
                                  << head(3) + QStringList{"status: Test 3 von 4 - Lese Bytes: #"} + failed << QString();

    const QStringList signOn = sent("/?!\r\n");
    const QStringList switched = sent("\x06" "050\r\n") + QStringList{"blue: Wechsel auf Baud 9600..."};
    QTest::newRow("t4-silent") << Profile::Silent << Options() << 4 << head(4) + signOn + failed << QString();
    // Nothing after the switch: only the identification is left to evaluate.
    QTest::newRow("t4-ignores-ack") << Profile::IecModeCIgnoresAck << Options() << 4
                                    << head(4) + signOn + switched + failed << QString();
    // A meter that stays at 300 Bd is heard at 9600 Bd as garbage.
    QTest::newRow("t4-300-only") << Profile::IecModeC300Only << Options() << 4
                                 << head(4) + signOn + switched + QStringList{"status: Test 4 von 4 - Lese Bytes: #"} + failed
                                 << QString();
}

void TestReadingHead::singleTest()
{
    QFETCH(Profile, profile);
    QFETCH(Options, options);
    QFETCH(int, mode);
    QFETCH(QStringList, expected);
    QFETCH(QString, values);

    EngineRig rig(profile, options);
    QVERIFY(rig.run(mode));
    QVERIFY(sameLines(rig.folded(), expected));
    if (!values.isEmpty())
        QCOMPARE(validValues(rig.recorder().records.at(0)), values);
}

void TestReadingHead::signOnRates_data()
{
    QTest::addColumn<char>("offered");
    QTest::addColumn<QString>("passwort");
    QTest::addColumn<QByteArray>("ack");
    QTest::addColumn<int>("switchedTo"); // 0: stays at 300 Bd; -1: the meter refuses

    QTest::newRow("char-0") << '0' << QString() << QByteArray("\x06" "000\r\n") << 0;
    QTest::newRow("char-1") << '1' << QString() << QByteArray("\x06" "010\r\n") << 600;
    QTest::newRow("char-2") << '2' << QString() << QByteArray("\x06" "020\r\n") << 1200;
    QTest::newRow("char-3") << '3' << QString() << QByteArray("\x06" "030\r\n") << 2400;
    QTest::newRow("char-4") << '4' << QString() << QByteArray("\x06" "040\r\n") << 4800;
    QTest::newRow("char-5") << '5' << QString() << QByteArray("\x06" "050\r\n") << 9600;
    QTest::newRow("char-6") << '6' << QString() << QByteArray("\x06" "050\r\n") << 9600;
    // A mode B letter is answered at 300 Bd; the mode C meter refuses it.
    QTest::newRow("char-A") << 'A' << QString() << QByteArray("\x06" "000\r\n") << -1;
    QTest::newRow("address") << '5' << QStringLiteral("12345678") << QByteArray("\x06" "050\r\n") << 9600;
}

void TestReadingHead::signOnRates()
{
    QFETCH(char, offered);
    QFETCH(QString, passwort);
    QFETCH(QByteArray, ack);
    QFETCH(int, switchedTo);

    Options o;
    o.baudChar = offered;
    o.address = passwort;
    EngineRig rig(Profile::IecModeC, o);
    QVERIFY(rig.run(Test_04, IR_Head, passwort));

    const QStringList request = head(4) + sent("/?" + passwort.toUtf8() + "!\r\n");
    if (switchedTo < 0) {
        QVERIFY(sameLines(rig.folded(), request + sent(ack) + QStringList{kNoData} + ending(kFailed)));
        return;
    }
    const QByteArray buffer = identificationWith(offered) + telegrams::iecDataMessage();
    QVERIFY(sameLines(rig.folded(), request + signOnAccepted(ack, switchedTo, buffer) + ending(kSignOnOk)));
    QCOMPARE(validValues(rig.recorder().records.at(0)), heldValues(kIecFields));
    // The count shown after each chunk is the whole buffer, identification included.
    QCOMPARE(rig.recorder().byteCounts().last(), buffer.size());
    QCOMPARE(rig.meter().programFormat().baud, switchedTo ? switchedTo : 300);
}

void TestReadingHead::signOnAgainstNoise()
{
    // Noise never ends a line with CR LF: the identification must still end,
    // and so must the reading after it.
    EngineRig rig(Profile::Noise);
    QVERIFY(rig.run(Test_04));
    const QStringList lines = rig.recorder().lines;
    QCOMPARE(lines.mid(0, 4), head(4) + sent("/?!\r\n"));
    QCOMPARE(lines.mid(lines.size() - 3), ending(kFailed));
    QVERIFY(!lines.contains(QStringLiteral("values")));
}

void TestReadingHead::allTestsReachTheLastOne()
{
    // Only test 4 can read a mode C meter: the chain runs all four.
    EngineRig rig(Profile::IecModeC);
    QVERIFY(rig.run(Test_All));
    const QByteArray buffer = identificationWith('5') + telegrams::iecDataMessage();
    QVERIFY(sameLines(rig.folded(), head(1) + QStringList{kNoData} + stepHead(2, kHeadings[1]) + sent(telegrams::smlRequest())
                                        + QStringList{kNoData} + stepHead(3, kHeadings[2]) + QStringList{kNoData}
                                        + stepHead(4, kHeadings[3]) + sent("/?!\r\n")
                                        + signOnAccepted("\x06" "050\r\n", 9600, buffer) + ending(kSignOnOk)));
}

void TestReadingHead::loopback_data()
{
    QTest::addColumn<Profile>("profile");
    QTest::addColumn<QList<int>>("lost");
    QTest::addColumn<QList<int>>("damaged");
    QTest::addColumn<QString>("passes"); // per pass sent: g = good echo, x = none or wrong

    QTest::newRow("ten-good") << Profile::Loopback << QList<int>() << QList<int>() << "gggggggggg";
    QTest::newRow("nine-good") << Profile::Loopback << QList<int>{4} << QList<int>() << "gggxgggggg";
    QTest::newRow("failing-2-5-7") << Profile::Loopback << QList<int>{5} << QList<int>{2, 7} << "gxggxgx";
    QTest::newRow("none-good") << Profile::Silent << QList<int>() << QList<int>() << "xxx";
}

void TestReadingHead::loopback()
{
    QFETCH(Profile, profile);
    QFETCH(QList<int>, lost);
    QFETCH(QList<int>, damaged);
    QFETCH(QString, passes);

    Options o;
    o.lostEchoes = QSet<int>(lost.begin(), lost.end());
    o.damagedEchoes = QSet<int>(damaged.begin(), damaged.end());
    EngineRig rig(profile, o);
    QVERIFY(rig.run(-1));

    QStringList expected{kVersion, "status: Lesekopf wird getestet...", "black: Lesekopf wird getestet..."};
    for (int i = 0; i < passes.size(); ++i)
        expected << QStringLiteral("blue: %1 Sende: Test").arg(i + 1, 2, 10, QLatin1Char('0'))
                 << (passes.at(i) == 'g' ? "green: Gelesen: Test" : "red: Keine oder fehlterhafte Anwort");
    if (passes.count('x') > 2)
        expected << "red: Abbruch! Zu viele Fehler!";
    expected += ending(passes.count('g') == 10 ? QStringLiteral("erfolgreich | - | -") : kFailed);
    QVERIFY(sameLines(rig.folded(), expected));
    QCOMPARE(rig.meter().receivedBytes(), QByteArray("Test").repeated(passes.size()));
}

void TestReadingHead::unplugged_data()
{
    QTest::addColumn<Profile>("profile");
    QTest::addColumn<int>("mode"); // -1: the loopback test
    QTest::addColumn<int>("unplugAfterMs");
    QTest::addColumn<int>("failedTests");

    QTest::newRow("t1-sleeping") << Profile::Silent << 1 << 1500 << 1;
    QTest::newRow("t2-reading") << Profile::SmlRequest << 2 << 4500 << 1;
    QTest::newRow("t3-waiting") << Profile::Silent << 3 << 4000 << 1;
    QTest::newRow("t4-identification") << Profile::IecModeC << 4 << 2300 << 1;
    QTest::newRow("loopback") << Profile::Loopback << -1 << 1200 << 1;
    QTest::newRow("all-tests") << Profile::Silent << 0 << 1500 << 4;
}

void TestReadingHead::unplugged()
{
    QFETCH(Profile, profile);
    QFETCH(int, mode);
    QFETCH(int, unplugAfterMs);
    QFETCH(int, failedTests);
    EngineRig(profile).verifyUnplugged(mode, IR_Head, unplugAfterMs, failedTests);
}

void TestReadingHead::portThatDidNotOpen()
{
    // After a failed connect the closed port is still held: a start request
    // then fails at once with the port's own reason.
    const QString missing = QStringLiteral("/dev/viviv-no-such-port");
    QSerialPort probe(missing);
    QVERIFY(!probe.open(QIODevice::ReadWrite));
    serialclass worker;
    SignalRecorder recorder(worker);
    QMetaObject::invokeMethod(&worker, "slotConnectSerialPort", Q_ARG(QString, missing));
    QMetaObject::invokeMethod(&worker, "slotStartTest", Q_ARG(QString, QString()), Q_ARG(TestMode_t, Test_01),
                              Q_ARG(enum_interfaces_t, IR_Head));
    QTRY_VERIFY_WITH_TIMEOUT(recorder.finished == 1, 10000);
    QVERIFY(sameLines(recorder.lines,
                      head(1) + QStringList{"red: Fehler an der Schnittstelle: " + probe.errorString()} + ending(kFailed)));
}

namespace {
QStringList debugLines;
void keepDebugLine(QtMsgType, const QMessageLogContext &, const QString &text) { debugLines << text; }
} // namespace

void TestReadingHead::destroyedMidChain()
{
    // Closing the window during "Alle Tests" stops the worker within its
    // bound: the running test leaves at its next slice, the rest of the chain
    // at once, and the thread is not terminated.
    metersim::MeterSimulator meter(Profile::Silent);
    QVERIFY(meter.start());
    auto worker = std::make_unique<serialclass>();
    SignalRecorder recorder(*worker);
    QMetaObject::invokeMethod(worker.get(), "slotConnectSerialPort", Q_ARG(QString, meter.slavePath()));
    QMetaObject::invokeMethod(worker.get(), "slotStartTest", Q_ARG(QString, QString()), Q_ARG(TestMode_t, Test_All),
                              Q_ARG(enum_interfaces_t, IR_Head));
    QTRY_VERIFY(recorder.lines.contains(QLatin1String("blue: ") + kHeadings[0]));
    const QtMessageHandler previous = qInstallMessageHandler(keepDebugLine);
    worker.reset();
    qInstallMessageHandler(previous);
    QVERIFY2(!debugLines.contains(QStringLiteral("thread has to be terminated")), qPrintable(debugLines.join('|')));
}

QTEST_GUILESS_MAIN(TestReadingHead)
#include "tst_readinghead.moc"
