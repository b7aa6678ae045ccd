// The reading-head chain, its four tests and the loopback test, each through
// a real QSerialPort on a pseudo-terminal with a simulated meter behind it.
#include <QElapsedTimer>
#include <QTest>

#include <cerrno>
#include <cstring>

#include "enginerig.h"

using metersim::Options;
using metersim::Profile;

Q_DECLARE_METATYPE(metersim::Profile)
Q_DECLARE_METATYPE(metersim::Options)

namespace {

constexpr int kRunLimitMs = 150000; // guards against a hang only

const char *const kHeadings[] = {
    "Test 1 mit Baud 9600 8N1 unidirektional:",
    "Test 2 mit Baud 9600 8N1 bidirektional:",
    "Test 3 mit Baud 9600 7E1 unidirektional:",
    "Test 4 mit Baud 300 7E1 bidirektional:",
};

QString hex(const QByteArray &b) { return QString::fromLatin1(b.toHex().toUpper()); }

QStringList versionLine() { return {QStringLiteral("blue: Viviv Testprogramm v.1.19")}; }

QStringList stepHead(int test)
{
    return {QStringLiteral("status: Test %1 von 4 - Bitte warten!").arg(test),
            QStringLiteral("blue: ") + QLatin1String(kHeadings[test - 1])};
}

QStringList ending(const QString &result)
{
    return {QStringLiteral("result: ") + result, QStringLiteral("status: Test beendet!"), QStringLiteral("finished")};
}

const QString kFailed = QStringLiteral("nicht erfolgreich | - | -");
const QString kNoData = QStringLiteral("red: Ergebnis: Keine Daten");

// What an accepted SML frame leaves in the log.
QStringList smlAccepted(const QByteArray &frame, bool decoded)
{
    QStringList l;
    if (decoded)
        l << QStringLiteral("values");
    l << QStringLiteral("black: Ergebnis: ") + hex(frame) << QStringLiteral("print: ") + hex(frame);
    return l;
}

QByteArray identificationWith(char baudChar)
{
    QByteArray id = metersim::telegrams::iecIdentification('5');
    id[id.indexOf('/') + 4] = baudChar;
    return id;
}

// What test 4 leaves after the sign-on: the acknowledgement, the switch, the
// byte counts and the readout as text, for the report and in hexadecimal.
QStringList signOnAccepted(const QByteArray &request, const char *ackHex, int switchedTo, const QByteArray &buffer)
{
    QStringList l{QStringLiteral("blue: Sende:") + hex(request), QStringLiteral("blue: Sende:") + QLatin1String(ackHex)};
    if (switchedTo)
        l << QStringLiteral("blue: Wechsel auf Baud %1...").arg(switchedTo);
    l << QStringLiteral("status: Test 4 von 4 - Lese Bytes: #") << QStringLiteral("values")
      << QStringLiteral("black: Ergebnis: ") + QString::fromUtf8(buffer) << QStringLiteral("print: ") + QString::fromUtf8(buffer)
      << QStringLiteral("black: ") + hex(buffer);
    return l;
}

QString smlValues() { return heldValues(metersim::telegrams::defaultValues(), kSmlFields); }
QString iecValues() { return heldValues(metersim::telegrams::defaultValues(), kIecFields); }

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
    void sequencerModes_data();
    void sequencerModes();
    void loopback_data();
    void loopback();
    void unplugged_data();
    void unplugged();
};

