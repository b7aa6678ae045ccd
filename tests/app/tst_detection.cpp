// Reading FTDI's device list from our stand-in D2XX library and from a fake
// sysfs tree, and choosing between the two.
#include <QTest>

#include "d2xxlibrary.h"
#include "fakeadapters.h"
#include "ftdisource.h"

namespace {

QStringList rowsFrom(const FtdiDeviceList &list)
{
    QStringList rows;
    for (const FtdiDeviceEntry &entry : list)
        rows << entry.Description + '|' + entry.SerialNumber;
    return rows;
}

const QString kNoDir = QDir::tempPath() + "/viviv-no-such-dir";

} // namespace

class TestDetection : public QObject
{
    Q_OBJECT

private slots:
    void d2xxDeviceList_data();
    void d2xxDeviceList();
    void sourceChoice_data();
    void sourceChoice();
};

void TestDetection::d2xxDeviceList_data()
{
    QTest::addColumn<QStringList>("reported");
    QTest::addColumn<int>("blankPasses");
    QTest::addColumn<uint>("status");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("passes");

    const QStringList conv{"ZORUVARI_485|A10ZRV01"};
    const QStringList two{"ZORUVARI_485|A10ZRV01", "FT232R USB UART|A5XK3RJT"};
    const QString longest = QString(63, 'D') + '|' + QString(15, 'S');
    QTest::newRow("two adapters") << two << 0 << 0u << true << two << 1;
    QTest::newRow("longest texts") << QStringList{longest} << 0 << 0u << true << QStringList{longest} << 1;
    QTest::newRow("blank twice, then named") << conv << 2 << 0u << true << conv << 3;
    QTest::newRow("still blank after three retries") << conv << 9 << 0u << true << QStringList{"|"} << 4;
    QTest::newRow("abandoned passes keep their entries")
        << QStringList{conv[0], "|"} << 0 << 0u << true << QStringList{conv[0], conv[0], conv[0], conv[0], "|"} << 4;
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

    FakeD2xxControl fake;
    fake.set(reported, blankPasses, status);
    D2xxLibrary library(QStringLiteral(FAKE_D2XX_DIR));
    QCOMPARE(library.open(), FtdiDeviceSource::Kind::D2xxLibrary);
    FtdiDeviceList devices;
    QCOMPARE(readFtdiDeviceList(library, devices) == FtdiListResult::Read, read);
    QCOMPARE(rowsFrom(devices), expected);
    QCOMPARE(fake.listCalls(), passes);
}

void TestDetection::sourceChoice_data()
{
    QTest::addColumn<QString>("libraryDir");
    QTest::addColumn<bool>("withSysfs");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("expected");
    const QStringList fromSysfs{"ZORUVARI_485|SYS00001", "FT232R USB UART|SYS00002"};
    QTest::newRow("library preferred") << FAKE_D2XX_DIR << true << int(FtdiDeviceSource::Kind::D2xxLibrary)
                                       << QStringList{"FT232R USB UART|LIB00001"};
    QTest::newRow("no library: sysfs") << kNoDir << true << int(FtdiDeviceSource::Kind::SystemList) << fromSysfs;
    QTest::newRow("incomplete library: sysfs")
        << FAKE_D2XX_PARTIAL_DIR << true << int(FtdiDeviceSource::Kind::SystemList) << fromSysfs;
    QTest::newRow("incomplete library, no sysfs")
        << FAKE_D2XX_PARTIAL_DIR << false << int(FtdiDeviceSource::Kind::Unavailable) << QStringList();
    QTest::newRow("neither") << kNoDir << false << int(FtdiDeviceSource::Kind::Unavailable) << QStringList();
}

void TestDetection::sourceChoice()
{
    QFETCH(QString, libraryDir);
    QFETCH(bool, withSysfs);
    QFETCH(int, kind);
    QFETCH(QStringList, expected);

    FakeD2xxControl fake;
    fake.set({"FT232R USB UART|LIB00001"});
    // Only FTDI devices count; hubs, other vendors and interface entries do not.
    FakeSysfs sysfs({"1-1|0403|ZORUVARI_485|SYS00001", "1-1:1.0", "1-2|067b|USB-Serial Controller|PL2303",
                     "2-1|0403|FT232R USB UART|SYS00002", "usb1|1d6b|xHCI Host Controller|0000:00:14.0"});

    auto source = makeSystemFtdiSource(libraryDir, withSysfs ? sysfs.root() : kNoDir);
    QCOMPARE(int(source->open()), kind);
    FtdiDeviceList devices;
    readFtdiDeviceList(*source, devices);
    QCOMPARE(rowsFrom(devices), expected);
}

QTEST_GUILESS_MAIN(TestDetection)
#include "tst_detection.moc"
