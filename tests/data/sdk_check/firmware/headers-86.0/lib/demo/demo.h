/**
 * @file demo.h
 * Demo service
 */
#pragma once

#include <stdint.h>
#include <stddef.h>
#include "demo_config.h"
#include <stm32_missing.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DEMO_RECORD "demo"
#define DEMO_MAX_ITEMS (DEMO_CONFIG_LIMIT - 1U)

/** Modes */
typedef enum {
    DemoModeOff,
    DemoModeOn = (1 << 3), /**< comment */
    DemoModeAuto,
    DemoModeMAX,
} DemoMode;

typedef struct Demo Demo;

typedef struct {
    const uint8_t width;
    DemoMode mode;
} DemoInfo;

typedef void (*DemoCallback)(DemoMode mode, void* context);

Demo* demo_alloc(void) FURI_WARN_UNUSED;

void demo_set_callback(Demo* demo, DemoCallback callback, void* context);

void demo_write(Demo* demo, const uint8_t* data, uint32_t size);

static inline uint32_t demo_limit(const Demo* demo) {
    (void)demo;
    return DEMO_CONFIG_LIMIT;
}

void demo_internal_reset(Demo* demo);

extern const uint32_t demo_version;

#ifdef __cplusplus
}
#endif
