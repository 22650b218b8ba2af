/* Prints one line on USART1 (PA9, 115200 baud from the 8 MHz HSI) after reset, then counts for
 * ever, so that a debugger has a running loop to halt, step and inspect. */
#include "firmware.h"

#define RCC_AHBENR REG32(0x40021014u)
#define RCC_APB2ENR REG32(0x40021018u)
#define GPIOA_MODER REG32(0x48000000u)
#define GPIOA_AFRH REG32(0x48000024u)
#define USART1_CR1 REG32(0x40013800u)
#define USART1_BRR REG32(0x4001380Cu)
#define USART1_ISR REG32(0x4001381Cu)
#define USART1_TDR REG32(0x40013828u)

#define ISR_TC 0x40u
#define ISR_TXE 0x80u

volatile uint32_t counter;

static void put(char c)
{
    while (!(USART1_ISR & ISR_TXE)) { }
    USART1_TDR = (uint8_t)c;
}

int main(void)
{
    RCC_AHBENR |= 1u << 17; /* GPIOA */
    RCC_APB2ENR |= 1u << 14; /* USART1 */
    GPIOA_MODER = (GPIOA_MODER & ~(0xFu << 18)) | (0xAu << 18); /* PA9, PA10: alternate */
    GPIOA_AFRH = (GPIOA_AFRH & ~(0xFFu << 4)) | (0x11u << 4); /* AF1: USART1 */
    USART1_BRR = 8000000u / 115200u;
    USART1_CR1 = 0x9u; /* UE, TE */
    for (const char *s = "hello from stm32f0-hello\n"; *s; ++s) {
        put(*s);
    }
    while (!(USART1_ISR & ISR_TC)) { }
    for (;;) {
        counter++;
    }
}
