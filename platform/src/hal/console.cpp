#include <furi_hal_console.h>

#include "host/runtime.h"

extern "C" {

void furi_hal_console_enable(void) {
    host::Runtime::current().set_console_enabled(true);
}

void furi_hal_console_disable(void) {
    host::Runtime::current().set_console_enabled(false);
}

} // extern "C"
