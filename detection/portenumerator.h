#pragma once

#include <QList>
#include <QString>

// What the port list needs to know of one serial port.
struct SerialPortEntry
{
    QString portName;
    QString manufacturer;
    QString serialNumber;
};

// The serial ports of the system; front ends that simulate their ports hand in their own.
class PortEnumerator
{
public:
    virtual ~PortEnumerator();
    virtual QList<SerialPortEntry> availablePorts() const = 0;
};

class SystemPortEnumerator : public PortEnumerator
{
public:
    QList<SerialPortEntry> availablePorts() const override;
};

class FixedPortEnumerator : public PortEnumerator
{
public:
    explicit FixedPortEnumerator(QList<SerialPortEntry> ports);
    QList<SerialPortEntry> availablePorts() const override;

private:
    QList<SerialPortEntry> ports;
};
