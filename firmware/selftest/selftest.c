/* The board's own check after programming, as a production line would run it: test a RAM
   block, then report over RTT up-buffer 0 "SELFTEST PASS ..." or "SELFTEST FAIL ...".

   The mode word at 0x0800FFF0 (outside the image, so a test programs it as its own 4 bytes)
   chooses what happens: erased (0xFFFFFFFF) runs the check and passes; "FAIL" reports a failure;
   "SLNT" sets RTT up and never gives a verdict; "NORT" never sets RTT up; "BADB" publishes a
   control block whose buffer runs past the RAM. */
#include "firmware.h"

#ifdef SELFTEST_QB48
/* The QB48x board: the word below the top of its APROM, and no ID register. */
#define MODE_WORD 0x0001DFF0u
#else
#define MODE_WORD 0x0800FFF0u
#define UID_BASE 0x40010100u
#define UID_WORDS 3u
#endif
#define MODE_FAIL 0x4C494146u /* "FAIL" */
#define MODE_SILENT 0x544E4C53u /* "SLNT" */
#define MODE_NO_RTT 0x54524F4Eu /* "NORT" */
#define MODE_BAD_BLOCK 0x42444142u /* "BADB" */
#define UP_SIZE 512u

struct RttBuffer
{
    const char *name;
    char *buffer;
    uint32_t size;
    volatile uint32_t wrOff;
    volatile uint32_t rdOff;
    uint32_t flags;
};

struct RttControl
{
    char id[16];
    int32_t upCount;
    int32_t downCount;
    struct RttBuffer up[1];
    struct RttBuffer down[1];
};

static struct RttControl rtt;
static char upBuffer[UP_SIZE];
static uint32_t ramTest[64];
static const char channelName[] = "Terminal";
static const char rttId[] = "SEGGER RTT";

static void rttInit(uint32_t size)
{
    rtt.upCount = 1;
    rtt.downCount = 1;
    rtt.up[0].name = channelName;
    rtt.up[0].buffer = upBuffer;
    rtt.up[0].size = size;
    rtt.up[0].flags = 0; /* skip when full: never used, the writer below waits */
    /* The id last, byte by byte from flash: a host never sees a half-made block, and no copy of
       the id lies elsewhere in RAM. */
    for (int i = (int)sizeof rttId - 1; i >= 0; --i) {
        ((volatile char *)rtt.id)[i] = rttId[i];
    }
}

/* Waits while the host has not read far enough: nothing printed is lost. */
static void rttWrite(const char *text)
{
    struct RttBuffer *b = &rtt.up[0];
    for (; *text; ++text) {
        uint32_t next = b->wrOff + 1u;
        if (next >= b->size) {
            next = 0;
        }
        while (next == b->rdOff) { }
        b->buffer[b->wrOff] = *text;
        b->wrOff = next;
    }
}

static void hex32(char *out, uint32_t value)
{
    for (int i = 7; i >= 0; --i) {
        out[i] = "0123456789abcdef"[value & 0xFu];
        value >>= 4;
    }
    out[8] = 0;
}

/* Walking ones through a block of RAM: the number of words that did not hold their value. */
static uint32_t ramErrors(void)
{
    uint32_t errors = 0;
    for (uint32_t bit = 0; bit < 32; ++bit) {
        for (uint32_t i = 0; i < sizeof ramTest / sizeof *ramTest; ++i) {
            ((volatile uint32_t *)ramTest)[i] = (1u << bit) ^ i;
        }
        for (uint32_t i = 0; i < sizeof ramTest / sizeof *ramTest; ++i) {
            errors += ((volatile uint32_t *)ramTest)[i] != ((1u << bit) ^ i);
        }
    }
    return errors;
}

int main(void)
{
    const uint32_t mode = REG32(MODE_WORD);
    if (mode == MODE_NO_RTT) {
        for (;;) { }
    }
    rttInit(mode == MODE_BAD_BLOCK ? 0x00100000u : UP_SIZE);
    if (mode == MODE_BAD_BLOCK) {
        for (;;) { }
    }
    rttWrite("selftest: ram ");
    const uint32_t errors = ramErrors();
    rttWrite(errors == 0 ? "ok\n" : "errors\n");
    if (mode == MODE_SILENT) {
        for (;;) { }
    }
    if (mode == MODE_FAIL || errors != 0) {
        rttWrite("SELFTEST FAIL ram\n");
    } else {
        rttWrite("SELFTEST PASS uid=");
#ifdef UID_WORDS
        char word[9];
        for (uint32_t i = 0; i < UID_WORDS; ++i) {
            hex32(word, REG32(UID_BASE + 4u * i));
            rttWrite(word);
        }
#else
        rttWrite("none");
        (void)hex32;
#endif
        rttWrite("\n");
    }
    for (;;) { }
}
