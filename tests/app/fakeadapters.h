#pragma once

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>

// A USB device tree as the kernel shows it under /sys/bus/usb/devices.
// Rows are "name|idVendor|product|serial"; a bare name is an interface entry.
class FakeSysfs
{
public:
    explicit FakeSysfs(const QStringList &rows)
    {
        for (const QString &row : rows) {
            const QStringList f = row.split(QLatin1Char('|'));
            QDir(root()).mkpath(f[0]);
            const char *attributes[] = {"idVendor", "product", "serial"};
            for (int i = 1; i < f.size(); ++i) {
                QFile file(root() + "/" + f[0] + "/" + attributes[i - 1]);
                if (file.open(QIODevice::WriteOnly))
                    file.write(f[i].toUtf8() + '\n');
            }
        }
    }
    QString root() const { return dir.path(); }

private:
    QTemporaryDir dir;
};

// Chooses what the fake D2XX library reports: "DESCRIPTION|SERIAL" rows,
// passes that still report empty strings, and the list call's status.
class FakeD2xxControl
{
public:
    FakeD2xxControl()
        : library(QStringLiteral(FAKE_D2XX_DIR "/libftd2xx.so"))
    {
        library.load(); // the same module the code under test loads
    }

    void set(const QStringList &rows, int blankPasses = 0, unsigned status = 0)
    {
        QList<QByteArray> text;
        QVector<const char *> descriptions, serials;
        for (const QString &row : rows)
            text << row.section('|', 0, 0).toUtf8() << row.section('|', 1, 1).toUtf8();
        for (int i = 0; i < text.size(); i += 2) {
            descriptions << text[i].constData();
            serials << text[i + 1].constData();
        }
        using SetFn = void (*)(const char *const *, const char *const *, unsigned, int, unsigned);
        reinterpret_cast<SetFn>(library.resolve("FakeD2xx_Set"))(descriptions.constData(), serials.constData(),
                                                                 unsigned(rows.size()), blankPasses, status);
    }

    int listCalls() { return reinterpret_cast<int (*)()>(library.resolve("FakeD2xx_ListCalls"))(); }

private:
    QLibrary library;
};
