#pragma once

#include <QString>

#include "detection/ftdidevice.h"

// Only USB serial adapters with these chips can be one of our accessories.
bool isSupportedAdapterManufacturer(const QString &manufacturer);
bool isFtdiManufacturer(const QString &manufacturer);

// The converter is an FTDI chip programmed with our description; the port's
// serial number contains the chip's (Windows appends a channel letter).
bool isZoruvariConverter(const FtdiDeviceList &devices, const QString &portSerialNumber);