void TestReadingHead::singleTest_data()
{
    QTest::addColumn<Profile>("profile");
    QTest::addColumn<Options>("options");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("values");

    const QByteArray sml = metersim::telegrams::smlFile();
    const QString smlOk = QStringLiteral("erfolgreich | SML | 9600 8N1");
    QTest::newRow("t1-sml-push") << Profile::SmlPush << pushEvery(1000) << 1
                                 << versionLine() + stepHead(1) + smlAccepted(sml, true) + ending(smlOk) << smlValues();

    Options badCrc = pushEvery(1000);
    badCrc.telegram = sml;
    badCrc.telegram[badCrc.telegram.size() - 1] = char(badCrc.telegram.back() ^ 0x01);
    QTest::newRow("t1-crc-mismatch") << Profile::SmlPush << badCrc << 1
                                     << versionLine() + stepHead(1) + smlAccepted(badCrc.telegram, false) + ending(smlOk)
                                     << QString();
    QTest::newRow("t1-silent") << Profile::Silent << Options() << 1
                               << versionLine() + stepHead(1) + QStringList{kNoData} + ending(kFailed) << QString();
    Options stops = pushEvery(1000);
    QTest::newRow("t1-stops-mid-telegram") << Profile::StopsMidTelegram << stops << 1
                                           << versionLine() + stepHead(1) + QStringList{kNoData} + ending(kFailed)
                                           << QString();

    const QStringList requestSent{QStringLiteral("blue: Sende:") + hex(metersim::telegrams::smlRequest())};
    QTest::newRow("t2-sml-request") << Profile::SmlRequest << Options() << 2
                                    << versionLine() + stepHead(2) + requestSent
                                           + QStringList{QStringLiteral("status: Test 2 von 4 - Lese Bytes: #")}
                                           + smlAccepted(sml, true) + ending(smlOk)
                                    << smlValues();
    QTest::newRow("t2-silent") << Profile::Silent << Options() << 2
                               << versionLine() + stepHead(2) + requestSent + QStringList{kNoData} + ending(kFailed)
                               << QString();

    const QByteArray push = metersim::telegrams::iecPushMessage();
    const QByteArray message = push.left(push.indexOf('!') + 1);
    QTest::newRow("t3-iec-push") << Profile::IecPush << pushEvery(1000) << 3
                                 << versionLine() + stepHead(3)
                                        + QStringList{QStringLiteral("status: Test 3 von 4 - Lese Bytes: #"),
                                                      QStringLiteral("values"),
                                                      QStringLiteral("black: Ergebnis: ") + QString::fromUtf8(message),
                                                      QStringLiteral("black: ") + hex(message),
                                                      QStringLiteral("print: ") + hex(message)}
                                        + ending(QStringLiteral("erfolgreich | OBIS ASCII | 9600 7E1"))
                                 << iecValues();
    // An SML meter pushes 8N1 bytes at a port set to 7E1: no "/" ... "!".
    QTest::newRow("t3-sml-meter") << Profile::SmlPush << pushEvery(1000) << 3
                                  << versionLine() + stepHead(3)
                                         + QStringList{QStringLiteral("status: Test 3 von 4 - Lese Bytes: #"), kNoData}
                                         + ending(kFailed)
                                  << QString();

    const QStringList signOn{QStringLiteral("blue: Sende:2F3F210D0A")};
    QTest::newRow("t4-silent") << Profile::Silent << Options() << 4
                               << versionLine() + stepHead(4) + signOn + QStringList{kNoData} + ending(kFailed) << QString();
    // Identification, acknowledgement and switch, then nothing: only the
    // identification is left to evaluate.
    QTest::newRow("t4-ignores-ack") << Profile::IecModeCIgnoresAck << Options() << 4
                                    << versionLine() + stepHead(4) + signOn
                                           + QStringList{QStringLiteral("blue: Sende:063035300D0A"),
                                                         QStringLiteral("blue: Wechsel auf Baud 9600..."), kNoData}
                                           + ending(kFailed)
                                    << QString();
    // A meter that stays at 300 Bd is heard at 9600 Bd as garbage.
    QTest::newRow("t4-300-only") << Profile::IecModeC300Only << Options() << 4
                                 << versionLine() + stepHead(4) + signOn
                                        + QStringList{QStringLiteral("blue: Sende:063035300D0A"),
                                                      QStringLiteral("blue: Wechsel auf Baud 9600..."),
                                                      QStringLiteral("status: Test 4 von 4 - Lese Bytes: #"), kNoData}
                                        + ending(kFailed)
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
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    rig.startTest(TestMode_t(mode), IR_Head);
    QVERIFY(rig.waitFinished(kRunLimitMs));
    QVERIFY(sameLines(rig.recorder().folded(), expected));
    if (!values.isEmpty()) {
        QCOMPARE(rig.recorder().records.size(), 1);
        QCOMPARE(validValues(rig.recorder().records.at(0)), values);
    }
}

