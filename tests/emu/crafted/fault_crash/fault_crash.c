/* Stops the firmware with a message, as furi_check and furi_crash do. */
#include <furi.h>

int32_t fault_crash_main(void* p) {
    furi_check(p == NULL);
    furi_crash("crafted crash");
}
