#include "detection/sysfsftdisource.h"

#include <QDir>
#include <QFile>

namespace {

constexpr const char *kFtdiVendorId = "0403";

QString readAttribute(const QString &deviceDir, const char *name)
{
    QFile file(deviceDir + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).trimmed();
}

} // namespace

SysfsFtdiSource::SysfsFtdiSource(const QString &root)
    : root(root)
{
}

FtdiDeviceSource::Kind SysfsFtdiSource::open()
{
    return QDir(root).exists() ? Kind::SystemList : Kind::Unavailable;
}

bool SysfsFtdiSource::readRecords(FtdiDeviceList &records)
{
    QDir dir(root);
    if (!dir.exists())
        return false;
    // Entries are symlinks into the device tree; interfaces carry no idVendor.
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const QString deviceDir = dir.filePath(name);
        if (readAttribute(deviceDir, "idVendor") != QLatin1String(kFtdiVendorId))
            continue;
        records.append({readAttribute(deviceDir, "product"), readAttribute(deviceDir, "serial")});
    }
    return true;
}
