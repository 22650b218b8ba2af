/* Device descriptor of the QB48x flash algorithm; QB48x_FLASH_AP or QB48x_FLASH_LD picks the
 * main flash or the LDROM variant. */
#include "FlashOS.h"

#if defined(QB48x_FLASH_AP) == defined(QB48x_FLASH_LD)
#error "define exactly one of QB48x_FLASH_AP and QB48x_FLASH_LD"
#endif

#ifdef QB48x_FLASH_AP
#define DEV_NAME "QB48x_Flash_AP"
#define DEV_SIZE 0x0001E000u /* 120 KiB */
#else
#define DEV_NAME "QB48x_Flash_LD"
#define DEV_SIZE 0x00002000u /* 8 KiB */
#endif

/* Hosts find the descriptor by symbol name, so it must survive linking unreferenced. */
__attribute__((section("DevDscr"), used)) const struct FlashDevice FlashDevice = {
    FLASH_DRV_VERS,
    DEV_NAME,
    ONCHIP,
    0x00000000u, /* device start */
    DEV_SIZE,
    0x200u, /* page */
    0u,
    0xFFu,
    100u, /* program time-out, ms */
    500u, /* sector erase time-out, ms */
    {
        {0x200u, 0x00000000u}, /* uniform 512-byte sectors */
        {0xFFFFFFFFu, 0xFFFFFFFFu}, /* end of table */
    },
};
