#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    FuriHalUartIdUSART1 = 0,
    FuriHalUartIdLPUART1 = 1,
} FuriHalUartId;

typedef enum {
    UartIrqEventRXNE = 0,
} UartIrqEvent;

void furi_hal_uart_init(FuriHalUartId channel, uint32_t baud);
void furi_hal_uart_deinit(FuriHalUartId channel);
void furi_hal_uart_suspend(FuriHalUartId channel);
void furi_hal_uart_resume(FuriHalUartId channel);
void furi_hal_uart_set_br(FuriHalUartId channel, uint32_t baud);
void furi_hal_uart_tx(FuriHalUartId channel, uint8_t* buffer, size_t buffer_size);
/** The callback runs in interrupt context, once per received byte. A null callback unregisters. */
void furi_hal_uart_set_irq_cb(
    FuriHalUartId channel,
    void (*callback)(UartIrqEvent event, uint8_t data, void* context),
    void* context);

#ifdef __cplusplus
}
#endif
