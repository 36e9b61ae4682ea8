// The serial API of 86.0 (furi_hal_serial_control.h, furi_hal_serial.h) on the runtime's UARTs;
// the state is host::SerialControl's.
#include <furi_hal_serial.h>
#include <furi_hal_serial_control.h>

#include "host/runtime.h"
#include "host/serial.h"

namespace {

host::SerialControl& control() {
    return host::Runtime::current().serial();
}

// Interrupt context: the byte waits in the handle's data register for the app's callback.
void dispatch(FuriHalSerialHandle* handle) {
    const auto callback = reinterpret_cast<FuriHalSerialAsyncRxCallback>(handle->app_callback);
    callback(handle, FuriHalSerialRxEventData, handle->app_context);
}

} // namespace

extern "C" {

FuriHalSerialHandle* furi_hal_serial_control_acquire(FuriHalSerialId serial_id) {
    return control().acquire(static_cast<int>(serial_id));
}

void furi_hal_serial_control_release(FuriHalSerialHandle* handle) {
    control().release(handle);
}

void furi_hal_serial_init(FuriHalSerialHandle* handle, uint32_t baud) {
    control().init(handle, baud);
}

void furi_hal_serial_deinit(FuriHalSerialHandle* handle) {
    control().deinit(handle);
}

void furi_hal_serial_set_br(FuriHalSerialHandle* handle, uint32_t baud) {
    control().set_baud_rate(handle, baud);
}

void furi_hal_serial_tx(FuriHalSerialHandle* handle, const uint8_t* buffer, size_t buffer_size) {
    control().transmit(handle, buffer, buffer_size);
}

void furi_hal_serial_tx_wait_complete(FuriHalSerialHandle* handle) {
    control().wait_until_sent(handle);
}

void furi_hal_serial_async_rx_start(
    FuriHalSerialHandle* handle,
    FuriHalSerialAsyncRxCallback callback,
    void* context,
    bool report_errors) {
    (void)report_errors; // the virtual line makes no framing, noise or overrun errors
    control().start_receiving(handle, dispatch, reinterpret_cast<void (*)()>(callback), context);
}

void furi_hal_serial_async_rx_stop(FuriHalSerialHandle* handle) {
    control().stop_receiving(handle);
}

bool furi_hal_serial_async_rx_available(FuriHalSerialHandle* handle) {
    return control().byte_available(handle);
}

uint8_t furi_hal_serial_async_rx(FuriHalSerialHandle* handle) {
    return control().read_byte(handle);
}

} // extern "C"
