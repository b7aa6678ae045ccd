#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "protocols/meterresult.h"

class FtdiDeviceSource;
class PortEnumerator;

// The ports the window would list, each with the accessory it recognises.
struct ListedPort
{
    QString portName;
    QString manufacturer;
    QString serialNumber;
    enum_interfaces_t kind = IR_Head;
};

struct PortScan
{
    QList<ListedPort> ports;
    bool deviceSourceMissing = false; // where the window shows its missing-library box
};

// The window's port scan (detection/portscan.h), with the FTDI device list
// read at most once, at the first FTDI port. With allPorts every serial port
// of the system, the ones the window leaves out as reading heads, as the
// command line would test them.
PortScan scanPorts(const PortEnumerator &enumerator, FtdiDeviceSource &source, bool allPorts = false);

// The accessory at the port the user named ("ttyUSB0" or "/dev/ttyUSB0");
// a port that is not listed counts as a reading head, as in the window.
enum_interfaces_t accessoryAt(const PortScan &scan, const QString &port);

QString missingLibraryMessage();
QString accessoryName(enum_interfaces_t kind);    // German, for people
QString accessoryKey(enum_interfaces_t kind);     // "lesekopf" / "rs485", for scripts
QString portListText(const PortScan &scan);
QByteArray portListJson(const PortScan &scan);
