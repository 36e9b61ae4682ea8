#include <furi_hal_uart.h>

#include <algorithm>

#include "core/fatal.h"
#include "core/internals.h"
#include "host/runtime.h"
#include "host/uart.h"

namespace host {

UartPort::UartPort(Runtime& runtime, FuriHalUartId id) : runtime_(runtime), id_(id) {}

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
    // The call returns at once; the bytes leave the pin one byte time apart.
    const Nanos start = std::max(runtime_.now(), line_free_at_);
    for(std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = data[i];
        transmitted_.push_back(byte);
        const Nanos arrival = start + (i + 1) * byte_time();
        runtime_.schedule_at(arrival, [this, byte] {
            if(peer_) peer_->on_byte_from_device(byte);
        });
        line_free_at_ = arrival;
    }
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
    runtime_.schedule_after(byte_time(), [this] { deliver_to_device(); });
}

void UartPort::deliver_to_device() {
    if(to_device_.empty()) {
        delivery_scheduled_ = false;
        return;
    }
    const std::uint8_t byte = to_device_.front();
    to_device_.pop_front();
    if(rx_callback_) {
        rx_callback_(UartIrqEventRXNE, byte, rx_context_);
    } else {
        ++dropped_;
    }
    schedule_next_to_device();
}

void UartPort::reset() {
    peer_ = nullptr;
    baud_ = 115200;
    rx_callback_ = nullptr;
    rx_context_ = nullptr;
    to_device_.clear();
    transmitted_.clear();
    dropped_ = 0;
}

}  // namespace host

namespace {
host::UartPort& port(FuriHalUartId channel) {
    return host::Runtime::current().uart(channel);
}
}  // namespace

extern "C" {

void furi_hal_uart_init(FuriHalUartId channel, uint32_t baud) {
    port(channel).set_baud_rate(baud);
}

void furi_hal_uart_deinit(FuriHalUartId channel) {
    port(channel).set_rx_callback(nullptr, nullptr);
}

void furi_hal_uart_suspend(FuriHalUartId channel) {
    (void)port(channel);
}

void furi_hal_uart_resume(FuriHalUartId channel) {
    (void)port(channel);
}

void furi_hal_uart_set_br(FuriHalUartId channel, uint32_t baud) {
    port(channel).set_baud_rate(baud);
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

}  // extern "C"
