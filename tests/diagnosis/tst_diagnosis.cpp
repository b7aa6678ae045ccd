// What a person is told about a wire situation, through each front end: the
// window (offscreen, real widgets and worker) and viviv-cli (a child
// process), against the meter simulator or a small meter of the test's own on
// a pseudo-terminal. Each row of testdata/diagnosis/rows.json gives the
// situation, the verdict, some values and the findings expected.

#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include "app/mainwindow.h"
#include "detection/ftdisource.h"
#include "detection/portenumerator.h"
#include "diagnosis/diagnosis.h"
#include "tests/common/jsonrows.h"
#include "tests/common/modalanswer.h"
#include "tests/common/ptypair.h"
#include "tests/common/rowsimulator.h"

namespace {

// A meter of the test's own on the master side of a pty: it writes `bytes`
// every half second whatever the program does, or, as a slave that answers
// every Modbus request (eight bytes), once per request.
class OwnMeter : public QObject
{
public:
    OwnMeter(int master, QByteArray bytes, bool answersRequests)
        : fd(master), bytes(std::move(bytes)), answersRequests(answersRequests)
    {
        timer.callOnTimeout([this] { tick(); });
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        timer.start(answersRequests ? 20 : 500);
    }

private:
    void tick()
    {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            heard.append(buffer, int(n));
        if (answersRequests && heard.size() < kModbusRequestBytes)
            return;
        heard.clear();
        if (::write(fd, bytes.constData(), size_t(bytes.size())) < 0) {
            // the program has not opened the port yet
        }
    }

    static constexpr int kModbusRequestBytes = 8;
    int fd;
    QByteArray bytes;
    bool answersRequests;
    QByteArray heard;
    QTimer timer;
};

// 7E1 characters as an 8N1 receiver sees them: the even parity bit becomes bit 7.
QByteArray as7E1ReadAt8N1(const QByteArray &text)
{
    QByteArray out;
    for (const char c : text) {
        const uchar b = uchar(c) & 0x7F;
        out += char(b | ((qPopulationCount(quint32(b)) & 1) ? 0x80 : 0));
    }
    return out;
}

QByteArray ownMeterBytes(const QString &kind)
{
    if (kind == QLatin1String("iec-7e1-at-8n1"))
        return as7E1ReadAt8N1("/EMH5eHZ\r\n\x02" "1-0:1.8.0*255(012345.678*kWh)\r\n!\r\n\x03" "A");
    if (kind == QLatin1String("modbus-slave-5")) // another slave's answer, over and over
        return QByteArray::fromHex("050304000030396BE1");
    return {};
}

} // namespace

class TestDiagnosis : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMeterMetaTypes(); }
    void situation_data() { addJsonRows(QStringLiteral("diagnosis/rows.json"), __func__); }
    void situation();
};

void TestDiagnosis::situation()
{
    QFETCH(QJsonObject, row);

    // The meter: the simulator of the row, or one of the test's own.
    std::unique_ptr<metersim::MeterSimulator> sim;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<OwnMeter> own;
    QString port;
    if (row.contains("own")) {
        pty = std::make_unique<PtyPair>();
        own = std::make_unique<OwnMeter>(pty->masterFd(), ownMeterBytes(row["own"].toString()),
                                         row["own"].toString().startsWith(QLatin1String("modbus")));
        port = pty->slavePath();
    } else {
        QString error;
        sim = rowSimulator(row, metersim::Options(), &error);
        QVERIFY2(sim, qPrintable(error));
        QVERIFY(sim->start());
        port = sim->slavePath();
    }
    const bool rs485 = row["rs485"].toBool();
    const QStringList expected = strings(row["findings"]);

    if (row["frontEnd"].toString() == QLatin1String("cli")) {
        QStringList args{"--port", port, "--json", "--zubehoer", rs485 ? "rs485" : "lesekopf"};
        if (row.contains("mode"))
            args << "--test" << QString::number(row["mode"].toInt());
        args << strings(row["args"]);
        QProcess cli;
        cli.start(VIVIV_CLI_TESTBED_PROGRAM, args);
        QVERIFY(cli.waitForFinished(int(row["timeout"].toInt(120)) * 1000));
        const QJsonObject out = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
        QVERIFY2(!out.isEmpty(), qPrintable(cli.readAllStandardError()));
        QCOMPARE(out["result"].toString(), row["verdict"].toString());
        QStringList keys;
        for (const QJsonValue &f : out["findings"].toArray())
            keys << f["key"].toString();
        keys.removeDuplicates();
        QCOMPARE(keys, expected);
        for (const QString &v : strings(row["values"]))
            QVERIFY2(QJsonDocument(out["values"].toObject()).toJson().contains(v.section('=', 1).toUtf8()),
                     qPrintable(v));
        return;
    }

    // The window, connected to the port through its own controls.
    const QString serial = QStringLiteral("DIAG0001");
    const FtdiDeviceList adapters{{rs485 ? QStringLiteral("ZORUVARI_485") : QStringLiteral("FT232R USB UART"), serial}};
    QTemporaryDir editionDir;
    ModalAnswer answer;
    MainWindow window({std::make_shared<FixedPortEnumerator>(QList<SerialPortEntry>{{port, "FTDI", serial}}),
                       std::make_shared<FixedFtdiSource>(adapters), editionDir.path()});
    window.findChild<QPushButton *>("C_Verbinden")->click();
    QTRY_VERIFY(window.findChild<QPushButton *>("C_Start")->isEnabled());
    if (row.contains("mode"))
        window.findChild<QComboBox *>("comboBoxTestauswahl")->setCurrentIndex(row["mode"].toInt());
    if (row.contains("address"))
        window.findChild<QLineEdit *>(rs485 ? "T_MeterNumber" : "T_Passwort")->setText(row["address"].toString());
    window.findChild<QPushButton *>("C_Start")->click();
    auto *result = window.findChild<QLabel *>("L_Ergebnis_Value");
    QTRY_VERIFY_WITH_TIMEOUT(!result->text().isEmpty(), int(row["timeout"].toInt(120)) * 1000);
    QTRY_VERIFY(window.findChild<QPushButton *>("C_Verbinden")->isEnabled());
    QCOMPARE(result->text(), row["verdict"].toString());

    // Each expected finding's cause stands in the log as a hint; none other does.
    const QString log = window.findChild<QTextEdit *>("T_Status")->toPlainText();
    for (const QString &key : expected)
        QVERIFY2(log.contains(QStringLiteral("Hinweis: ") + findingCause(key)), qPrintable(key + "\n" + log));
    QCOMPARE(log.count(QStringLiteral("Hinweis: ")) > 0, !expected.isEmpty());
    for (const QString &v : strings(row["values"]))
        QVERIFY2(window.findChild<QLabel *>("L_" + v.section('=', 0, 0) + "_Value")->text() == v.section('=', 1),
                 qPrintable(v));
    if (row["portLost"].toBool()) {
        QCOMPARE(window.findChild<QPushButton *>("C_Verbinden")->text(), QStringLiteral("Verbinden"));
        QVERIFY(!window.findChild<QPushButton *>("C_Start")->isEnabled());
    }
}

QTEST_MAIN(TestDiagnosis)
#include "tst_diagnosis.moc"
