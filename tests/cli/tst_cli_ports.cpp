// The port list of the front end: the window's manufacturer filter and
// converter rule from the shared detection library, and which accessory a
// port named on the command line gets.

#include "ftdisource.h"
#include "portenumerator.h"
#include "portlisting.h"

#include <QtTest>

namespace {

// A device list that is there or not, counting how often it is asked for.
class CountingSource : public FtdiDeviceSource
{
public:
    CountingSource(bool available, FtdiDeviceList devices) : available(available), devices(std::move(devices)) {}
    Kind open() override
    {
        ++opens;
        return available ? Kind::SystemList : Kind::Unavailable;
    }
    bool readRecords(FtdiDeviceList &records) override
    {
        records = devices;
        return true;
    }
    int opens = 0;

private:
    bool available;
    FtdiDeviceList devices;
};

const QList<SerialPortEntry> kPorts = {
    {"ttyS0", "", ""},
    {"ttyUSB0", "FTDI", "A1B2C3"},
    {"ttyUSB1", "FTDI", "Z9Y8X7"},
    {"ttyUSB2", "ftdi", "Q1"},
    {"ttyACM0", "Silicon Labs", "0001"},
};
const FtdiDeviceList kDevices = {{"ZORUVARI_485", "A1B2C3"}, {"FT232R USB UART", "Z9Y8X7"}};

} // namespace

Q_DECLARE_METATYPE(QList<SerialPortEntry>)

class TestCliPorts : public QObject
{
    Q_OBJECT

private slots:
    void listsAsTheWindow_data();
    void listsAsTheWindow();
};

void TestCliPorts::listsAsTheWindow_data()
{
    QTest::addColumn<QList<SerialPortEntry>>("ports");
    QTest::addColumn<bool>("sourceAvailable");
    QTest::addColumn<QStringList>("listed"); // port:accessory
    QTest::addColumn<bool>("missingReported");
    QTest::addColumn<int>("opens");
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("namedAccessory");

    const QStringList all = {"ttyUSB0:rs485", "ttyUSB1:lesekopf", "ttyACM0:lesekopf"};
    QTest::newRow("konverter-erkannt") << kPorts << true << all << false << 1 << "/dev/ttyUSB0" << "rs485";
    QTest::newRow("kurzer-name") << kPorts << true << all << false << 1 << "ttyUSB0" << "rs485";
    QTest::newRow("anderer-port") << kPorts << true << all << false << 1 << "/dev/pts/4" << "lesekopf";
    // Without a device list every port is a reading head; one line, not one per port.
    QTest::newRow("ohne-geraeteliste")
        << kPorts << false << QStringList{"ttyUSB0:lesekopf", "ttyUSB1:lesekopf", "ttyACM0:lesekopf"} << true << 1
        << "/dev/ttyUSB0" << "lesekopf";
    QTest::newRow("ohne-ftdi-port") << QList<SerialPortEntry>{kPorts.first(), kPorts.last()} << false
                                    << QStringList{"ttyACM0:lesekopf"} << false << 0 << "ttyACM0" << "lesekopf";
}

void TestCliPorts::listsAsTheWindow()
{
    QFETCH(QList<SerialPortEntry>, ports);
    QFETCH(bool, sourceAvailable);
    QFETCH(QStringList, listed);
    QFETCH(bool, missingReported);
    QFETCH(int, opens);
    QFETCH(QString, named);
    QFETCH(QString, namedAccessory);

    CountingSource source(sourceAvailable, kDevices);
    const PortScan scan = scanPorts(FixedPortEnumerator(ports), source);

    QStringList got;
    for (const ListedPort &p : scan.ports)
        got << p.portName + QLatin1Char(':') + accessoryKey(p.kind);
    QCOMPARE(got, listed);
    QCOMPARE(scan.deviceSourceMissing, missingReported);
    QCOMPARE(source.opens, opens);
    QCOMPARE(accessoryKey(accessoryAt(scan, named)), namedAccessory);
}

QTEST_GUILESS_MAIN(TestCliPorts)
#include "tst_cli_ports.moc"
