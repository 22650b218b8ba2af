/* Erase and program routines of the QB48x flash algorithm, run from target RAM by a debugger
 * host; QB48x_FLASH_AP builds them for the main flash, QB48x_FLASH_LD for the LDROM. */
#include "FlashOS.h"

#if defined(QB48x_FLASH_AP) == defined(QB48x_FLASH_LD)
#error "define exactly one of QB48x_FLASH_AP and QB48x_FLASH_LD"
#endif

#define REG32(addr) (*(volatile uint32_t *)(addr))

#define NVIC_ICER0 REG32(0xE000E180u)
#define SYST_CSR REG32(0xE000E010u)

#define SYS_BASE 0x40000000u
#define SYS_CONFIG REG32(SYS_BASE + 0x20u)
#define SYS_REG50 REG32(SYS_BASE + 0x50u)
#define SYS_REG54 REG32(SYS_BASE + 0x54u)
#define SYS_REG80 REG32(SYS_BASE + 0x80u)
#define SYS_REGA8 REG32(SYS_BASE + 0xA8u)
#define CONFIG_BOOT_MASK 0x3u
#define CONFIG_APROM_120K 0x80000000u

#define FMC_BASE 0x4000B000u
#define FMC_CTRL REG32(FMC_BASE + 0x00u)
#define FMC_KEY REG32(FMC_BASE + 0x04u)
#define FMC_SECTOR REG32(FMC_BASE + 0x08u)
#define FMC_STATUS REG32(FMC_BASE + 0x0Cu)
#define FMC_CMD REG32(FMC_BASE + 0x10u)

#define KEY_FIRST 0x5A3C9E17u
#define KEY_SECOND 0xA5C361E8u

#define STATUS_PROG_DONE 0x1u
#define STATUS_ERASE_DONE 0x2u
#define STATUS_BUSY 0x10000u

#define CMD_PROGRAM 0x1u
#define CMD_ERASE 0x2u
#define CMD_LDROM 0x100u
#define CMD_ERASE_ENABLE 0x10000u
#define CMD_LOCK 0x80000000u

#define SECTOR_BIT28 0x10000000u
#define SECTOR_SHIFT 9 /* 512-byte sectors */

/* The two banks want bit 28 of the sector value under opposite boot selections. */
#ifdef QB48x_FLASH_AP
#define BANK_CMD 0u
#define ERASE_SECTOR Erase_APROM
#define SECTOR_NEEDS_BIT28(boot) ((boot) != 0u)
#else
#define BANK_CMD CMD_LDROM
#define ERASE_SECTOR Erase_LDROM
#define SECTOR_NEEDS_BIT28(boot) ((boot) == 0u)
#endif

/* Internal routines stay out of line so that each one is a routine of its own in the image.
 * No wait loop has a limit of its own: the host's toProg and toErase bound every call. */
#define INTERNAL static __attribute__((noinline))

INTERNAL void Disable_Interrupts(void)
{
    NVIC_ICER0 = 0xFFFFFFFFu;
    SYST_CSR = 0u;
}

static inline void waitWhileBusy(void)
{
    while (FMC_STATUS & STATUS_BUSY) { }
}

/* Erases one 512-byte sector; returns when the controller reports it done. */
INTERNAL void ERASE_SECTOR(unsigned int sector)
{
    unsigned int tmpreg;
    unsigned int boot = SYS_CONFIG & CONFIG_BOOT_MASK;

    FMC_STATUS |= STATUS_ERASE_DONE;
    waitWhileBusy();
    tmpreg = sector;
    if (SECTOR_NEEDS_BIT28(boot)) {
        tmpreg |= SECTOR_BIT28;
    }
    FMC_SECTOR = tmpreg;
    FMC_CMD = CMD_ERASE_ENABLE | BANK_CMD | CMD_ERASE;
    while (!(FMC_STATUS & STATUS_ERASE_DONE)) { }
    FMC_STATUS |= STATUS_ERASE_DONE;
    waitWhileBusy();
    FMC_CMD &= ~CMD_ERASE;
}

/* Arguments ignored. Leaves the controller unlocked with interrupts and SysTick off. */
int Init(unsigned long adr, unsigned long clk, unsigned long fnc)
{
    (void)adr;
    (void)clk;
    (void)fnc;
    Disable_Interrupts();
    SYS_REGA8 = 0u;
    SYS_REG50 = 0u;
    SYS_REG54 = 0u;
    SYS_REG54 = 1u;
    SYS_REG80 = 1u;
    FMC_CTRL = 0u;
    FMC_KEY = KEY_FIRST;
    FMC_KEY = KEY_SECOND;
    return 0;
}

/* fnc ignored. Locks the controller again. */
int UnInit(unsigned long fnc)
{
    (void)fnc;
    FMC_CMD |= CMD_LOCK;
    return 0;
}

/* Erases every sector of the device in ascending order; always returns 0. */
int EraseChip(void)
{
    unsigned int i;
#ifdef QB48x_FLASH_AP
    unsigned int size = (SYS_CONFIG & CONFIG_APROM_120K) ? 0x1E000u : 0x10000u;
#else
    unsigned int size = 0x2000u;
#endif

    for (i = 0u; i < (size >> SECTOR_SHIFT); i++) {
        ERASE_SECTOR(i);
    }
    return 0;
}

/* adr: any device offset inside the sector. Always returns 0. */
int EraseSector(unsigned long adr)
{
    ERASE_SECTOR(adr >> SECTOR_SHIFT);
    return 0;
}

/* Programs sz bytes (rounded up to whole words) from the word-aligned buf at adr, then reads
 * them back. Returns 1 at the first word that differs, else 0. With sz 0 nothing is written and
 * the controller is not touched: no word would ever raise the program-done flag. */
int ProgramPage(unsigned long adr, unsigned long sz, unsigned char *buf)
{
    volatile uint32_t *flash_addr = (volatile uint32_t *)adr;
    const uint32_t *buffer = (const uint32_t *)buf;
    unsigned long size = (sz >> 2) + ((sz & 3u) != 0u); /* no overflow for sz near 2^32 */
    unsigned long i;

    if (size == 0u) {
        return 0;
    }
    FMC_STATUS |= STATUS_PROG_DONE;
    FMC_CMD = BANK_CMD | CMD_PROGRAM;
    for (i = 0u; i < size; i++) {
        /* The controller takes a new word only once the previous one is written. */
        waitWhileBusy();
        flash_addr[i] = buffer[i];
    }
    while (!(FMC_STATUS & STATUS_PROG_DONE)) { }
    FMC_STATUS |= STATUS_PROG_DONE;
    waitWhileBusy();
    FMC_CMD &= ~CMD_PROGRAM;

    for (i = 0u; i < size; i++) {
        if (flash_addr[i] != buffer[i]) {
            return 1;
        }
    }
    return 0;
}
