/* Recurses with a 256-byte frame until its 1 KiB stack is gone. */
#include <furi.h>

static volatile uint32_t sink;

static uint32_t __attribute__((noinline)) descend(uint32_t depth) {
    volatile uint8_t frame[256];
    frame[depth % sizeof(frame)] = (uint8_t)depth;
    sink = frame[0];
    return depth == 0 ? 0 : descend(depth - 1) + frame[depth % sizeof(frame)];
}

int32_t fault_stack_main(void* p) {
    (void)p;
    return (int32_t)descend(64);
}
