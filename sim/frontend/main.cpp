// fsim: runs the apps on the host runtime.
#include <cstdio>

#include "host/runtime.h"

int main() {
    host::Runtime runtime;
    furi_delay_ms(100);
    std::printf("runtime started; virtual time %u ms\n", static_cast<unsigned>(runtime.tick()));
    return 0;
}
