/* The demo service at 86.0. */
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DEMO_RECORD "de" "mo"
#define DEMO_MAX_ITEMS 15

typedef enum {
    DemoModeOff = 0,
    DemoModeOn = 8,
    DemoModeAuto = 9,
    DemoModeMAX = 10,
} DemoMode;

typedef struct Demo Demo;

typedef struct {
    const uint8_t width;
    DemoMode mode;
} DemoInfo;

typedef void (*DemoCallback)(DemoMode, void* ctx);

__attribute__((warn_unused_result)) Demo* demo_alloc();
void demo_set_callback(Demo* d, DemoCallback cb, void* ctx);
void demo_write(Demo* d, const uint8_t data[], const uint32_t n);
void demo_reload(Demo* d);

static inline uint32_t demo_limit(const Demo* demo) {
    return demo ? 16 : 0;
}

extern const uint32_t demo_version;

#if !defined(__arm__)
/* Only the host runtime has these. */
#define DEMO_HOST_ONLY 1
void demo_host_reset(Demo* demo);
#endif

#ifdef __cplusplus
}
#endif
