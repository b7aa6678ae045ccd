#pragma once

#include "detection/ftdisource.h"

// Linux without FTDI's library: the kernel's USB device tree carries the same
// two strings (product = description, serial = serial number) of each FTDI chip.
class SysfsFtdiSource : public FtdiDeviceSource
{
public:
    explicit SysfsFtdiSource(const QString &root); // normally /sys/bus/usb/devices

    Kind open() override;
    bool readRecords(FtdiDeviceList &records) override;

private:
    QString root;
};
