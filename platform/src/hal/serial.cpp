// The 86.0 serial control's state over the UART ports (see host/serial.h). The C API of 86.0 is in
// platform/src/api86/serial.cpp.
#include "host/serial.h"

#include <furi_hal_uart.h>

#include "core/fatal.h"
#include "core/scheduler.h"
#include "host/runtime.h"
#include "host/uart.h"

namespace host {

namespace {

// The UART port's receive callback: hands the byte to the serial control of the live runtime.
void on_byte(UartIrqEvent /*event*/, std::uint8_t byte, void* context) {
    Runtime::current().serial().deliver(*static_cast<FuriHalSerialHandle*>(context), byte);
}

} // namespace

SerialControl::SerialControl(Runtime& runtime)
    : runtime_(runtime) {
    handles_[kUsart].id = kUsart;
    handles_[kLpuart].id = kLpuart;
}

FuriHalSerialHandle& SerialControl::checked(FuriHalSerialHandle* handle, const char* function) {
    if(handle != &handles_[kUsart] && handle != &handles_[kLpuart])
        fatal("%s: not a serial handle (%p)", function, static_cast<void*>(handle));
    return *handle;
}

UartPort& SerialControl::port(const FuriHalSerialHandle& handle) {
    return runtime_.uart(handle.id == kUsart ? FuriHalUartIdUSART1 : FuriHalUartIdLPUART1);
}

FuriHalSerialHandle* SerialControl::acquire(int id) {
    if(id != kUsart && id != kLpuart)
        fatal("furi_hal_serial_control_acquire: no UART with id %d", id);
    FuriHalSerialHandle& handle = handles_[id];
    if(handle.held) return nullptr;
    if(id == kUsart && runtime_.console_enabled()) {
        // The log lets go of the USART: it is switched off until the release gives it back.
        runtime_.set_console_enabled(false);
        port(handle).set_enabled(false);
    }
    handle.held = true;
    return &handle;
}

void SerialControl::release(FuriHalSerialHandle* handle) {
    FuriHalSerialHandle& h = checked(handle, "furi_hal_serial_control_release");
    if(!h.held) fatal("furi_hal_serial_control_release: the UART is not held (furi_check failed)");
    deinit(handle);
    h.held = false;
    if(h.id == kUsart) {
        // Back to the log, at its rate.
        UartPort& uart = port(h);
        uart.set_baud_rate(kLogBaud);
        uart.set_enabled(true);
        runtime_.set_console_enabled(true);
    }
}

void SerialControl::init(FuriHalSerialHandle* handle, std::uint32_t baud) {
    FuriHalSerialHandle& h = checked(handle, "furi_hal_serial_init");
    UartPort& uart = port(h);
    // The device enables the UART's peripheral clock, which must be off.
    if(uart.enabled())
        fatal("furi_hal_serial_init: UART %d is on already (furi_check failed)", h.id);
    uart.set_baud_rate(baud);
    uart.set_enabled(true);
}

void SerialControl::deinit(FuriHalSerialHandle* handle) {
    FuriHalSerialHandle& h = checked(handle, "furi_hal_serial_deinit");
    stop_receiving(handle);
    port(h).set_enabled(false);
}

void SerialControl::set_baud_rate(FuriHalSerialHandle* handle, std::uint32_t baud) {
    UartPort& uart = port(checked(handle, "furi_hal_serial_set_br"));
    if(uart.enabled()) uart.wait_until_sent(); // the rate changes once transmission is complete
    uart.set_baud_rate(baud);
}

void SerialControl::transmit(
    FuriHalSerialHandle* handle,
    const std::uint8_t* data,
    std::size_t size) {
    FuriHalSerialHandle& h = checked(handle, "furi_hal_serial_tx");
    if(data == nullptr && size != 0) fatal("furi_hal_serial_tx: buffer is null");
    port(h).transmit(data, size);
}

void SerialControl::wait_until_sent(FuriHalSerialHandle* handle) {
    port(checked(handle, "furi_hal_serial_tx_wait_complete")).wait_until_sent();
}

void SerialControl::start_receiving(
    FuriHalSerialHandle* handle,
    void (*dispatch)(FuriHalSerialHandle* handle),
    void (*app_callback)(),
    void* app_context) {
    FuriHalSerialHandle& h = checked(handle, "furi_hal_serial_async_rx_start");
    if(dispatch == nullptr || app_callback == nullptr)
        fatal("furi_hal_serial_async_rx_start: no callback (furi_check failed)");
    h.dispatch = dispatch;
    h.app_callback = app_callback;
    h.app_context = app_context;
    h.rx_full = false;
    port(h).set_rx_callback(on_byte, handle);
}

void SerialControl::stop_receiving(FuriHalSerialHandle* handle) {
    FuriHalSerialHandle& h = checked(handle, "furi_hal_serial_async_rx_stop");
    port(h).set_rx_callback(nullptr, nullptr);
    h.dispatch = nullptr;
    h.app_callback = nullptr;
    h.app_context = nullptr;
    h.rx_full = false;
}

bool SerialControl::byte_available(FuriHalSerialHandle* handle) {
    FuriHalSerialHandle& h = checked(handle, "furi_hal_serial_async_rx_available");
    if(!Scheduler::in_interrupt())
        fatal(
            "furi_hal_serial_async_rx_available: only in the receive callback (furi_check failed)");
    return h.rx_full;
}

std::uint8_t SerialControl::read_byte(FuriHalSerialHandle* handle) {
    FuriHalSerialHandle& h = checked(handle, "furi_hal_serial_async_rx");
    if(!Scheduler::in_interrupt())
        fatal("furi_hal_serial_async_rx: only in the receive callback (furi_check failed)");
    h.rx_full = false;
    return h.rx_data;
}

void SerialControl::deliver(FuriHalSerialHandle& handle, std::uint8_t byte) {
    // A UART that is off hears nothing; a callback that leaves the byte unread would, on the
    // device, be called again at once for ever. Both lose the byte here.
    if(!port(handle).enabled() || handle.dispatch == nullptr) {
        ++lost_;
        return;
    }
    handle.rx_data = byte;
    handle.rx_full = true;
    handle.dispatch(&handle);
    if(handle.rx_full) {
        handle.rx_full = false;
        ++lost_;
    }
}

bool SerialControl::held(int id) const {
    return (id == kUsart || id == kLpuart) && handles_[id].held;
}

bool SerialControl::log_attached() const {
    return runtime_.console_enabled();
}

} // namespace host
