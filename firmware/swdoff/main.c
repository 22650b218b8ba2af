/* Takes the SWD pins for GPIO 10 ms after reset, as boards do that need them for something else:
   from then on only a debugger that holds nRESET reaches the chip. */
#include "firmware.h"

#define SYS_PINFUNC REG32(0x40000030u)
#define PINS_TO_GPIO 0x0000A5D1u
#define CORE_HZ 16000000u

/* Two instructions an iteration, one cycle each on the board's core. */
static void spin(uint32_t iterations)
{
    __asm volatile("1: sub %0, #1\n\tbne 1b" : "+l"(iterations) : : "cc");
}

int main(void)
{
    spin(CORE_HZ / 100u / 2u);
    SYS_PINFUNC = PINS_TO_GPIO;
    for (;;) { }
}
