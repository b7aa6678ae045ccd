#pragma once

#include <QString>
#include <memory>

#include "detection/ftdidevice.h"

// Where the FTDI device list comes from: FTDI's D2XX library, or what the
// operating system itself tells about the attached adapters.
class FtdiDeviceSource
{
public:
    enum class Kind {
        Unavailable, // no source at all: the user must be told
        D2xxLibrary, // FTDI's library is loaded
        SystemList,  // the system's own device list serves instead
    };

    virtual ~FtdiDeviceSource();

    // Makes the source ready (loads the library once) and says what serves.
    virtual Kind open() = 0;
    // One read of the whole list; false when it cannot be read.
    virtual bool readRecords(FtdiDeviceList &records) = 0;
};

enum class FtdiListResult { Read, NoDevice };

// Reads the device list in passes: adapters that answer with neither serial
// number nor description are still enumerating, so the list is read again
// (up to three more times, 100 ms apart) before such an entry is accepted.
// Entries taken in an abandoned pass stay in the list.
FtdiListResult readFtdiDeviceList(FtdiDeviceSource &source, FtdiDeviceList &devices);

// A fixed list, for front ends that simulate their adapters.
class FixedFtdiSource : public FtdiDeviceSource
{
public:
    explicit FixedFtdiSource(FtdiDeviceList devices);
    Kind open() override;
    bool readRecords(FtdiDeviceList &records) override;

private:
    FtdiDeviceList devices;
};

// The real source: the D2XX library from libraryDir, and on Linux the
// system's USB device tree under sysfsRoot where the library is missing.
std::unique_ptr<FtdiDeviceSource> makeSystemFtdiSource(const QString &libraryDir,
                                                       const QString &sysfsRoot = QStringLiteral("/sys/bus/usb/devices"));
