/* Reads a word at an address where it has no section, heap block or stack (and where the
 * device has no RAM either). */
#include <furi.h>

static volatile uintptr_t wild_address = 0x21000000u;

int32_t fault_read_main(void* p) {
    (void)p;
    volatile uint32_t* wild = (volatile uint32_t*)wild_address;
    return (int32_t)*wild;
}
