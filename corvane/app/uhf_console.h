#pragma once
// The firmware's console on USART1. The firmware (API 36.0) exports these two from
// <furi_hal_console.h>; our SDK headers do not carry that header yet, so corvane declares them
// here in the firmware's own form. Drop this file once the SDK header is there.

#ifdef __cplusplus
extern "C" {
#endif

/** Stops log lines from going out on USART1's TX pin. */
void furi_hal_console_disable(void);
/** Lets log lines go out on USART1 again. */
void furi_hal_console_enable(void);

#ifdef __cplusplus
}
#endif
