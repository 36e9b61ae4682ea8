#pragma once
// A real serial port in place of the virtual module: the bytes the app sends on its UART go out
// on the port, and the bytes the port receives reach the app's receive callback, in the app's
// time. The runtime must be paced to the wall clock while bridged (a real module answers in real
// time). A reader thread of the host moves received bytes into the runtime through
// Runtime::inject.

#include <furi_hal_uart.h>

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "host/runtime.h"
#include "host/uart.h"

namespace sim {

/// The port cannot be used: no such device, busy, not a serial port, no permission. The message
/// says which, in one line, naming the device.
class BridgeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SerialBridge final : public host::UartPeer {
public:
    /// Opens `device` at the UART's current baud rate, 8N1, no flow control, and attaches to the
    /// runtime's UART `uart`. Throws BridgeError.
    SerialBridge(
        host::Runtime& runtime,
        const std::string& device,
        FuriHalUartId uart = FuriHalUartIdUSART1);
    ~SerialBridge() override;
    SerialBridge(const SerialBridge&) = delete;
    SerialBridge& operator=(const SerialBridge&) = delete;

    const std::string& device() const;
    /// False once the port failed (cable pulled); the app then hears nothing, as with the module
    /// unplugged.
    bool connected() const;
    /// Empty while connected; what went wrong otherwise ("/dev/ttyUSB0: device went away").
    std::string problem() const;
    /// When the port failed (wall clock); nothing while connected.
    std::optional<std::chrono::system_clock::time_point> failed_at() const;
    /// "/dev/ttyUSB0: device went away at 14:02:11"; empty while connected.
    std::string failure() const override;
    std::uint64_t bytes_sent() const;
    std::uint64_t bytes_received() const;

    void on_byte_from_device(std::uint8_t byte) override;
    void on_baud_rate(std::uint32_t baud) override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace sim
