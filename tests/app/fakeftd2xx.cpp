// Stands in for FTDI's D2XX library. The tests choose what it reports:
// "blankPasses;status;DESCRIPTION|SERIAL;..." where blank passes still report
// empty strings, as adapters do while they are enumerating.
#include <QStringList>
#include <vector>

#include "detection/d2xxnode.h"

#define FAKE_EXPORT __attribute__((visibility("default")))

namespace {
std::vector<FtDeviceListInfoNode> nodes;
int blankPasses = 0;
FtStatus status = 0;
int listCalls = 0;
} // namespace

extern "C" {

// A function, not an exported variable: both stand-ins may be loaded at once.
FAKE_EXPORT int FakeD2xx_ListCalls()
{
    return listCalls;
}

FAKE_EXPORT void FakeD2xx_Set(const char *scenario)
{
    const QStringList items = QString(scenario).split(';');
    blankPasses = items[0].toInt(), status = items.value(1).toUInt(), listCalls = 0;
    nodes.assign(qMax(0, items.size() - 2), FtDeviceListInfoNode{});
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        qstrncpy(nodes[i].Description, items[i + 2].section('|', 0, 0).toUtf8(), sizeof nodes[i].Description);
        qstrncpy(nodes[i].SerialNumber, items[i + 2].section('|', 1).toUtf8(), sizeof nodes[i].SerialNumber);
    }
}

FAKE_EXPORT FtStatus FT_CreateDeviceInfoList(std::uint32_t *count)
{
    *count = std::uint32_t(nodes.size());
    return 0;
}

#ifndef FAKE_D2XX_WITHOUT_GET_LIST
FAKE_EXPORT FtStatus FT_GetDeviceInfoList(FtDeviceListInfoNode *list, std::uint32_t *count)
{
    ++listCalls;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        // Every byte of every record is written, the handle included, as the real library does.
        list[i] = nodes[i];
        list[i].ftHandle = &nodes;
        if (blankPasses > 0)
            list[i].SerialNumber[0] = list[i].Description[0] = '\0';
    }
    blankPasses -= blankPasses > 0;
    *count = std::uint32_t(nodes.size());
    return status;
}
#endif
}
