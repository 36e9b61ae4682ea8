#pragma once

#include <furi_hal_serial_types.h>

#ifdef __cplusplus
extern "C" {
#endif

/** The UART's handle, or null while another owner holds it. Acquiring the UART the log writes to
 *  detaches the log from it until the release. Call expansion_disable first for the USART. */
FuriHalSerialHandle* furi_hal_serial_control_acquire(FuriHalSerialId serial_id);
/** Deinitialises the UART and gives it back (to the log, when it wrote there). The handle must be
 *  held: releasing one that is not is a furi_check failure. */
void furi_hal_serial_control_release(FuriHalSerialHandle* handle);

#ifdef __cplusplus
}
#endif
