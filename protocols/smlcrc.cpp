#include "protocols/smlcrc.h"

#include <array>

namespace {

constexpr std::array<quint16, 256> makeReflectedTable()
{
    std::array<quint16, 256> table{};
    for (int i = 0; i < 256; ++i) {
        quint16 crc = quint16(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
        table[std::size_t(i)] = crc;
    }
    return table;
}

constexpr std::array<quint16, 256> kTable = makeReflectedTable();

quint16 runCrc(quint16 crc, const char *data, int size)
{
    for (int i = 0; i < size; ++i)
        crc = quint16((crc >> 8) ^ kTable[(crc ^ quint8(data[i])) & 0xFF]);
    return crc;
}

} // namespace

quint16 smlCrc16X25(const char *data, int size)
{
    return quint16(runCrc(0xFFFF, data, size) ^ 0xFFFF);
}

quint16 smlCrc16Kermit(const char *data, int size)
{
    return runCrc(0x0000, data, size);
}
