// Stands in for FTDI's D2XX library: the tests choose the records it reports.
#include <cstring>
#include <vector>

#include "d2xxnode.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Scenario
{
    std::vector<FtDeviceListInfoNode> nodes;
    int blankPasses = 0; // passes that still report empty strings
    FtStatus status = 0;
    int listCalls = 0;
};

Scenario scenario;

void copyText(char *field, std::size_t size, const char *text)
{
    std::memset(field, 0, size);
    std::strncpy(field, text, size - 1);
}

} // namespace

FAKE_EXPORT void FakeD2xx_Set(const char *const *descriptions, const char *const *serials, unsigned count,
                              int blankPasses, unsigned status)
{
    scenario = Scenario();
    for (unsigned i = 0; i < count; ++i) {
        FtDeviceListInfoNode node{};
        copyText(node.Description, sizeof node.Description, descriptions[i]);
        copyText(node.SerialNumber, sizeof node.SerialNumber, serials[i]);
        scenario.nodes.push_back(node);
    }
    scenario.blankPasses = blankPasses;
    scenario.status = status;
}

FAKE_EXPORT int FakeD2xx_ListCalls()
{
    return scenario.listCalls;
}

FAKE_EXPORT FtStatus FT_CreateDeviceInfoList(std::uint32_t *count)
{
    *count = static_cast<std::uint32_t>(scenario.nodes.size());
    return 0;
}

#ifndef FAKE_D2XX_WITHOUT_GET_LIST
FAKE_EXPORT FtStatus FT_GetDeviceInfoList(FtDeviceListInfoNode *list, std::uint32_t *count)
{
    ++scenario.listCalls;
    for (std::size_t i = 0; i < scenario.nodes.size(); ++i) {
        // Every byte of every record is written, the handle included, as the real library does.
        list[i] = scenario.nodes[i];
        list[i].ftHandle = &scenario;
        if (scenario.blankPasses > 0) {
            std::memset(list[i].Description, 0, sizeof list[i].Description);
            std::memset(list[i].SerialNumber, 0, sizeof list[i].SerialNumber);
        }
    }
    if (scenario.blankPasses > 0)
        --scenario.blankPasses;
    *count = static_cast<std::uint32_t>(scenario.nodes.size());
    return scenario.status;
}
#endif
