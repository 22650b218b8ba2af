/* Vector table and reset code shared by the firmware images. An image overrides a handler by
   defining a function of the same name. */
#include "firmware.h"

extern uint32_t __stack_top, __data_start, __data_end, __data_load, __bss_start, __bss_end;

void Reset_Handler(void);
void __attribute__((weak)) Default_Handler(void)
{
    for (;;) { }
}
void NMI_Handler(void) __attribute__((weak, alias("Default_Handler")));
void HardFault_Handler(void) __attribute__((weak, alias("Default_Handler")));
void SVC_Handler(void) __attribute__((weak, alias("Default_Handler")));
void PendSV_Handler(void) __attribute__((weak, alias("Default_Handler")));
void SysTick_Handler(void) __attribute__((weak, alias("Default_Handler")));

typedef void (*Vector)(void);
__attribute__((section(".vectors"), used)) static const Vector vectors[16] = {
    (Vector)&__stack_top,
    Reset_Handler,
    NMI_Handler,
    HardFault_Handler,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    SVC_Handler,
    0,
    0,
    PendSV_Handler,
    SysTick_Handler,
};

void Reset_Handler(void)
{
    const uint32_t *from = &__data_load;
    for (uint32_t *to = &__data_start; to < &__data_end;) {
        *to++ = *from++;
    }
    for (uint32_t *to = &__bss_start; to < &__bss_end;) {
        *to++ = 0;
    }
    main();
    for (;;) { }
}