void TestReadingHead::signOnRates_data()
{
    QTest::addColumn<char>("offered");
    QTest::addColumn<QString>("passwort");
    QTest::addColumn<QByteArray>("ackHex");
    QTest::addColumn<int>("switchedTo"); // 0: stays at 300 Bd; -1: the meter refuses

    QTest::newRow("char-0") << '0' << QString() << QByteArray("063030300D0A") << 0;
    QTest::newRow("char-1") << '1' << QString() << QByteArray("063031300D0A") << 600;
    QTest::newRow("char-2") << '2' << QString() << QByteArray("063032300D0A") << 1200;
    QTest::newRow("char-3") << '3' << QString() << QByteArray("063033300D0A") << 2400;
    QTest::newRow("char-4") << '4' << QString() << QByteArray("063034300D0A") << 4800;
    QTest::newRow("char-5") << '5' << QString() << QByteArray("063035300D0A") << 9600;
    QTest::newRow("char-6") << '6' << QString() << QByteArray("063035300D0A") << 9600;
    // A mode B letter is answered at 300 Bd; the mode C meter refuses it.
    QTest::newRow("char-A") << 'A' << QString() << QByteArray("063030300D0A") << -1;
    QTest::newRow("address") << '5' << QStringLiteral("12345678") << QByteArray("063035300D0A") << 9600;
}

void TestReadingHead::signOnRates()
{
    QFETCH(char, offered);
    QFETCH(QString, passwort);
    QFETCH(QByteArray, ackHex);
    QFETCH(int, switchedTo);

    Options o;
    o.baudChar = offered;
    o.address = passwort;
    EngineRig rig(Profile::IecModeC, o);
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    rig.startTest(Test_04, IR_Head, passwort);
    QVERIFY(rig.waitFinished(kRunLimitMs));

    const QByteArray request = "/?" + passwort.toUtf8() + "!\r\n";
    if (switchedTo < 0) {
        QVERIFY(sameLines(rig.recorder().folded(),
                          versionLine() + stepHead(4)
                              + QStringList{QStringLiteral("blue: Sende:") + hex(request),
                                            QStringLiteral("blue: Sende:") + QLatin1String(ackHex), kNoData}
                              + ending(kFailed)));
        return;
    }
    const QByteArray buffer = identificationWith(offered) + metersim::telegrams::iecDataMessage();
    QVERIFY(sameLines(rig.recorder().folded(),
                      versionLine() + stepHead(4) + signOnAccepted(request, ackHex.constData(), switchedTo, buffer)
                          + ending(QStringLiteral("erfolgreich | OBIS ASCII | 300 7E1"))));
    QCOMPARE(validValues(rig.recorder().records.value(0)), iecValues());
    // The count shown after each chunk is the whole buffer, identification included.
    QCOMPARE(rig.recorder().byteCounts().last(), buffer.size());
    QCOMPARE(rig.meter().programFormat().baud, switchedTo ? switchedTo : 300);
}

void TestReadingHead::signOnAgainstNoise()
{
    // Noise never ends a line with CR LF: the identification must still end,
    // and so must the reading after it.
    EngineRig rig(Profile::Noise);
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    rig.startTest(Test_04, IR_Head);
    QVERIFY(rig.waitFinished(kRunLimitMs));
    const QStringList lines = rig.recorder().lines;
    QCOMPARE(lines.mid(0, 4), versionLine() + stepHead(4) + QStringList{QStringLiteral("blue: Sende:2F3F210D0A")});
    QCOMPARE(lines.mid(lines.size() - 3), ending(kFailed));
    QVERIFY(!lines.contains(QStringLiteral("values")));
}

void TestReadingHead::allTestsReachTheLastOne()
{
    // Only test 4 can read a mode C meter: the chain runs all four.
    EngineRig rig(Profile::IecModeC);
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    rig.startTest(Test_All, IR_Head);
    QVERIFY(rig.waitFinished(kRunLimitMs));

    const QByteArray buffer = identificationWith('5') + metersim::telegrams::iecDataMessage();
    const QStringList expected = versionLine() + stepHead(1) + QStringList{kNoData} + stepHead(2)
        + QStringList{QStringLiteral("blue: Sende:") + hex(metersim::telegrams::smlRequest()), kNoData} + stepHead(3)
        + QStringList{kNoData} + stepHead(4) + signOnAccepted("/?!\r\n", "063035300D0A", 9600, buffer)
        + ending(QStringLiteral("erfolgreich | OBIS ASCII | 300 7E1"));
    QVERIFY(sameLines(rig.recorder().folded(), expected));
}

void TestReadingHead::sequencerModes_data()
{
    QTest::addColumn<Profile>("profile");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("accessory");
    QTest::addColumn<QStringList>("expected");

    const QByteArray sml = metersim::telegrams::smlFile();
    QTest::newRow("mode-7-runs-test-1") << Profile::SmlPush << 7 << int(IR_Head)
                                        << versionLine() + stepHead(1) + smlAccepted(sml, true)
                                               + ending(QStringLiteral("erfolgreich | SML | 9600 8N1"));
    QTest::newRow("mode-3-failing-stops") << Profile::Silent << 3 << int(IR_Head)
                                          << versionLine() + stepHead(3) + QStringList{kNoData} + ending(kFailed);
    QTest::newRow("unknown-accessory") << Profile::SmlPush << 0 << 2 << versionLine() + ending(kFailed);
}

