#pragma once

#include <QLibrary>

#include "detection/d2xxnode.h"
#include "detection/ftdisource.h"

// FTDI's D2XX library, loaded at run time from one directory only.
class D2xxLibrary : public FtdiDeviceSource
{
public:
    explicit D2xxLibrary(const QString &directory);

    static QString fileName(); // ftd2xx.dll on Windows, libftd2xx.so elsewhere

    // Loads once and keeps the library loaded. A library that lacks one of
    // the two functions counts as missing: calling it would crash.
    Kind open() override;
    bool readRecords(FtdiDeviceList &records) override;

private:
    QString directory;
    QLibrary library;
    FtCreateDeviceInfoListFn createList = nullptr;
    FtGetDeviceInfoListFn getList = nullptr;
};
