/* Loads a 64-bit value with LDRD from a halfword-aligned address: the Cortex-M4 takes a
 * UsageFault (it allows unaligned LDR, never unaligned LDRD/STRD/LDM/STM). */
#include <furi.h>

static uint32_t words[4] = {1, 2, 3, 4};
static volatile uintptr_t skew = 2;

int32_t fault_unaligned_main(void* p) {
    (void)p;
    const uint8_t* at = (const uint8_t*)words + skew;
    uint32_t low, high;
    __asm volatile("ldrd %0, %1, [%2]" : "=r"(low), "=r"(high) : "r"(at) : "memory");
    return (int32_t)(low + high);
}
