/* Device descriptors of the STM32F0 flash algorithm: 64 KiB in 1 KiB pages (STM32F030x8), or with
 * STM32F0_128K 128 KiB in 2 KiB pages (STM32F072xB), at 0x08000000. */
#include "../FlashOS.h"

#ifdef STM32F0_128K
#define DEVICE_NAME "STM32F0_128"
#define DEVICE_SIZE 0x00020000u
#define PAGE_SIZE 0x0800u
#else
#define DEVICE_NAME "STM32F0_64"
#define DEVICE_SIZE 0x00010000u
#define PAGE_SIZE 0x0400u
#endif

/* Hosts find the descriptor by symbol name, so it must survive linking unreferenced. */
__attribute__((section("DevDscr"), used)) const struct FlashDevice FlashDevice = {
    FLASH_DRV_VERS,
    DEVICE_NAME,
    ONCHIP,
    0x08000000u, /* device start */
    DEVICE_SIZE,
    0x400u, /* programmed 1 KiB at a time */
    0u,
    0xFFu,
    100u, /* program time-out, ms */
    500u, /* page erase time-out, ms */
    {
        {PAGE_SIZE, 0x00000000u}, {0xFFFFFFFFu, 0xFFFFFFFFu}, /* end of table */
    },
};
