#include "detection/ftdisource.h"

#include <QDebug>
#include <QThread>

#include "detection/d2xxlibrary.h"
#include "detection/sysfsftdisource.h"

namespace {

constexpr int kExtraPassesForEmptyEntries = 3;
constexpr unsigned long kPassDelayMs = 100;

// D2XX first; on Linux the system tree takes over where the library is missing.
class SystemFtdiSource : public FtdiDeviceSource
{
public:
    SystemFtdiSource(const QString &libraryDir, const QString &sysfsRoot)
        : d2xx(libraryDir), sysfs(sysfsRoot)
    {
    }

    Kind open() override
    {
        if (d2xx.open() == Kind::D2xxLibrary) {
            active = &d2xx;
            return Kind::D2xxLibrary;
        }
#if defined(Q_OS_LINUX)
        if (sysfs.open() == Kind::SystemList) {
            active = &sysfs;
            return Kind::SystemList;
        }
#endif
        active = nullptr;
        return Kind::Unavailable;
    }

    bool readRecords(FtdiDeviceList &records) override
    {
        return active && active->readRecords(records);
    }

private:
    D2xxLibrary d2xx;
    SysfsFtdiSource sysfs;
    FtdiDeviceSource *active = nullptr;
};

} // namespace

FtdiDeviceSource::~FtdiDeviceSource() = default;

FtdiListResult readFtdiDeviceList(FtdiDeviceSource &source, FtdiDeviceList &devices)
{
    int attempt = 0;
    for (;;) {
        QThread::msleep(kPassDelayMs);
        FtdiDeviceList records;
        if (!source.readRecords(records) || records.isEmpty()) {
            qDebug() << "No FTDI Device";
            return FtdiListResult::NoDevice;
        }
        bool retry = false;
        for (const FtdiDeviceEntry &record : records) {
            qDebug() << record.SerialNumber;
            qDebug() << record.Description;
            if (record.SerialNumber.isEmpty() && record.Description.isEmpty() && attempt != kExtraPassesForEmptyEntries) {
                ++attempt;
                retry = true;
                break;
            }
            devices.append(record);
        }
        if (!retry)
            return FtdiListResult::Read;
    }
}

FixedFtdiSource::FixedFtdiSource(FtdiDeviceList devices)
    : devices(std::move(devices))
{
}

FtdiDeviceSource::Kind FixedFtdiSource::open()
{
    return Kind::SystemList;
}

bool FixedFtdiSource::readRecords(FtdiDeviceList &records)
{
    records = devices;
    return true;
}

std::unique_ptr<FtdiDeviceSource> makeSystemFtdiSource(const QString &libraryDir, const QString &sysfsRoot)
{
    return std::make_unique<SystemFtdiSource>(libraryDir, sysfsRoot);
}
