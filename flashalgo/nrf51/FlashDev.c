/* Device descriptor of the nRF51 flash algorithm: 256 KiB of code flash at 0 in 1 KiB pages. */
#include "../FlashOS.h"

/* Hosts find the descriptor by symbol name, so it must survive linking unreferenced. */
__attribute__((section("DevDscr"), used)) const struct FlashDevice FlashDevice = {
    FLASH_DRV_VERS,
    "nRF51_256K_Flash",
    ONCHIP,
    0x00000000u, /* device start */
    0x00040000u, /* 256 KiB */
    0x400u, /* page */
    0u,
    0xFFu,
    100u, /* program time-out, ms */
    3000u, /* erase time-out, ms (the chip erase included) */
    {
        {0x0400u, 0x00000000u}, /* 1 KiB pages throughout */
        {0xFFFFFFFFu, 0xFFFFFFFFu}, /* end of table */
    },
};
