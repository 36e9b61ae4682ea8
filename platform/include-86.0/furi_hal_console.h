/* Not in the SDK at API 86.0: acquiring the USART with furi_hal_serial_control_acquire detaches the log from it. */
#pragma once
#if defined(__arm__) || !defined(FURI_HOST_RUNTIME)
#error "furi_hal_console.h is not in the SDK at API 86.0: acquiring the USART detaches the log"
#else
/* The host runtime serves both SDKs from one library; its own sources still see the 36.x one. */
#include_next <furi_hal_console.h>
#endif
