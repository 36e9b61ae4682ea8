/* Not in the SDK at API 86.0: the serial API replaces it (furi_hal_serial_control.h, furi_hal_serial.h). */
#pragma once
#if defined(__arm__) || !defined(FURI_HOST_RUNTIME)
#error "furi_hal_uart.h is not in the SDK at API 86.0: use furi_hal_serial_control.h and furi_hal_serial.h"
#else
/* The host runtime serves both SDKs from one library; its own sources still see the 36.x one. */
#include_next <furi_hal_uart.h>
#endif
