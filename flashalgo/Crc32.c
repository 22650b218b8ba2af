/* CRC-32 of address ranges, run from target RAM by the host beside the flash algorithms to check
 * flash contents without reading them over the debug port. Same CRC as the host's: reflected
 * polynomial 0xEDB88320, initial and final value 0xFFFFFFFF. */
#include <stdint.h>

#define POLYNOMIAL 0xEDB88320u

/* ranges: count pairs (address, length); results: one CRC per pair; table: 256 words of scratch
 * RAM the lookup table is built in, so the image carries no data. Memory is read a byte at a time:
 * any alignment and length, and no read beyond a range. Returns count, so a host tells a routine
 * that ran to its end from one that stopped anywhere else. */
unsigned int Crc32Ranges(const uint32_t *ranges, unsigned int count, uint32_t *results,
                         uint32_t *table)
{
    unsigned int i, k;

    for (i = 0u; i < 256u; i++) {
        uint32_t c = i;
        for (k = 0u; k < 8u; k++) {
            c = (c & 1u) ? (c >> 1) ^ POLYNOMIAL : c >> 1;
        }
        table[i] = c;
    }
    for (i = 0u; i < count; i++) {
        const volatile uint8_t *p = (const volatile uint8_t *)ranges[2u * i];
        uint32_t n = ranges[2u * i + 1u];
        uint32_t crc = 0xFFFFFFFFu;
        while (n != 0u) {
            crc = table[(crc ^ *p) & 0xFFu] ^ (crc >> 8);
            p++;
            n--;
        }
        results[i] = ~crc;
    }
    return count;
}
