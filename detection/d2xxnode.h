#pragma once

#include <cstddef>
#include <cstdint>

// FTDI's FT_DEVICE_LIST_INFO_NODE. The handle is a pointer, so the record is
// 100 bytes in a 32-bit process and 104 in a 64-bit one: always size arrays
// and strides with sizeof, never with a fixed 100.
struct FtDeviceListInfoNode
{
    std::uint32_t Flags;
    std::uint32_t Type;
    std::uint32_t ID;
    std::uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    void *ftHandle;
};

// The library fills these records, so the layout must match FTDI's byte for byte.
static_assert(offsetof(FtDeviceListInfoNode, SerialNumber) == 16, "SerialNumber at byte 16");
static_assert(offsetof(FtDeviceListInfoNode, Description) == 32, "Description at byte 32");
static_assert(offsetof(FtDeviceListInfoNode, ftHandle) == 96, "handle at byte 96");
static_assert(sizeof(FtDeviceListInfoNode) == 96 + sizeof(void *), "no padding beyond the handle");

#if defined(_WIN32)
#define VIVIV_FTAPI __stdcall
#else
#define VIVIV_FTAPI
#endif

using FtStatus = std::uint32_t;
using FtCreateDeviceInfoListFn = FtStatus(VIVIV_FTAPI *)(std::uint32_t *count);
using FtGetDeviceInfoListFn = FtStatus(VIVIV_FTAPI *)(FtDeviceListInfoNode *list, std::uint32_t *count);
