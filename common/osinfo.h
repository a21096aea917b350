// The OS information record stored as OSINFO in SURVIN.INI: 172 bytes, little-endian,
// the same on the backup and the restore side.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct OsInfoRecord {
    // The ANSI extended version record as the version query fills it (size 156).
    uint32_t versionInfoSize;
    uint32_t majorVersion;
    uint32_t minorVersion;
    uint32_t buildNumber;
    uint32_t platformId;
    char csdVersion[128];
    uint16_t servicePackMajor;
    uint16_t servicePackMinor;
    uint16_t suiteMask;
    uint8_t productType;
    uint8_t reserved;
    uint32_t productNumber;  // product-information query; 0 below version 6
    uint16_t architecture;   // 0 x86, 6 IA64, 9 x64
    uint8_t zero[10];
};
#pragma pack(pop)

static_assert(sizeof(OsInfoRecord) == 172, "OSINFO is 172 bytes");
static_assert(offsetof(OsInfoRecord, productNumber) == 156, "product number at 156");
static_assert(offsetof(OsInfoRecord, architecture) == 160, "architecture at 160");
