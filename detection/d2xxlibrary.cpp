#include "detection/d2xxlibrary.h"

#include <algorithm>
#include <vector>

namespace {

QString fromFixedField(const char *field, std::size_t size)
{
    return QString::fromUtf8(field, static_cast<int>(qstrnlen(field, static_cast<uint>(size))));
}

} // namespace

D2xxLibrary::D2xxLibrary(const QString &directory)
    : directory(directory)
{
}

QString D2xxLibrary::fileName()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("ftd2xx.dll");
#else
    return QStringLiteral("libftd2xx.so");
#endif
}

FtdiDeviceSource::Kind D2xxLibrary::open()
{
    if (!library.isLoaded()) {
        library.setFileName(directory + QLatin1Char('/') + fileName());
        if (!library.load())
            return Kind::Unavailable;
    }
    createList = reinterpret_cast<FtCreateDeviceInfoListFn>(library.resolve("FT_CreateDeviceInfoList"));
    getList = reinterpret_cast<FtGetDeviceInfoListFn>(library.resolve("FT_GetDeviceInfoList"));
    if (!createList || !getList)
        return Kind::Unavailable;
    return Kind::D2xxLibrary;
}

bool D2xxLibrary::readRecords(FtdiDeviceList &records)
{
    if (!createList || !getList)
        return false;
    std::uint32_t count = 0;
    createList(&count); // its status tells nothing the next call does not
    if (count == 0)
        return false;
    std::vector<FtDeviceListInfoNode> nodes(count);
    std::uint32_t filled = count;
    if (getList(nodes.data(), &filled) != 0)
        return false;
    // The library reports how many it wrote; never read past what we allocated.
    nodes.resize(std::min(filled, count));
    for (const FtDeviceListInfoNode &node : nodes) {
        records.append({fromFixedField(node.Description, sizeof node.Description),
                        fromFixedField(node.SerialNumber, sizeof node.SerialNumber)});
    }
    return true;
}
