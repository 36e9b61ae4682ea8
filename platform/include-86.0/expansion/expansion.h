/* The expansion service listens on the USART for an expansion module. An app that takes the USART
 * calls expansion_disable before furi_hal_serial_control_acquire and expansion_enable right after
 * furi_hal_serial_control_release. */
#pragma once

#include <furi_hal_serial_types.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RECORD_EXPANSION "expansion"

typedef struct Expansion Expansion;

/** Listens again, as the user's settings say. */
void expansion_enable(Expansion* instance);
/** Stops listening and lets go of the serial port. */
void expansion_disable(Expansion* instance);

#ifdef __cplusplus
}
#endif
