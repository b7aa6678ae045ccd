// Adapter detection: which ports are listed, how FTDI's device list is read
// (from our stand-in D2XX library and from a fake sysfs tree), and which
// adapter counts as the RS485 converter.
#include <QTest>

#include "adapterfilter.h"
#include "d2xxlibrary.h"
#include "fakesysfs.h"
#include "ftdisource.h"
#include "sysfsftdisource.h"

using Devices = QList<QPair<QByteArray, QByteArray>>;

namespace {

// "DESCRIPTION|SERIAL" rows keep the data tables readable.
Devices devicesFrom(const QStringList &rows)
{
    Devices devices;
    for (const QString &row : rows) {
        const QStringList parts = row.split(QLatin1Char('|'));
        devices.append({parts.value(0).toUtf8(), parts.value(1).toUtf8()});
    }
    return devices;
}

QStringList rowsFrom(const FtdiDeviceList &list)
{
    QStringList rows;
    for (const FtdiDeviceEntry &entry : list)
        rows << entry.Description + QLatin1Char('|') + entry.SerialNumber;
    return rows;
}

} // namespace

class TestDetection : public QObject
{
    Q_OBJECT

private slots:
    void manufacturerFilter_data();
    void manufacturerFilter();
    void converterRule_data();
    void converterRule();
    void d2xxDeviceList_data();
    void d2xxDeviceList();
    void d2xxLibraryMissingOrIncomplete_data();
    void d2xxLibraryMissingOrIncomplete();
    void sysfsDeviceList();
    void systemSourceChoice_data();
    void systemSourceChoice();
};

void TestDetection::manufacturerFilter_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<bool>("listed");
    QTest::newRow("FTDI") << "FTDI" << true;
    QTest::newRow("Microchip with comma") << "Microchip Technology, Inc." << true;
    QTest::newRow("Microchip without comma") << "Microchip Technology Inc." << true;
    QTest::newRow("Silicon Laboratories") << "Silicon Laboratories" << true;
    QTest::newRow("Silicon Labs") << "Silicon Labs" << true;
    QTest::newRow("ftdi lower case") << "ftdi" << false;
    QTest::newRow("Silicon labs case") << "Silicon labs" << false;
    QTest::newRow("trailing blank") << "FTDI " << false;
    QTest::newRow("Prolific") << "Prolific Technology Inc." << false;
    QTest::newRow("built-in port") << "" << false;
}

void TestDetection::manufacturerFilter()
{
    QFETCH(QString, manufacturer);
    QFETCH(bool, listed);
    QCOMPARE(isSupportedAdapterManufacturer(manufacturer), listed);
}

void TestDetection::converterRule_data()
{
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<QString>("portSerial");
    QTest::addColumn<bool>("converter");
    QTest::newRow("empty list") << QStringList() << "A10ZRV01" << false;
    QTest::newRow("exact serial") << QStringList{"ZORUVARI_485|A10ZRV01"} << "A10ZRV01" << true;
    QTest::newRow("channel letter appended") << QStringList{"ZORUVARI_485|A10ZRV01"} << "A10ZRV01A" << true;
    QTest::newRow("serial not contained") << QStringList{"ZORUVARI_485|A10ZRV01"} << "B77XQ2" << false;
    QTest::newRow("serial case differs") << QStringList{"ZORUVARI_485|A10ZRV01"} << "a10zrv01" << false;
    QTest::newRow("description case differs") << QStringList{"Zoruvari_485|A10ZRV01"} << "A10ZRV01" << false;
    QTest::newRow("plain FTDI adapter") << QStringList{"FT232R USB UART|A10ZRV01"} << "A10ZRV01" << false;
    QTest::newRow("second of two")
        << QStringList{"FT232R USB UART|A5XK3RJT", "ZORUVARI_485|A10ZRV01"} << "A10ZRV01" << true;
    QTest::newRow("other port of two")
        << QStringList{"FT232R USB UART|A5XK3RJT", "ZORUVARI_485|A10ZRV01"} << "A5XK3RJT" << false;
}

void TestDetection::converterRule()
{
    QFETCH(QStringList, devices);
    QFETCH(QString, portSerial);
    QFETCH(bool, converter);
    FtdiDeviceList list;
    for (const auto &device : devicesFrom(devices))
        list.append({QString::fromUtf8(device.first), QString::fromUtf8(device.second)});
    QCOMPARE(isZoruvariConverter(list, portSerial), converter);
}

void TestDetection::d2xxDeviceList_data()
{
    QTest::addColumn<QStringList>("reported");
    QTest::addColumn<int>("blankPasses");
    QTest::addColumn<uint>("status");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("passes");

    const QStringList two{"ZORUVARI_485|A10ZRV01", "FT232R USB UART|A5XK3RJT"};
    QTest::newRow("converter") << QStringList{"ZORUVARI_485|A10ZRV01"} << 0 << 0u << true
                               << QStringList{"ZORUVARI_485|A10ZRV01"} << 1;
    QTest::newRow("two adapters") << two << 0 << 0u << true << two << 1;
    QTest::newRow("blank twice, then named") << QStringList{"ZORUVARI_485|A10ZRV01"} << 2 << 0u << true
                                             << QStringList{"ZORUVARI_485|A10ZRV01"} << 3;
    QTest::newRow("blank for good: accepted on the fourth pass")
        << QStringList{"|"} << 0 << 0u << true << QStringList{"|"} << 4;
    QTest::newRow("still blank after three retries")
        << QStringList{"ZORUVARI_485|A10ZRV01"} << 9 << 0u << true << QStringList{"|"} << 4;
    QTest::newRow("abandoned pass keeps its entries")
        << QStringList{"ZORUVARI_485|A10ZRV01", "|"} << 0 << 0u << true
        << QStringList{"ZORUVARI_485|A10ZRV01", "ZORUVARI_485|A10ZRV01", "ZORUVARI_485|A10ZRV01",
                       "ZORUVARI_485|A10ZRV01", "|"}
        << 4;
    QTest::newRow("longest texts") << QStringList{QString(63, QLatin1Char('D')) + "|" + QString(15, QLatin1Char('S'))}
                                   << 0 << 0u << true
                                   << QStringList{QString(63, QLatin1Char('D')) + "|" + QString(15, QLatin1Char('S'))}
                                   << 1;
    QTest::newRow("no device") << QStringList() << 0 << 0u << false << QStringList() << 0;
    QTest::newRow("list call fails") << two << 0 << 4u << false << QStringList() << 1;
}

