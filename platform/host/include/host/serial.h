#pragma once
// The serial control of API 86.0 (furi_hal_serial_control_*, furi_hal_serial_*) over the
// runtime's two UARTs. The C functions live in platform/src/api86/, compiled against the 86.0
// SDK; the state lives here, in types the 36.x SDK the runtime is built with knows too, so tests
// and front-ends can look at it.
//
// As on the device: the log writes to the USART from boot, at 230400 baud. Acquiring a UART
// that nobody holds gives its handle; acquiring the log's UART detaches the log from it (the
// USART goes off) until the handle is released, which switches it back on for the log. A UART
// that is held (by an app, or by a test playing another owner) is refused with null. Releasing a
// handle that is not held, initialising a UART that is on, and reading a received byte outside
// the receive callback are furi_check failures.

#include <cstddef>
#include <cstdint>

/// One UART's handle (opaque to apps).
struct FuriHalSerialHandle {
    int id = 0; // FuriHalSerialId: 0 the USART, 1 the LPUART
    bool held = false;
    /// Set by the 86.0 layer at furi_hal_serial_async_rx_start: calls the app's callback, kept
    /// type-erased here, for each byte received while the UART is on.
    void (*dispatch)(FuriHalSerialHandle* handle) = nullptr;
    void (*app_callback)() = nullptr;
    void* app_context = nullptr;
    /// The receive data register: the byte being delivered, until the callback reads it.
    std::uint8_t rx_data = 0;
    bool rx_full = false;
};

namespace host {

class Runtime;
class UartPort;

class SerialControl {
public:
    static constexpr int kUsart = 0;
    static constexpr int kLpuart = 1;
    static constexpr std::uint32_t kLogBaud = 230400;

    explicit SerialControl(Runtime& runtime);
    SerialControl(const SerialControl&) = delete;
    SerialControl& operator=(const SerialControl&) = delete;

    /// The UART's handle, or null while it is held.
    FuriHalSerialHandle* acquire(int id);
    void release(FuriHalSerialHandle* handle);
    void init(FuriHalSerialHandle* handle, std::uint32_t baud);
    void deinit(FuriHalSerialHandle* handle);
    void set_baud_rate(FuriHalSerialHandle* handle, std::uint32_t baud);
    void transmit(FuriHalSerialHandle* handle, const std::uint8_t* data, std::size_t size);
    void wait_until_sent(FuriHalSerialHandle* handle);
    /// Each byte the UART receives while on goes to `dispatch` in interrupt context, which calls
    /// the app's callback (kept in the handle with its context).
    void start_receiving(
        FuriHalSerialHandle* handle,
        void (*dispatch)(FuriHalSerialHandle* handle),
        void (*app_callback)(),
        void* app_context);
    void stop_receiving(FuriHalSerialHandle* handle);
    /// In the receive callback: whether a byte waits, and the byte (which empties the register).
    bool byte_available(FuriHalSerialHandle* handle);
    std::uint8_t read_byte(FuriHalSerialHandle* handle);

    /// Whether someone holds the UART.
    bool held(int id) const;
    /// Whether the log writes to the USART (from boot until an app acquires it).
    bool log_attached() const;
    /// Bytes that reached a UART while it was off, or that the receive callback did not read.
    std::uint64_t lost_bytes() const { return lost_; }

    /// The receive interrupt: one byte from the line (interrupt context).
    void deliver(FuriHalSerialHandle& handle, std::uint8_t byte);

private:
    FuriHalSerialHandle& checked(FuriHalSerialHandle* handle, const char* function);
    UartPort& port(const FuriHalSerialHandle& handle);

    Runtime& runtime_;
    FuriHalSerialHandle handles_[2];
    std::uint64_t lost_ = 0;
};

} // namespace host
