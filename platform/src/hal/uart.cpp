#include <furi_hal_uart.h>

#include <algorithm>

#include "core/fatal.h"
#include "core/internals.h"
#include "core/scheduler.h"
#include "host/runtime.h"
#include "host/uart.h"

namespace host {

namespace {
// The console's rate; LPUART1 has none until furi_hal_uart_init.
constexpr std::uint32_t kConsoleBaud = 230400;
constexpr std::uint32_t kLpuartDefaultBaud = 115200;
} // namespace

UartPort::UartPort(Runtime& runtime, FuriHalUartId id)
    : runtime_(runtime)
    , id_(id) {
    reset();
}

void UartPort::attach(UartPeer* peer) {
    peer_ = peer;
    if(peer_) peer_->on_baud_rate(baud_);
}

Nanos UartPort::byte_time() const {
    // Start bit, eight data bits, stop bit.
    return baud_ == 0 ? kForever : (10ull * kSecond + baud_ / 2) / baud_;
}

void UartPort::set_baud_rate(std::uint32_t baud) {
    if(baud == 0) fatal("furi_hal_uart_set_br: baud rate 0 on UART %d", static_cast<int>(id_));
    baud_ = baud;
    if(peer_) peer_->on_baud_rate(baud);
}

void UartPort::set_rx_callback(void (*cb)(UartIrqEvent, std::uint8_t, void*), void* context) {
    rx_callback_ = cb;
    rx_context_ = cb ? context : nullptr;
}

void UartPort::transmit(const std::uint8_t* data, std::size_t size) {
    if(!enabled_ || size == 0) return;
    // Byte i moves into the shift register once byte i-1 has left it, and reaches the peer when
    // its stop bit ends. The device's loop writes each byte as soon as the data register is free,
    // so the call returns when the last byte has moved into the shift register.
    const Nanos bt = byte_time();
    const Nanos start = std::max(runtime_.now(), line_free_at_);
    for(std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = data[i];
        transmitted_.push_back(byte);
        const Nanos arrival = start + (i + 1) * bt;
        runtime_.scheduler().schedule_call_at(arrival, &UartPort::reach_peer_event, this, byte);
        line_free_at_ = arrival;
    }
    busy_wait_until(start + (size - 1) * bt);
}

void UartPort::reach_peer_event(void* port, std::uint64_t byte) {
    auto* self = static_cast<UartPort*>(port);
    const auto value = static_cast<std::uint8_t>(byte);
    if(self->monitor_) self->monitor_(UartDirection::FromDevice, value, self->runtime_.now());
    if(self->peer_) self->peer_->on_byte_from_device(value);
}

void UartPort::wait_until_sent() {
    busy_wait_until(line_free_at_);
}

void UartPort::busy_wait_until(Nanos until) {
    // In interrupt context the wait stalls nothing the runtime models (and is not counted).
    if(until <= runtime_.now() || Scheduler::in_interrupt()) return;
    busy_ += until - runtime_.now();
    runtime_.scheduler().busy_wait_until(until);
}

void UartPort::send_to_device(std::span<const std::uint8_t> bytes) {
    to_device_.insert(to_device_.end(), bytes.begin(), bytes.end());
    if(!delivery_scheduled_) schedule_next_to_device();
}

void UartPort::drop_pending_to_device() {
    to_device_.clear();
}

void UartPort::schedule_next_to_device() {
    if(to_device_.empty()) {
        delivery_scheduled_ = false;
        return;
    }
    delivery_scheduled_ = true;
    runtime_.scheduler().schedule_call_at(
        runtime_.now() + byte_time(), &UartPort::deliver_to_device_event, this, 0);
}

void UartPort::deliver_to_device_event(void* port, std::uint64_t) {
    static_cast<UartPort*>(port)->deliver_to_device();
}

void UartPort::deliver_to_device() {
    if(to_device_.empty()) {
        delivery_scheduled_ = false;
        return;
    }
    const std::uint8_t byte = to_device_.front();
    to_device_.pop_front();
    if(monitor_) monitor_(UartDirection::ToDevice, byte, runtime_.now());
    if(rx_callback_) {
        rx_callback_(UartIrqEventRXNE, byte, rx_context_);
    } else {
        ++dropped_;
    }
    schedule_next_to_device();
}

void UartPort::reset() {
    peer_ = nullptr;
    enabled_ = id_ == FuriHalUartIdUSART1;
    baud_ = enabled_ ? kConsoleBaud : kLpuartDefaultBaud;
    line_free_at_ = 0;
    rx_callback_ = nullptr;
    rx_context_ = nullptr;
    to_device_.clear();
    transmitted_.clear();
    dropped_ = 0;
    busy_ = 0;
    monitor_ = nullptr;
}

} // namespace host

namespace {
host::UartPort& port(FuriHalUartId channel) {
    return host::Runtime::current().uart(channel);
}
} // namespace

extern "C" {

void furi_hal_uart_init(FuriHalUartId channel, uint32_t baud) {
    auto& uart = port(channel);
    uart.set_baud_rate(baud);
    uart.set_enabled(true);
}

void furi_hal_uart_deinit(FuriHalUartId channel) {
    auto& uart = port(channel);
    uart.set_rx_callback(nullptr, nullptr);
    uart.set_enabled(false);
}

void furi_hal_uart_suspend(FuriHalUartId channel) {
    (void)port(channel);
}

void furi_hal_uart_resume(FuriHalUartId channel) {
    (void)port(channel);
}

void furi_hal_uart_set_br(FuriHalUartId channel, uint32_t baud) {
    auto& uart = port(channel);
    uart.wait_until_sent(); // as on the device: the rate changes once transmission is complete
    uart.set_baud_rate(baud);
}

void furi_hal_uart_tx(FuriHalUartId channel, uint8_t* buffer, size_t buffer_size) {
    if(buffer == nullptr && buffer_size != 0) host::fatal("furi_hal_uart_tx: buffer is null");
    port(channel).transmit(buffer, buffer_size);
}

void furi_hal_uart_set_irq_cb(
    FuriHalUartId channel,
    void (*callback)(UartIrqEvent event, uint8_t data, void* context),
    void* context) {
    port(channel).set_rx_callback(callback, context);
}

} // extern "C"