void TestDetection::d2xxDeviceList()
{
    QFETCH(QStringList, reported);
    QFETCH(int, blankPasses);
    QFETCH(uint, status);
    QFETCH(bool, read);
    QFETCH(QStringList, expected);
    QFETCH(int, passes);

    FakeD2xxControl fake(QStringLiteral(FAKE_D2XX_DIR));
    QVERIFY(fake.loaded());
    fake.set(devicesFrom(reported), blankPasses, status);

    D2xxLibrary library(QStringLiteral(FAKE_D2XX_DIR));
    QCOMPARE(library.open(), FtdiDeviceSource::Kind::D2xxLibrary);
    FtdiDeviceList devices;
    QCOMPARE(readFtdiDeviceList(library, devices) == FtdiListResult::Read, read);
    QCOMPARE(rowsFrom(devices), expected);
    QCOMPARE(fake.listCalls(), passes);
}

void TestDetection::d2xxLibraryMissingOrIncomplete_data()
{
    QTest::addColumn<QString>("directory");
    QTest::newRow("no library") << QDir::tempPath() + "/viviv-no-such-dir";
    QTest::newRow("FT_GetDeviceInfoList missing") << QStringLiteral(FAKE_D2XX_PARTIAL_DIR);
}

void TestDetection::d2xxLibraryMissingOrIncomplete()
{
    QFETCH(QString, directory);
    D2xxLibrary library(directory);
    QCOMPARE(library.open(), FtdiDeviceSource::Kind::Unavailable);
    FtdiDeviceList devices;
    QCOMPARE(readFtdiDeviceList(library, devices), FtdiListResult::NoDevice);
    QVERIFY(devices.isEmpty());
}

void TestDetection::sysfsDeviceList()
{
    FakeSysfs sysfs;
    sysfs.addDevice("1-1", "0403", "ZORUVARI_485", "A10ZRV01");
    sysfs.addInterface("1-1:1.0");
    sysfs.addDevice("1-2", "067b", "USB-Serial Controller", "PL2303");
    sysfs.addDevice("2-1", "0403", "FT232R USB UART", "A5XK3RJT");
    sysfs.addDevice("usb1", "1d6b", "xHCI Host Controller", "0000:00:14.0");

    SysfsFtdiSource source(sysfs.root());
    QCOMPARE(source.open(), FtdiDeviceSource::Kind::SystemList);
    FtdiDeviceList devices;
    QCOMPARE(readFtdiDeviceList(source, devices), FtdiListResult::Read);
    QCOMPARE(rowsFrom(devices), (QStringList{"ZORUVARI_485|A10ZRV01", "FT232R USB UART|A5XK3RJT"}));
    QVERIFY(isZoruvariConverter(devices, "A10ZRV01"));
    QVERIFY(!isZoruvariConverter(devices, "A5XK3RJT"));
}

void TestDetection::systemSourceChoice_data()
{
    QTest::addColumn<QString>("libraryDir");
    QTest::addColumn<bool>("withSysfs");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("expected");
    const QString none = QDir::tempPath() + "/viviv-no-such-dir";
    QTest::newRow("library preferred") << QStringLiteral(FAKE_D2XX_DIR) << true
                                       << int(FtdiDeviceSource::Kind::D2xxLibrary)
                                       << QStringList{"FT232R USB UART|LIB00001"};
    QTest::newRow("sysfs without library") << none << true << int(FtdiDeviceSource::Kind::SystemList)
                                           << QStringList{"ZORUVARI_485|SYS00001"};
    QTest::newRow("incomplete library, sysfs serves") << QStringLiteral(FAKE_D2XX_PARTIAL_DIR) << true
                                                      << int(FtdiDeviceSource::Kind::SystemList)
                                                      << QStringList{"ZORUVARI_485|SYS00001"};
    QTest::newRow("neither") << none << false << int(FtdiDeviceSource::Kind::Unavailable) << QStringList();
}

void TestDetection::systemSourceChoice()
{
    QFETCH(QString, libraryDir);
    QFETCH(bool, withSysfs);
    QFETCH(int, kind);
    QFETCH(QStringList, expected);

    FakeD2xxControl fake(QStringLiteral(FAKE_D2XX_DIR));
    fake.set(devicesFrom({"FT232R USB UART|LIB00001"}));
    FakeSysfs sysfs;
    sysfs.addDevice("1-1", "0403", "ZORUVARI_485", "SYS00001");

    auto source = makeSystemFtdiSource(libraryDir, withSysfs ? sysfs.root() : sysfs.root() + "/missing");
    QCOMPARE(int(source->open()), kind);
    FtdiDeviceList devices;
    readFtdiDeviceList(*source, devices);
    QCOMPARE(rowsFrom(devices), expected);
}

QTEST_GUILESS_MAIN(TestDetection)
#include "tst_detection.moc"
