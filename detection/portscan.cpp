#include "detection/portscan.h"

#include <QLatin1String>

namespace {

// Only USB serial adapters with these chips can be one of our accessories.
constexpr const char *kSupportedManufacturers[] = {
    "FTDI",
    "Microchip Technology, Inc.",
    "Microchip Technology Inc.",
    "Silicon Laboratories",
    "Silicon Labs",
};

constexpr const char *kFtdiManufacturer = kSupportedManufacturers[0];
constexpr const char *kConverterDescription = "ZORUVARI_485";

bool isSupportedAdapterManufacturer(const QString &manufacturer)
{
    for (const char *name : kSupportedManufacturers) {
        if (manufacturer == QLatin1String(name))
            return true;
    }
    return false;
}

} // namespace

void scanAdapterPorts(const PortEnumerator &ports, const FtdiDeviceList &devices,
                      const std::function<void()> &ftdiPortWithoutList,
                      const std::function<void(const SerialPortEntry &)> &listed)
{
    for (const SerialPortEntry &port : ports.availablePorts()) {
        if (!isSupportedAdapterManufacturer(port.manufacturer))
            continue;
        if (port.manufacturer == QLatin1String(kFtdiManufacturer) && devices.isEmpty())
            ftdiPortWithoutList();
        listed(port);
    }
}

bool loadFtdiDeviceList(FtdiDeviceSource &source, FtdiDeviceList &devices,
                        const std::function<void(FtdiDeviceSource::Kind)> &opened)
{
    devices.clear();
    const FtdiDeviceSource::Kind kind = source.open();
    opened(kind);
    if (kind == FtdiDeviceSource::Kind::Unavailable)
        return false;
    return readFtdiDeviceList(source, devices) == FtdiListResult::Read;
}

bool isZoruvariConverter(const FtdiDeviceList &devices, const QString &portSerialNumber)
{
    for (const FtdiDeviceEntry &device : devices) {
        if (portSerialNumber.contains(device.SerialNumber) && device.Description == QLatin1String(kConverterDescription))
            return true;
    }
    return false;
}

std::optional<enum_interfaces_t> recognisedAccessory(const FtdiDeviceList &devices, const QString &portSerialNumber)
{
    if (devices.isEmpty())
        return std::nullopt;
    return isZoruvariConverter(devices, portSerialNumber) ? MODBUS485_Converter : IR_Head;
}
