#include "engine/modbussearch.h"

#include <cmath>

#include "protocols/modbusprobe.h"

namespace {

// Microseconds of one character: start bit, data, parity, stop bit.
double charMicros(const PortSetting &setting)
{
    const int bits = 1 + setting.dataBits + (setting.parity == Parity::None ? 0 : 1) + 1;
    return 1e6 * bits / setting.baud;
}

// The silence that ends a frame: 3.5 characters, at most 1.75 ms above 19200 Bd.
double frameGapMicros(const PortSetting &setting)
{
    return setting.baud > 19200 ? 1750.0 : 3.5 * charMicros(setting);
}

QList<int> firstAddresses(int firstAddress)
{
    QList<int> addresses;
    if (firstAddress >= 1 && firstAddress <= kModbusLastSlave)
        addresses << firstAddress;
    if (!addresses.contains(1))
        addresses << 1;
    return addresses;
}

} // namespace

int probeBudgetMs(const PortSetting &setting, int answerBytes)
{
    const double wire = (kModbusRequestBytes + answerBytes) * charMicros(setting) + 2 * frameGapMicros(setting);
    return int(std::ceil(wire / 1000.0)) + kAdapterLatencyMs + kSlaveTurnaroundMs;
}

QList<SearchProbe> searchOrder(int firstAddress)
{
    QList<SearchProbe> order;
    const QList<int> firsts = firstAddresses(firstAddress);
    for (int line = 0; line < kSearchLineCount; ++line)
        for (const quint8 function : kSearchFunctions)
            for (const int address : firsts)
                order << SearchProbe{line, address, function};
    for (int line = 0; line < kSearchLineCount; ++line)
        for (int address = 2; address <= kModbusLastSlave; ++address)
            if (!firsts.contains(address))
                for (const quint8 function : kSearchFunctions)
                    order << SearchProbe{line, address, function};
    return order;
}

qint64 searchWorstCaseMs(int firstAddress)
{
    qint64 total = 0;
    const int answer = modbusReadAnswerBytes(kProbeRegisterCount);
    for (const SearchProbe &p : searchOrder(firstAddress))
        total += probeBudgetMs(kSearchLines[p.line].setting, answer) + kProbeOverheadMs;
    return total;
}

qint64 searchWorstCaseMs()
{
    return qMax(searchWorstCaseMs(1), searchWorstCaseMs(2));
}
