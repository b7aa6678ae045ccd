#include "protocols/smlcrc.h"

#include "protocols/crc16.h"

namespace {
constexpr std::array<quint16, 256> kTable = reflectedCrc16Table(0x8408);
} // namespace

quint16 smlCrc16X25(const char *data, int size)
{
    return quint16(runReflectedCrc16(kTable, 0xFFFF, data, size) ^ 0xFFFF);
}

quint16 smlCrc16Kermit(const char *data, int size)
{
    return runReflectedCrc16(kTable, 0x0000, data, size);
}
