#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "detection/ftdidevice.h"
#include "detection/ftdisource.h"
#include "detection/portenumerator.h"
#include "protocols/meterresult.h"

// The port scan that the window and the command line share: which ports can
// be one of our accessories, when the FTDI device list is read, and which
// accessory a port belongs to. What a front end shows on the way is its own.

// Walks the ports in the system's order and hands each adapter whose chip can
// be one of our accessories to `listed`. At an FTDI port met while `devices`
// is still empty, `ftdiPortWithoutList` runs first, so that a list it reads is
// in place before that port is listed; whether it reads again at a further
// FTDI port is the front end's choice.
void scanAdapterPorts(const PortEnumerator &ports, const FtdiDeviceList &devices,
                      const std::function<void()> &ftdiPortWithoutList,
                      const std::function<void(const SerialPortEntry &)> &listed);

// Empties `devices`, opens the source and tells `opened` what serves (before
// the list is read, which takes a while), then reads the list into `devices`.
// True when the list was read with at least one device.
bool loadFtdiDeviceList(FtdiDeviceSource &source, FtdiDeviceList &devices,
                        const std::function<void(FtdiDeviceSource::Kind)> &opened);

// The converter is an FTDI chip programmed with our description; the port's
// serial number contains the chip's (Windows appends a channel letter).
bool isZoruvariConverter(const FtdiDeviceList &devices, const QString &portSerialNumber);

// The accessory at a port with this serial number. Without a device list
// nothing is known, and the front end keeps what it had.
std::optional<enum_interfaces_t> recognisedAccessory(const FtdiDeviceList &devices, const QString &portSerialNumber);
