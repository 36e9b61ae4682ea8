#pragma once

#include <stddef.h>
#include <stdint.h>

#include <furi_hal_serial_types.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Switches the UART on at `baud`, 8N1. Initialising a UART that is on already is a furi_check
 *  failure (its peripheral clock is on). */
void furi_hal_serial_init(FuriHalSerialHandle* handle, uint32_t baud);
/** Stops reception and switches the UART off. */
void furi_hal_serial_deinit(FuriHalSerialHandle* handle);
/** Changes the rate once the byte being sent has left. */
void furi_hal_serial_set_br(FuriHalSerialHandle* handle, uint32_t baud);
/** Returns when the last byte is in the transmitter (a busy wait); sends nothing while off. */
void furi_hal_serial_tx(FuriHalSerialHandle* handle, const uint8_t* buffer, size_t buffer_size);
/** Waits until the last byte has left the pin. */
void furi_hal_serial_tx_wait_complete(FuriHalSerialHandle* handle);

typedef enum {
    FuriHalSerialRxEventData = (1 << 0),
    FuriHalSerialRxEventIdle = (1 << 1),
    FuriHalSerialRxEventFrameError = (1 << 2),
    FuriHalSerialRxEventNoiseError = (1 << 3),
    FuriHalSerialRxEventOverrunError = (1 << 4),
    FuriHalSerialRxEventParityError = (1 << 5),
} FuriHalSerialRxEvent;

/** Called in interrupt context; on FuriHalSerialRxEventData it reads the byte with
 *  furi_hal_serial_async_rx. */
typedef void (*FuriHalSerialAsyncRxCallback)(
    FuriHalSerialHandle* handle,
    FuriHalSerialRxEvent event,
    void* context);

void furi_hal_serial_async_rx_start(
    FuriHalSerialHandle* handle,
    FuriHalSerialAsyncRxCallback callback,
    void* context,
    bool report_errors);
void furi_hal_serial_async_rx_stop(FuriHalSerialHandle* handle);
/** Only inside the receive callback: whether a received byte waits to be read. */
bool furi_hal_serial_async_rx_available(FuriHalSerialHandle* handle);
/** Only inside the receive callback (a furi_check failure elsewhere): the received byte. */
uint8_t furi_hal_serial_async_rx(FuriHalSerialHandle* handle);

#ifdef __cplusplus
}
#endif
