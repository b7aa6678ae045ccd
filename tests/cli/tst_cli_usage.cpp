// The front end without a meter: what it does with bad options, help and
// version, and a port that cannot be opened.

#include "cliprocess.h"

#include <QSerialPort>
#include <QtTest>

using clitest::runCli;

class TestCliUsage : public QObject
{
    Q_OBJECT

private slots:
    void rejectsBadUsage_data();
    void rejectsBadUsage();
    void answersHelpAndVersion_data();
    void answersHelpAndVersion();
    void missingPortFailsWithItsError();
};

namespace {

const QString kProgram = QStringLiteral(VIVIV_CLI_PROGRAM);
// Never opened: a wrong check would show up as a connect error instead.
const QString kNoPort = QStringLiteral("/dev/viviv-cli-kein-port");

} // namespace

void TestCliUsage::rejectsBadUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const QString p = kNoPort;
    QTest::newRow("unbekannte-option") << QStringList{"--foo"} << "Unbekannte Option 'foo'.";
    QTest::newRow("fehlender-wert") << QStringList{"-p", p, "-t"} << "Fehlender Wert nach '-t'.";
    QTest::newRow("ohne-port") << QStringList{"-t", "2"} << "Kein Port angegeben.";
    QTest::newRow("positionsargument") << QStringList{"ttyUSB0"} << "Unerwartetes Argument 'ttyUSB0'.";
    QTest::newRow("test-0") << QStringList{"-p", p, "-t", "0"} << "Ungültige Testnummer '0'. Erlaubt sind 1 bis 4.";
    QTest::newRow("test-5") << QStringList{"-p", p, "--test", "5"} << "Ungültige Testnummer '5'. Erlaubt sind 1 bis 4.";
    QTest::newRow("test-text") << QStringList{"-p", p, "-t", "zwei"} << "Ungültige Testnummer 'zwei'.";
    QTest::newRow("unbekanntes-zubehoer") << QStringList{"-p", p, "-z", "usb"} << "Unbekanntes Zubehör 'usb'.";
    QTest::newRow("test-mit-rs485") << QStringList{"-p", p, "-z", "rs485", "-t", "2"}
                                    << "Die Option --test passt nicht zum RS485-Konverter";
    QTest::newRow("adresse-mit-rs485") << QStringList{"-p", p, "-z", "rs485", "-a", "1"}
                                       << "Die Option --adresse passt nicht zum RS485-Konverter";
    QTest::newRow("lesekopftest-mit-rs485") << QStringList{"-p", p, "-z", "rs485", "--lesekopftest"}
                                            << "Die Option --lesekopftest passt nicht zum RS485-Konverter";
    // A port that is no converter counts as a reading head, as in the window.
    QTest::newRow("zaehlernummer-mit-lesekopf") << QStringList{"-p", p, "-n", "12345678"}
                                                << "Die Option --zaehlernummer passt nicht zum Lesekopf";
    QTest::newRow("liste-mit-port") << QStringList{"--liste", "-p", p}
                                    << "Die Optionen --liste und --port passen nicht zusammen.";
    QTest::newRow("lesekopftest-mit-test") << QStringList{"-p", p, "--lesekopftest", "-t", "1"}
                                           << "Die Optionen --lesekopftest und --test passen nicht zusammen.";
}

void TestCliUsage::rejectsBadUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    const clitest::CliResult r = runCli(kProgram, arguments);
    QVERIFY(r.exitedNormally);
    QCOMPARE(r.exitCode, 2);
    const QString err = QString::fromUtf8(r.err);
    QVERIFY2(err.contains(QStringLiteral("viviv-cli: ") + message), qPrintable(err));
    QVERIFY2(!err.contains(QStringLiteral("Fehler beim Verbinden")), qPrintable(err));
    QVERIFY(r.out.isEmpty());
}

void TestCliUsage::answersHelpAndVersion_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("expectedLines");

    QTest::newRow("hilfe") << "--help"
                           << QStringList{"Aufruf: ", "Optionen:", "-p, --port <port>",
                                          "-n, --zaehlernummer <nummer>", "-j, --json", "130 abgebrochen"};
    QTest::newRow("version") << "--version" << QStringList{"viviv-cli 1.19\n"};
}

void TestCliUsage::answersHelpAndVersion()
{
    QFETCH(QString, option);
    QFETCH(QStringList, expectedLines);

    const clitest::CliResult r = runCli(kProgram, {option});
    QVERIFY(r.exitedNormally);
    QCOMPARE(r.exitCode, 0);
    const QString out = QString::fromUtf8(r.out);
    for (const QString &text : expectedLines)
        QVERIFY2(out.contains(text), qPrintable(text + QStringLiteral(" missing in:\n") + out));
    QVERIFY2(!out.contains(QStringLiteral("Usage:")) && !out.contains(QStringLiteral("Displays")), qPrintable(out));
    QVERIFY(r.err.isEmpty());
}

void TestCliUsage::missingPortFailsWithItsError()
{
    // The port's own error text, as the worker passes it on.
    QSerialPort port(kNoPort);
    QVERIFY(!port.open(QIODevice::ReadWrite));
    const QString portError = port.errorString();
    QVERIFY(!portError.isEmpty());

    const clitest::CliResult r = runCli(kProgram, {"--port", kNoPort, "--zubehoer", "lesekopf"});
    QVERIFY(r.exitedNormally);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(QString::fromUtf8(r.err), QStringLiteral("Fehler beim Verbinden: ") + portError + QLatin1Char('\n'));
    QVERIFY(r.out.isEmpty());
}

QTEST_GUILESS_MAIN(TestCliUsage)
#include "tst_cli_usage.moc"
