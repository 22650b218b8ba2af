/* Erase and program routines for the nRF51 series' NVMC, run from target RAM by a debugger host.
 * The controller obeys a flash write only under CONFIG=WEN and an erase only under CONFIG=EEN, so
 * Init opens the one the host's function code asks for and UnInit returns to read-only. */
#include "../FlashOS.h"

#define REG32(addr) (*(volatile uint32_t *)(addr))

#define NVMC_BASE 0x4001E000u
#define NVMC_READY REG32(NVMC_BASE + 0x400u)
#define NVMC_CONFIG REG32(NVMC_BASE + 0x504u)
#define NVMC_ERASEPAGE REG32(NVMC_BASE + 0x508u)
#define NVMC_ERASEALL REG32(NVMC_BASE + 0x50Cu)

#define CONFIG_REN 0u
#define CONFIG_WEN 1u
#define CONFIG_EEN 2u

/* No wait loop has a limit of its own: the host's toProg and toErase bound every call. */
static void waitReady(void)
{
    while ((NVMC_READY & 1u) == 0u) { }
}

/* adr and clk ignored; fnc 1 erase, 2 program, 3 verify. */
int Init(unsigned long adr, unsigned long clk, unsigned long fnc)
{
    uint32_t mode;
    (void)adr;
    (void)clk;
    if (fnc < 1u || fnc > 3u) {
        return 1;
    }
    mode = fnc == 1u ? CONFIG_EEN : fnc == 2u ? CONFIG_WEN : CONFIG_REN;
    waitReady();
    NVMC_CONFIG = mode;
    return NVMC_CONFIG == mode ? 0 : 1;
}

int UnInit(unsigned long fnc)
{
    (void)fnc;
    waitReady();
    NVMC_CONFIG = CONFIG_REN;
    return 0;
}

/* Code flash and UICR together, as the controller's erase-all does. */
int EraseChip(void)
{
    if (NVMC_CONFIG != CONFIG_EEN) {
        return 1;
    }
    NVMC_ERASEALL = 1u;
    waitReady();
    return 0;
}

/* adr: the first address of the 1 KiB page. */
int EraseSector(unsigned long adr)
{
    if (NVMC_CONFIG != CONFIG_EEN) {
        return 1;
    }
    NVMC_ERASEPAGE = adr;
    waitReady();
    return 0;
}

/* Programs sz bytes (rounded up to whole words, at most one 1 KiB page) from the word-aligned
 * buf at adr, then reads them back. 1 when a word reads back wrong (it needed an erase). */
int ProgramPage(unsigned long adr, unsigned long sz, unsigned char *buf)
{
    volatile uint32_t *flash_addr = (volatile uint32_t *)adr;
    const uint32_t *buffer = (const uint32_t *)buf;
    unsigned long size = (sz >> 2) + ((sz & 3u) != 0u);
    unsigned long i;

    if (NVMC_CONFIG != CONFIG_WEN) {
        return 1;
    }
    for (i = 0u; i < size; i++) {
        flash_addr[i] = buffer[i];
        waitReady();
    }
    for (i = 0u; i < size; i++) {
        if (flash_addr[i] != buffer[i]) {
            return 1;
        }
    }
    return 0;
}
