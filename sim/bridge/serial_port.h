#pragma once
// Opening a serial port (or a pseudo-terminal's slave side) for the bridge: raw, 8N1, no flow
// control, locked against a second user.

#include <cstdint>
#include <string>

#include "fd_pump.h"

namespace sim {

/// Opens `device` non-blocking at `baud`, raw 8N1 without flow control, and takes it for itself
/// (TIOCEXCL and an exclusive flock). Throws BridgeError with a one-line reason naming the device:
/// no such device, permission denied, busy, not a serial port.
UniqueFd open_serial_port(const std::string& device, std::uint32_t baud);

/// Puts a terminal in raw mode, 8N1, no flow control, receiver on, at `baud` (an unknown rate
/// keeps the current speed). False when it is not a terminal.
bool make_raw(int fd, std::uint32_t baud);

/// Changes the speed; false for a rate termios has no constant for (the speed stays).
bool set_speed(int fd, std::uint32_t baud);

} // namespace sim
