/* Interface between a debugger host and a flash algorithm loaded into target RAM: the device
 * descriptor the host reads and the entry points it calls. */
#ifndef QUORVEL_FLASHOS_H
#define QUORVEL_FLASHOS_H

#include <stdint.h>

#define FLASH_DRV_VERS 0x0101 /* interface version 1.01 */
#define MAX_SECTORS 512

#define ONCHIP 1 /* DevType of on-chip flash */

/* A run of equal sectors starting at device offset AddrSector. */
struct FlashSectors
{
    uint32_t szSector;
    uint32_t AddrSector;
};

/* The descriptor is read by hosts byte for byte, so its layout is fixed: 4256 bytes. */
struct FlashDevice
{
    uint16_t Vers;
    char DevName[128];
    uint16_t DevType;
    uint32_t DevAdr;
    uint32_t szDev;
    uint32_t szPage; /* most bytes one ProgramPage call writes */
    uint32_t Res;
    uint8_t valEmpty; /* content of erased flash */
    uint32_t toProg; /* ms per page */
    uint32_t toErase; /* ms per sector */
    struct FlashSectors sectors[MAX_SECTORS];
};

_Static_assert(__builtin_offsetof(struct FlashDevice, DevType) == 130, "DevType offset");
_Static_assert(__builtin_offsetof(struct FlashDevice, valEmpty) == 148, "valEmpty offset");
_Static_assert(__builtin_offsetof(struct FlashDevice, toProg) == 152, "toProg offset");
_Static_assert(__builtin_offsetof(struct FlashDevice, sectors) == 160, "sectors offset");
_Static_assert(sizeof(struct FlashDevice) == 4256, "descriptor size");

/* Entry points: 0 on success, 1 on failure. */
int Init(unsigned long adr, unsigned long clk, unsigned long fnc);
int UnInit(unsigned long fnc);
int EraseChip(void);
int EraseSector(unsigned long adr);
int ProgramPage(unsigned long adr, unsigned long sz, unsigned char *buf);

#endif
