/* The same self-test built for the QB48x board (flash at 0, 16 KiB of RAM). */
#define SELFTEST_QB48 1
#include "selftest.c"
