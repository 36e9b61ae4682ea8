#pragma once
#include <furi/core/base.h>

#ifdef __cplusplus
extern "C" {
#endif

/** True when called from interrupt context. */
bool furi_kernel_is_irq_or_masked(void);
/** Ticks per second: one tick is one millisecond. */
uint32_t furi_kernel_get_tick_frequency(void);
uint32_t furi_get_tick(void);
uint32_t furi_ms_to_ticks(uint32_t milliseconds);
void furi_delay_tick(uint32_t ticks);
void furi_delay_ms(uint32_t milliseconds);
void furi_delay_us(uint32_t microseconds);

#ifdef __cplusplus
}
#endif
