#include "tools/demo/demosetup.h"

#include <QFile>

namespace {

// The converter is recognised as a real one is: FTDI's list carries its
// description, and the port's serial number contains the chip's.
constexpr const char *kHeadSerial = "DEMOHEAD";
constexpr const char *kConverterSerial = "DEMO4850";
constexpr const char *kConverterDescription = "ZORUVARI_485";
constexpr const char *kHeadDescription = "FT232R USB UART";

// An empty meter-number field sends "0", which addresses slave 1.
constexpr quint8 kDemoSlaveAddress = 1;

} // namespace

DemoSetup::DemoSetup(const Choice &choice)
    : edition(choice.edition)
{
    metersim::Options headOptions;
    headOptions.intervalMs = 1000;
    headOptions.realMeter = choice.headRealMeter;
    head = std::make_unique<metersim::MeterSimulator>(choice.headProfile, headOptions);

    metersim::Options rs485Options;
    rs485Options.slaveAddress = kDemoSlaveAddress;
    rs485 = std::make_unique<metersim::MeterSimulator>(choice.rs485Profile, rs485Options);
}

bool DemoSetup::start(QString *error)
{
    if (!editionDir.isValid()) {
        *error = QStringLiteral("kein temporäres Verzeichnis für die Ausgabe-Datei");
        return false;
    }
    if (edition >= 0) {
        QFile file(editionDir.path() + QStringLiteral("/oem.dat"));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(edition)) < 1) {
            *error = QStringLiteral("die Ausgabe-Datei lässt sich nicht schreiben");
            return false;
        }
    }
    return head->start(error) && rs485->start(error);
}

WindowEnvironment DemoSetup::environment() const
{
    const QList<SerialPortEntry> ports{
        {head->slavePath(), QStringLiteral("FTDI"), QLatin1String(kHeadSerial) + QLatin1Char('A')},
        {rs485->slavePath(), QStringLiteral("FTDI"), QLatin1String(kConverterSerial) + QLatin1Char('A')},
    };
    const FtdiDeviceList devices{
        {QLatin1String(kHeadDescription), QLatin1String(kHeadSerial)},
        {QLatin1String(kConverterDescription), QLatin1String(kConverterSerial)},
    };
    return {std::make_shared<FixedPortEnumerator>(ports), std::make_shared<FixedFtdiSource>(devices),
            editionDir.path()};
}
