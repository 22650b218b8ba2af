/* Erase and program routines for the STM32F0's flash interface (FLASH_KEYR/CR/SR/AR), run from
 * target RAM by a debugger host. Halfword programming only; erased flash reads 0xFF. */
#include "../FlashOS.h"

#define REG32(addr) (*(volatile uint32_t *)(addr))

#define FLASH_IF 0x40022000u
#define FLASH_KEYR REG32(FLASH_IF + 0x04u)
#define FLASH_SR REG32(FLASH_IF + 0x0Cu)
#define FLASH_CR REG32(FLASH_IF + 0x10u)
#define FLASH_AR REG32(FLASH_IF + 0x14u)

#define KEY1 0x45670123u
#define KEY2 0xCDEF89ABu

#define SR_BSY 0x01u
#define SR_PGERR 0x04u
#define SR_WRPRTERR 0x10u
#define SR_EOP 0x20u
#define SR_ERRORS (SR_PGERR | SR_WRPRTERR)

#define CR_PG 0x01u
#define CR_PER 0x02u
#define CR_MER 0x04u
#define CR_STRT 0x40u
#define CR_LOCK 0x80u

/* No wait loop has a limit of its own: the host's toProg and toErase bound every call. */
static int waitDone(void)
{
    uint32_t sr;
    do {
        sr = FLASH_SR;
    } while (sr & SR_BSY);
    FLASH_SR = SR_EOP | SR_ERRORS;
    return (sr & SR_ERRORS) ? 1 : 0;
}

static __attribute__((noinline)) int runErase(uint32_t mode, unsigned long adr)
{
    int failed;
    FLASH_CR = mode;
    FLASH_AR = adr;
    FLASH_CR = mode | CR_STRT;
    failed = waitDone();
    FLASH_CR = 0u;
    return failed;
}

/* adr, clk and fnc ignored. The keys are written only while locked: a second sequence on an
 * unlocked interface is a wrong one, which locks it until the next reset. */
int Init(unsigned long adr, unsigned long clk, unsigned long fnc)
{
    (void)adr;
    (void)clk;
    (void)fnc;
    if (FLASH_CR & CR_LOCK) {
        FLASH_KEYR = KEY1;
        FLASH_KEYR = KEY2;
    }
    FLASH_SR = SR_EOP | SR_ERRORS;
    return (FLASH_CR & CR_LOCK) ? 1 : 0;
}

int UnInit(unsigned long fnc)
{
    (void)fnc;
    FLASH_CR = CR_LOCK;
    return 0;
}

int EraseChip(void)
{
    return runErase(CR_MER, 0x08000000u);
}

/* adr: any address inside the page. */
int EraseSector(unsigned long adr)
{
    return runErase(CR_PER, adr);
}

/* Programs sz bytes (rounded up to whole halfwords) from the halfword-aligned buf at adr, then
 * reads them back. 1 when the interface refuses a halfword or one reads back wrong. */
int ProgramPage(unsigned long adr, unsigned long sz, unsigned char *buf)
{
    volatile uint16_t *flash_addr = (volatile uint16_t *)adr;
    const uint16_t *buffer = (const uint16_t *)buf;
    unsigned long size = (sz + 1u) >> 1;
    unsigned long i;
    int failed = 0;

    FLASH_CR = CR_PG;
    for (i = 0u; i < size && !failed; i++) {
        flash_addr[i] = buffer[i];
        failed = waitDone();
    }
    FLASH_CR = 0u;
    for (i = 0u; i < size && !failed; i++) {
        if (flash_addr[i] != buffer[i]) {
            failed = 1;
        }
    }
    return failed;
}
