/* Device descriptor of the QS64 flash algorithm: a simulated part whose flash sits at 0x08000000
 * in 2 KiB sectors, then 16 KiB ones, written 256 bytes at a time. */
#include "../FlashOS.h"

/* Hosts find the descriptor by symbol name, so it must survive linking unreferenced. */
__attribute__((section("DevDscr"), used)) const struct FlashDevice FlashDevice = {
    FLASH_DRV_VERS,
    "QS64_Flash",
    ONCHIP,
    0x08000000u, /* device start */
    0x00010000u, /* 64 KiB */
    0x100u, /* page */
    0u,
    0xFFu,
    50u, /* program time-out, ms */
    400u, /* sector erase time-out, ms */
    {
        {0x0800u, 0x00000000u}, /* eight 2 KiB sectors */
        {0x4000u, 0x00004000u}, /* then three 16 KiB sectors */
        {0xFFFFFFFFu, 0xFFFFFFFFu}, /* end of table */
    },
};
