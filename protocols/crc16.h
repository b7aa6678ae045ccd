#pragma once

#include <QtGlobal>

#include <array>
#include <cstddef>

// Table-driven CRC-16 over a reflected polynomial (least significant bit
// first), as SML (8408) and Modbus RTU (A001) use it.
constexpr std::array<quint16, 256> reflectedCrc16Table(quint16 polynomial)
{
    std::array<quint16, 256> table{};
    for (int i = 0; i < 256; ++i) {
        quint16 crc = quint16(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ polynomial) : quint16(crc >> 1);
        table[std::size_t(i)] = crc;
    }
    return table;
}

inline quint16 runReflectedCrc16(const std::array<quint16, 256> &table, quint16 crc, const char *data, int size)
{
    for (int i = 0; i < size; ++i)
        crc = quint16((crc >> 8) ^ table[(crc ^ quint8(data[i])) & 0xFF]);
    return crc;
}
