/* What every firmware image shares: register access and the hooks the start-up code calls. */
#ifndef QUORVEL_FIRMWARE_H
#define QUORVEL_FIRMWARE_H

#include <stdint.h>

#define REG32(address) (*(volatile uint32_t *)(address))

int main(void);

/* Called for every exception the image does not handle itself; a weak default spins. */
void Default_Handler(void);

#endif
