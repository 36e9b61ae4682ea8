#pragma once
#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Switches the 5 V output on; true when it is on afterwards. */
bool furi_hal_power_enable_otg(void);
void furi_hal_power_disable_otg(void);
bool furi_hal_power_is_otg_enabled(void);

#ifdef __cplusplus
}
#endif
