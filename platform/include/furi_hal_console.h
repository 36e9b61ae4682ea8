#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* The firmware's console shares USART1 with whatever is wired to pins 13 and 14: from boot every
 * log line that passes the log level is also written out on its TX pin. An app that uses USART1
 * for its own device switches the console off while it does, and back on when done. */
void furi_hal_console_enable(void);
void furi_hal_console_disable(void);

#ifdef __cplusplus
}
#endif
