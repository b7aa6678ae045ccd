// The front end as a child process: bad usage, help, a port that does not
// exist, runs against the meter simulator on a pseudo-terminal (JSON values
// against what the simulator serves, colour only on a terminal, Ctrl+C), and
// its port list. The rows are in testdata/cli/rows.json.

#include "cli/portlisting.h"
#include "detection/ftdisource.h"
#include "detection/portenumerator.h"
#include "tests/cli/clirun.h"

namespace {

// A device list that is there or not, counting how often it is asked for.
struct CountingSource : FtdiDeviceSource
{
    explicit CountingSource(bool available) : available(available) {}
    Kind open() override { return ++opens, available ? Kind::SystemList : Kind::Unavailable; }
    bool readRecords(FtdiDeviceList &records) override
    {
        records = {{"ZORUVARI_485", "A1B2C3"}, {"FT232R USB UART", "Z9Y8X7"}};
        return true;
    }
    const bool available;
    int opens = 0;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void run_data() { addJsonRows(QStringLiteral("cli/rows.json"), __func__); }
    void run()
    {
        QFETCH(const QJsonObject, row);
        runCliRow(row);
    }
    void listsPorts_data() { addJsonRows(QStringLiteral("cli/rows.json"), __func__); }
    void listsPorts();
    // --schnell against meters at their slowest: the verdict, values and
    // findings the normal chain gives.
    void fast_data() { addJsonRows(QStringLiteral("cli/fast.json"), __func__); }
    void fast()
    {
        QFETCH(const QJsonObject, row);
        runCliRow(row);
    }
};

void TestCli::listsPorts()
{
    QFETCH(const QJsonObject, row);
    QList<SerialPortEntry> ports;
    for (const QJsonValue &p : row["ports"].toArray())
        ports.append({p[0].toString(), p[1].toString(), p[2].toString()});
    CountingSource source(row["deviceList"].toBool());
    const PortScan scan = scanPorts(FixedPortEnumerator(ports), source, row["all"].toBool());
    QStringList listed;
    for (const ListedPort &p : scan.ports)
        listed << p.portName + QLatin1Char(':') + accessoryKey(p.kind);
    QCOMPARE(listed, strings(row["listed"]));
    QCOMPARE(scan.deviceSourceMissing, row["missingReported"].toBool());
    QCOMPARE(source.opens, row["opens"].toInt());
    QCOMPARE(accessoryKey(accessoryAt(scan, row["named"].toString())), row["namedAccessory"].toString());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