void TestReadingHead::sequencerModes()
{
    QFETCH(Profile, profile);
    QFETCH(int, mode);
    QFETCH(int, accessory);
    QFETCH(QStringList, expected);

    EngineRig rig(profile, pushEvery(1000));
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    rig.startTest(TestMode_t(mode), enum_interfaces_t(accessory));
    QVERIFY(rig.waitFinished(kRunLimitMs));
    QVERIFY(sameLines(rig.recorder().folded(), expected));
}

void TestReadingHead::loopback_data()
{
    QTest::addColumn<Profile>("profile");
    QTest::addColumn<QList<int>>("lost");
    QTest::addColumn<QList<int>>("damaged");
    QTest::addColumn<QString>("passes"); // per pass sent: g = good echo, x = none or wrong
    QTest::addColumn<bool>("aborted");

    QTest::newRow("ten-good") << Profile::Loopback << QList<int>() << QList<int>() << "gggggggggg" << false;
    QTest::newRow("nine-good") << Profile::Loopback << QList<int>{4} << QList<int>() << "gggxgggggg" << false;
    QTest::newRow("damaged-2-5-7") << Profile::Loopback << QList<int>{5} << QList<int>{2, 7} << "gxggxgx" << true;
    QTest::newRow("none-good") << Profile::Silent << QList<int>() << QList<int>() << "xxx" << true;
}

void TestReadingHead::loopback()
{
    QFETCH(Profile, profile);
    QFETCH(QList<int>, lost);
    QFETCH(QList<int>, damaged);
    QFETCH(QString, passes);
    QFETCH(bool, aborted);

    Options o;
    o.lostEchoes = QSet<int>(lost.begin(), lost.end());
    o.damagedEchoes = QSet<int>(damaged.begin(), damaged.end());
    EngineRig rig(profile, o);
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    rig.startLoopback();
    QVERIFY(rig.waitFinished(kRunLimitMs));

    QStringList expected = versionLine()
        + QStringList{QStringLiteral("status: Lesekopf wird getestet..."), QStringLiteral("black: Lesekopf wird getestet...")};
    for (int i = 0; i < passes.size(); ++i)
        expected << QStringLiteral("blue: %1 Sende: Test").arg(i + 1, 2, 10, QLatin1Char('0'))
                 << (passes.at(i) == QLatin1Char('g') ? QStringLiteral("green: Gelesen: Test")
                                                      : QStringLiteral("red: Keine oder fehlterhafte Anwort"));
    if (aborted)
        expected << QStringLiteral("red: Abbruch! Zu viele Fehler!");
    expected += ending(passes == QStringLiteral("gggggggggg") ? QStringLiteral("erfolgreich | - | -") : kFailed);
    QVERIFY(sameLines(rig.recorder().folded(), expected));
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

    EngineRig rig(profile);
    QString why;
    QVERIFY2(rig.connectToMeter(&why), qPrintable(why));
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (mode < 0)
        rig.startLoopback();
    else
        rig.startTest(TestMode_t(mode), IR_Head);
    rig.unplugAfter(unplugAfterMs);
    QVERIFY(rig.waitFinished(kRunLimitMs));
    // Ends at the next slice, not after the test's prescribed time.
    QVERIFY2(sinceStart.elapsed() < unplugAfterMs + 5000, qPrintable(QString::number(sinceStart.elapsed())));

    const QStringList failures = rig.recorder().logLinesStartingWith(QStringLiteral("Fehler an der Schnittstelle: "));
    // A pulled pseudo-terminal fails as a pulled USB adapter does.
    const QString failure = QStringLiteral("red: Fehler an der Schnittstelle: ") + QString::fromLocal8Bit(strerror(EIO));
    QCOMPARE(failures, QVector<QString>(failedTests, failure).toList());
    const QStringList lines = rig.recorder().lines;
    QCOMPARE(lines.mid(lines.size() - 3), ending(kFailed));
    QCOMPARE(rig.recorder().finished, 1);
    QVERIFY2(rig.reconnectsAfterwards(&why), qPrintable(why));
}

QTEST_GUILESS_MAIN(TestReadingHead)
#include "tst_readinghead.moc"
