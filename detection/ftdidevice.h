#pragma once

#include <QList>
#include <QString>

// One FTDI adapter as the device list reports it: only these two strings are read.
struct FtdiDeviceEntry
{
    QString Description;
    QString SerialNumber;
};

using FtdiDeviceList = QList<FtdiDeviceEntry>;
