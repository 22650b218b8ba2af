/* CRC-32 of address ranges, run from target RAM by the host beside the flash algorithms to check
 * flash contents without reading them over the debug port. Same CRC as the host's: reflected
 * polynomial 0xEDB88320, initial and final value 0xFFFFFFFF. */
#include <stdint.h>

/* ranges: count pairs (address, length); results: one CRC per pair; table: 256 words of scratch
 * RAM the lookup table is built in, so the image carries no data. Any alignment and length, and no
 * read beyond a range: bytes up to the first word boundary and after the last, whole words in
 * between. Returns count, so a host tells a routine that ran to its end from one that stopped
 * anywhere else.
 *
 * Written out by hand: the loads and instructions per byte bound the time on a core without a
 * cache, and compiled code of the same speed is larger than the small RAM plans beside the
 * algorithms allow for it (a table step is five instructions here; a compiler spends six or seven).
 * A byte and a word's last byte share one step. */
__attribute__((naked)) unsigned int Crc32Ranges(const uint32_t *ranges, unsigned int count,
                                                uint32_t *results, uint32_t *table)
{
    (void)ranges;
    (void)count;
    (void)results;
    (void)table;
    __asm__ volatile(".syntax unified\n\t"
                     "push {r1, r4, r5, r6, r7, lr}\n\t" /* r1 comes back as the result */
                     "movs r4, #255\n\t" /* table[r4], r4 = 255 .. 0 */
                     "ldr r7, 10f\n\t"
                     "1:\n\t"
                     "movs r5, r4\n\t"
                     "movs r6, #8\n\t"
                     "2:\n\t"
                     "lsrs r5, r5, #1\n\t" /* the bit shifted out in the carry */
                     "bcc 3f\n\t"
                     "eors r5, r7\n\t"
                     "3:\n\t"
                     "subs r6, #1\n\t"
                     "bne 2b\n\t"
                     "lsls r6, r4, #2\n\t"
                     "str r5, [r3, r6]\n\t"
                     "subs r4, #1\n\t"
                     "bpl 1b\n\t"
                     "4:\n\t" /* next range: r4 the address, r5 its end, r6 the CRC */
                     "cmp r1, #0\n\t"
                     "beq 9f\n\t"
                     "ldm r0!, {r4, r5}\n\t"
                     "adds r5, r4, r5\n\t"
                     "movs r6, #0\n\t"
                     "mvns r6, r6\n\t"
                     "5:\n\t" /* a byte unless a whole word is left at a word boundary */
                     "subs r7, r5, r4\n\t"
                     "beq 8f\n\t"
                     "cmp r7, #4\n\t"
                     "blo 6f\n\t"
                     "lsls r7, r4, #30\n\t"
                     "beq 7f\n\t"
                     "6:\n\t"
                     "ldrb r7, [r4]\n\t"
                     "adds r4, #1\n\t"
                     "eors r6, r7\n\t"
                     "b 11f\n\t"
                     "7:\n\t"
                     "ldm r4!, {r7}\n\t"
                     "eors r6, r7\n\t"
                     "uxtb r7, r6\n\t"
                     "lsls r7, r7, #2\n\t"
                     "ldr r7, [r3, r7]\n\t"
                     "lsrs r6, r6, #8\n\t"
                     "eors r6, r7\n\t"
                     "uxtb r7, r6\n\t"
                     "lsls r7, r7, #2\n\t"
                     "ldr r7, [r3, r7]\n\t"
                     "lsrs r6, r6, #8\n\t"
                     "eors r6, r7\n\t"
                     "uxtb r7, r6\n\t"
                     "lsls r7, r7, #2\n\t"
                     "ldr r7, [r3, r7]\n\t"
                     "lsrs r6, r6, #8\n\t"
                     "eors r6, r7\n\t"
                     "11:\n\t" /* the step a byte takes, and a word's last */
                     "uxtb r7, r6\n\t"
                     "lsls r7, r7, #2\n\t"
                     "ldr r7, [r3, r7]\n\t"
                     "lsrs r6, r6, #8\n\t"
                     "eors r6, r7\n\t"
                     "b 5b\n\t"
                     "8:\n\t"
                     "mvns r6, r6\n\t"
                     "stm r2!, {r6}\n\t"
                     "subs r1, #1\n\t"
                     "b 4b\n\t"
                     "9:\n\t"
                     "pop {r0, r4, r5, r6, r7, pc}\n\t"
                     ".balign 4\n\t"
                     "10:\n\t"
                     ".word 0xEDB88320\n\t"
                     ".syntax divided");
}
