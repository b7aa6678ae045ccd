#include "cli/portlisting.h"

#include <algorithm>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/jsonreport.h"
#include "detection/d2xxlibrary.h"
#include "detection/portscan.h"

PortScan scanPorts(const PortEnumerator &enumerator, FtdiDeviceSource &source, bool allPorts)
{
    PortScan scan;
    FtdiDeviceList ftdiDevices;
    bool sourceTried = false;
    // The window asks again at every further FTDI port while its list is
    // empty; one answer per scan tells the same.
    const auto readOnce = [&] {
        if (sourceTried)
            return;
        sourceTried = true;
        loadFtdiDeviceList(source, ftdiDevices, [&scan](FtdiDeviceSource::Kind kind) {
            scan.deviceSourceMissing = kind == FtdiDeviceSource::Kind::Unavailable;
        });
    };
    scanAdapterPorts(enumerator, ftdiDevices, readOnce, [&scan](const SerialPortEntry &port) {
        scan.ports.append({port.portName, port.manufacturer, port.serialNumber, IR_Head});
    });
    // Without a device list the window keeps the reading-head controls.
    for (ListedPort &p : scan.ports)
        p.kind = recognisedAccessory(ftdiDevices, p.serialNumber).value_or(IR_Head);
    if (!allPorts)
        return scan;
    QList<ListedPort> all;
    for (const SerialPortEntry &port : enumerator.availablePorts()) {
        const auto adapter = std::find_if(scan.ports.begin(), scan.ports.end(),
                                          [&](const ListedPort &p) { return p.portName == port.portName; });
        all.append(adapter != scan.ports.end()
                       ? *adapter
                       : ListedPort{port.portName, port.manufacturer, port.serialNumber, IR_Head});
    }
    scan.ports = all;
    return scan;
}

enum_interfaces_t accessoryAt(const PortScan &scan, const QString &port)
{
    static const QString kDevPrefix = QStringLiteral("/dev/");
    for (const ListedPort &p : scan.ports) {
        if (p.portName == port || kDevPrefix + p.portName == port)
            return p.kind;
    }
    return IR_Head;
}

QString missingLibraryMessage()
{
    return QStringLiteral("Die Datei %1 wurde nicht gefunden! Bitte prüfen Sie, dass sich die Datei im selben "
                          "Verzeichnis befindet! Alle Ports gelten als Lesekopf.")
        .arg(D2xxLibrary::fileName());
}

QString accessoryName(enum_interfaces_t kind)
{
    return kind == MODBUS485_Converter ? QStringLiteral("Zoruvari RS485 Konverter") : QStringLiteral("Lesekopf");
}

QString accessoryKey(enum_interfaces_t kind)
{
    return kind == MODBUS485_Converter ? QStringLiteral("rs485") : QStringLiteral("lesekopf");
}

QString portListText(const PortScan &scan)
{
    if (scan.ports.isEmpty())
        return QStringLiteral("Keine unterstützten Adapter gefunden.\n");
    QString out;
    for (const ListedPort &p : scan.ports) {
        out += QStringLiteral("%1 %2 %3%4\n")
                   .arg(p.portName, -14)
                   .arg(accessoryName(p.kind), -26)
                   .arg(p.manufacturer)
                   .arg(p.serialNumber.isEmpty() ? QString() : QStringLiteral(", Seriennummer ") + p.serialNumber);
    }
    return out;
}

QByteArray portListJson(const PortScan &scan)
{
    QJsonArray ports;
    for (const ListedPort &p : scan.ports) {
        ports.append(QJsonObject{{QStringLiteral("port"), p.portName},
                                 {QStringLiteral("accessory"), accessoryKey(p.kind)},
                                 {QStringLiteral("manufacturer"), p.manufacturer},
                                 {QStringLiteral("serialNumber"), p.serialNumber}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("time"), isoTimeNow()},
                                     {QStringLiteral("ports"), ports},
                                     {QStringLiteral("deviceListMissing"), scan.deviceSourceMissing}})
        .toJson(QJsonDocument::Indented);
}
