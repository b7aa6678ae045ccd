#include "detection/portenumerator.h"

#include <QSerialPortInfo>

PortEnumerator::~PortEnumerator() = default;

QList<SerialPortEntry> SystemPortEnumerator::availablePorts() const
{
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append({info.portName(), info.manufacturer(), info.serialNumber()});
    return ports;
}

FixedPortEnumerator::FixedPortEnumerator(QList<SerialPortEntry> ports)
    : ports(std::move(ports))
{
}

QList<SerialPortEntry> FixedPortEnumerator::availablePorts() const
{
    return ports;
}
