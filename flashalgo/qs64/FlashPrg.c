/* Erase and program routines of the QS64 flash algorithm, run from target RAM by a debugger host.
 * Addresses are absolute (the device starts at 0x08000000); the controller finds the sector an
 * address lies in by itself, so the routines need no sector table of their own. */
#include "../FlashOS.h"

#define REG32(addr) (*(volatile uint32_t *)(addr))

#define NVM_BASE 0x40010000u
#define NVM_KEY REG32(NVM_BASE + 0x00u)
#define NVM_CTRL REG32(NVM_BASE + 0x04u)
#define NVM_ADDR REG32(NVM_BASE + 0x08u)
#define NVM_STAT REG32(NVM_BASE + 0x0Cu)
#define NVM_SESSION REG32(NVM_BASE + 0x10u)

#define KEY_FIRST 0x7B3D1F05u
#define KEY_SECOND 0x84C2E0FAu

#define CTRL_PROGRAM 0x01u
#define CTRL_SECTOR_ERASE 0x02u
#define CTRL_MASS_ERASE 0x04u
#define CTRL_START 0x10u
#define CTRL_LOCK 0x80u

#define STAT_BUSY 0x01u
#define STAT_DONE 0x02u /* write 1 to clear */
#define STAT_ERROR 0x04u /* write 1 to clear */

/* No wait loop has a limit of its own: the host's toProg and toErase bound every call. */
static int waitDone(void)
{
    uint32_t stat;
    do {
        stat = NVM_STAT;
    } while (stat & STAT_BUSY);
    NVM_STAT = STAT_DONE | STAT_ERROR;
    return (stat & STAT_ERROR) ? 1 : 0;
}

static __attribute__((noinline)) int runErase(uint32_t ctrl, unsigned long adr)
{
    int failed;
    NVM_CTRL = ctrl;
    NVM_ADDR = adr;
    NVM_CTRL = ctrl | CTRL_START;
    failed = waitDone();
    NVM_CTRL = 0u;
    return failed;
}

/* adr and clk ignored. The controller obeys only the operations of the session fnc opens
 * (1 erase, 2 program, 3 verify); any other fnc is refused. Leaves it unlocked with no operation
 * selected. */
int Init(unsigned long adr, unsigned long clk, unsigned long fnc)
{
    (void)adr;
    (void)clk;
    if (fnc < 1u || fnc > 3u) {
        return 1;
    }
    NVM_KEY = KEY_FIRST;
    NVM_KEY = KEY_SECOND;
    NVM_STAT = STAT_DONE | STAT_ERROR;
    if (NVM_CTRL & CTRL_LOCK) {
        return 1;
    }
    NVM_SESSION = fnc;
    return 0;
}

/* Closes the session and locks the controller again; fnc ignored. */
int UnInit(unsigned long fnc)
{
    (void)fnc;
    NVM_SESSION = 0u;
    NVM_CTRL = CTRL_LOCK;
    return 0;
}

int EraseChip(void)
{
    return runErase(CTRL_MASS_ERASE, 0x08000000u);
}

/* adr: any address inside the sector. */
int EraseSector(unsigned long adr)
{
    return runErase(CTRL_SECTOR_ERASE, adr);
}

/* Programs sz bytes (rounded up to whole words, at most one 256-byte page) from the word-aligned
 * buf at adr, then reads them back. 1 when the controller refuses a word or one reads back wrong.
 */
int ProgramPage(unsigned long adr, unsigned long sz, unsigned char *buf)
{
    volatile uint32_t *flash_addr = (volatile uint32_t *)adr;
    const uint32_t *buffer = (const uint32_t *)buf;
    unsigned long size = (sz >> 2) + ((sz & 3u) != 0u);
    unsigned long i;
    int failed = 0;

    NVM_CTRL = CTRL_PROGRAM;
    for (i = 0u; i < size && !failed; i++) {
        flash_addr[i] = buffer[i];
        failed = waitDone();
    }
    NVM_CTRL = 0u;
    for (i = 0u; i < size && !failed; i++) {
        if (flash_addr[i] != buffer[i]) {
            failed = 1;
        }
    }
    return failed;
}
