#pragma once

#include <QString>

// One FTDI adapter as the D2XX library lists it: only these two strings are read.
struct FtdiDeviceEntry
{
    QString serialNumber;
    QString description;
};
