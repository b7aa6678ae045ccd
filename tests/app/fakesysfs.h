#pragma once

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QPair>
#include <QVector>
#include <QTemporaryDir>

// A USB device tree as the kernel shows it under /sys/bus/usb/devices.
class FakeSysfs
{
public:
    QString root() const { return dir.path(); }

    void addDevice(const QString &name, const QByteArray &vendor, const QByteArray &product, const QByteArray &serial)
    {
        QDir(dir.path()).mkpath(name);
        write(name, "idVendor", vendor + '\n');
        write(name, "product", product + '\n');
        write(name, "serial", serial + '\n');
    }
    // Interface entries (1-1:1.0) carry no vendor id.
    void addInterface(const QString &name) { QDir(dir.path()).mkpath(name); }

private:
    void write(const QString &device, const char *attribute, const QByteArray &value)
    {
        QFile file(dir.path() + QLatin1Char('/') + device + QLatin1Char('/') + QLatin1String(attribute));
        if (file.open(QIODevice::WriteOnly))
            file.write(value);
    }

    QTemporaryDir dir;
};

// Chooses the records the fake D2XX library reports.
class FakeD2xxControl
{
public:
    explicit FakeD2xxControl(const QString &directory)
        : library(directory + QStringLiteral("/libftd2xx.so"))
    {
        library.load(); // the same module the code under test loads
    }

    bool loaded() const { return library.isLoaded(); }

    void set(const QList<QPair<QByteArray, QByteArray>> &descriptionAndSerial, int blankPasses = 0,
             unsigned status = 0)
    {
        QVector<const char *> descriptions, serials;
        for (const auto &device : descriptionAndSerial) {
            descriptions << device.first.constData();
            serials << device.second.constData();
        }
        using SetFn = void (*)(const char *const *, const char *const *, unsigned, int, unsigned);
        reinterpret_cast<SetFn>(library.resolve("FakeD2xx_Set"))(descriptions.constData(), serials.constData(),
                                                                 unsigned(descriptions.size()), blankPasses, status);
    }

    int listCalls()
    {
        using CallsFn = int (*)();
        return reinterpret_cast<CallsFn>(library.resolve("FakeD2xx_ListCalls"))();
    }

private:
    QLibrary library;
};
