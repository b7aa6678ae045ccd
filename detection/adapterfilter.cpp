#include "detection/adapterfilter.h"

#include <QLatin1String>

namespace {

constexpr const char *kSupportedManufacturers[] = {
    "FTDI",
    "Microchip Technology, Inc.",
    "Microchip Technology Inc.",
    "Silicon Laboratories",
    "Silicon Labs",
};

constexpr const char *kFtdiManufacturer = kSupportedManufacturers[0];
constexpr const char *kConverterDescription = "ZORUVARI_485";

} // namespace

bool isSupportedAdapterManufacturer(const QString &manufacturer)
{
    for (const char *name : kSupportedManufacturers) {
        if (manufacturer == QLatin1String(name))
            return true;
    }
    return false;
}

bool isFtdiManufacturer(const QString &manufacturer)
{
    return manufacturer == QLatin1String(kFtdiManufacturer);
}

bool isZoruvariConverter(const FtdiDeviceList &devices, const QString &portSerialNumber)
{
    for (const FtdiDeviceEntry &device : devices) {
        if (portSerialNumber.contains(device.SerialNumber) && device.Description == QLatin1String(kConverterDescription))
            return true;
    }
    return false;
}
