#pragma once
#include <furi_hal_uart.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "host/time.h"

namespace host {

class Runtime;

/// Something wired to a UART's pins: a reader module model, a scripted replayer, a serial bridge.
class UartPeer {
public:
    virtual ~UartPeer() = default;
    /// One byte the device sent, at the virtual time its stop bit ends. Interrupt context.
    virtual void on_byte_from_device(std::uint8_t byte) = 0;
    /// The device changed the line's baud rate.
    virtual void on_baud_rate(std::uint32_t /*baud*/) {}
    /// Empty while the line works; once it failed for good (a real port that went away), what
    /// happened and when, for the user.
    virtual std::string failure() const { return {}; }
};

/// Which way a byte crossed the line.
enum class UartDirection {
    FromDevice, ///< the device's TX pin: the byte reached the peer
    ToDevice,   ///< the device's RX pin: the byte reached the receive interrupt (or was dropped)
};

/// One UART of the device. Bytes the device sends reach the attached peer one byte time apart;
/// bytes the peer sends reach the device's receive callback one byte time apart, in interrupt
/// context. As on the device, furi_hal_uart_tx busy-waits: the caller's virtual clock advances
/// until its last byte is in the shift register, and it sends nothing while the UART is off.
/// USART1 is on from boot at 230400 baud (it carries the console); LPUART1 is off until
/// furi_hal_uart_init.
class UartPort {
public:
    UartPort(Runtime& runtime, FuriHalUartId id);
    UartPort(const UartPort&) = delete;
    UartPort& operator=(const UartPort&) = delete;

    /// Not owned; null detaches. The peer must outlive its attachment.
    void attach(UartPeer* peer);
    UartPeer* peer() const { return peer_; }

    /// Queues bytes towards the device, after those already queued.
    void send_to_device(std::span<const std::uint8_t> bytes);
    /// Bytes queued towards the device and not yet delivered.
    std::size_t pending_to_device() const { return to_device_.size(); }
    /// Drops bytes queued towards the device (a peer that goes silent mid-frame).
    void drop_pending_to_device();

    std::uint32_t baud_rate() const { return baud_; }
    /// On between furi_hal_uart_init and furi_hal_uart_deinit (USART1 from boot).
    bool enabled() const { return enabled_; }
    /// Ten bit times (start, 8 data, stop) at the current baud rate.
    Nanos byte_time() const;
    bool has_rx_callback() const { return rx_callback_ != nullptr; }

    /// Everything the device has sent, in order (for tests).
    const std::vector<std::uint8_t>& transmitted() const { return transmitted_; }
    void clear_transmitted() { transmitted_.clear(); }
    /// Virtual time the device's threads have spent busy-waiting on this UART so far (sending,
    /// console lines, baud rate changes).
    Nanos sender_busy() const { return busy_; }
    /// Bytes delivered to the device while no callback was registered.
    std::uint64_t dropped_without_callback() const { return dropped_; }

    /// A probe on both pins, as a logic analyser sees them: called in interrupt context with each
    /// byte at the virtual time its stop bit ends (the time the peer or the receive interrupt gets
    /// it). An empty function removes it; reset() does too.
    using LineMonitor = std::function<void(UartDirection, std::uint8_t, Nanos)>;
    void set_monitor(LineMonitor monitor) { monitor_ = std::move(monitor); }

    // Platform side, called by furi_hal_uart_* and the console.
    void set_enabled(bool on) { enabled_ = on; }
    void set_baud_rate(std::uint32_t baud);
    void set_rx_callback(void (*cb)(UartIrqEvent, std::uint8_t, void*), void* context);
    /// Sends the bytes (nothing while off) and busy-waits the calling thread as the device does.
    void transmit(const std::uint8_t* data, std::size_t size);
    /// Busy-waits the calling thread until the last byte has left the pin.
    void wait_until_sent();
    void reset();

private:
    void schedule_next_to_device();
    void deliver_to_device();
    static void deliver_to_device_event(void* port, std::uint64_t);
    static void reach_peer_event(void* port, std::uint64_t byte);

    Runtime& runtime_;
    FuriHalUartId id_;
    UartPeer* peer_ = nullptr;
    std::uint32_t baud_;
    bool enabled_;
    void (*rx_callback_)(UartIrqEvent, std::uint8_t, void*) = nullptr;
    void* rx_context_ = nullptr;
    std::deque<std::uint8_t> to_device_;
    bool delivery_scheduled_ = false;
    Nanos line_free_at_ = 0; // when the device's TX line finishes its last queued byte
    std::vector<std::uint8_t> transmitted_;
    std::uint64_t dropped_ = 0;
    Nanos busy_ = 0;
    LineMonitor monitor_;
    void busy_wait_until(Nanos until);
};

} // namespace host
