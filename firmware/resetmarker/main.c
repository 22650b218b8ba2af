/* Leaves a marker in RAM as soon as it runs, so a test can tell whether the core ever left the
   reset vector. The marker sits below the image's own RAM, which the start-up code clears. */
#include "firmware.h"

#define MARKER REG32(0x20000000u)
#define MARKER_RAN 0x600DF00Du

int main(void)
{
    MARKER = MARKER_RAN;
    for (;;) { }
}
