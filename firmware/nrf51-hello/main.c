/* Prints one line on UART0 after reset, then counts in a loop a debugger can stop and step. */
#include "firmware.h"

#define UART0 0x40002000u
#define UART_STARTTX REG32(UART0 + 0x008u)
#define UART_EVENTS_TXDRDY REG32(UART0 + 0x11Cu)
#define UART_ENABLE REG32(UART0 + 0x500u)
#define UART_PSELTXD REG32(UART0 + 0x50Cu)
#define UART_TXD REG32(UART0 + 0x51Cu)
#define UART_BAUDRATE REG32(UART0 + 0x524u)

#define BAUD_115200 0x01D7E000u
#define TX_PIN 9u

static const char line[] = "QUORVEL NRF51 HELLO\r\n";

volatile uint32_t counter;

static void send(char c)
{
    UART_EVENTS_TXDRDY = 0u;
    UART_TXD = (uint8_t)c;
    while (UART_EVENTS_TXDRDY == 0u) { }
}

int main(void)
{
    UART_PSELTXD = TX_PIN;
    UART_BAUDRATE = BAUD_115200;
    UART_ENABLE = 4u;
    UART_STARTTX = 1u;
    for (const char *p = line; *p; ++p) {
        send(*p);
    }
    for (;;) {
        counter++;
    }
}
