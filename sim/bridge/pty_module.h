#pragma once
// The virtual YRM100 served on a pseudo-terminal, so that another program (or another fsim)
// can open the terminal's slave side as if it were the module's serial port.
//
// The model sits on USART1 of a runtime of its own, in the place of the device's side: what
// arrives on the master side goes into Yrm100::on_byte_from_device one byte time apart, and what
// the model sends "to the device" reaches the UART's receive callback, which this class
// registers, and goes out on the master side.
//
//     sim::PseudoTerminal pty;                       // pty.slave_path(): "/dev/pts/7"
//     host::Runtime rt({.realtime = true, .virtual_time_limit = 0});
//     sim::Yrm100 module(rt, {.require_power = false});
//     sim::PtyModule serving(rt, module, pty.take_master());
//     while(keep_going) rt.run_for(host::ms(20));

#include <cstdint>
#include <memory>
#include <string>

#include "devices/yrm100.h"
#include "fd_pump.h"
#include "host/runtime.h"

namespace sim {

/// A pseudo-terminal pair in raw mode. It keeps a descriptor of the slave side open, so that the
/// master side does not hang up while programs open and close the slave.
class PseudoTerminal {
public:
    /// Throws std::runtime_error when no pseudo-terminal can be made.
    PseudoTerminal();
    const std::string& slave_path() const { return slave_path_; }
    int master() const { return master_.get(); }
    /// Hands the master side over (to a PtyModule); master() is -1 afterwards.
    UniqueFd take_master() { return std::move(master_); }
    /// Closes the master side: whoever has the slave open sees the line hang up.
    void close_master() { master_.reset(); }

private:
    UniqueFd master_;
    UniqueFd slave_;
    std::string slave_path_;
};

class PtyModule {
public:
    /// The line's rate: the module's.
    static constexpr std::uint32_t kBaud = 115200;

    /// Call on the runtime's main thread. Sets USART1 to the module's rate, turns the console
    /// off (its log lines would reach the model) and registers the receive callback.
    PtyModule(host::Runtime& runtime, Yrm100& module, UniqueFd master);
    /// On the runtime's main thread too.
    ~PtyModule();
    PtyModule(const PtyModule&) = delete;
    PtyModule& operator=(const PtyModule&) = delete;

    /// False once the master side failed.
    bool healthy() const;
    std::string problem() const;
    /// Bytes read from the master side (towards the model) and written to it (its replies).
    std::uint64_t bytes_in() const;
    std::uint64_t bytes_out() const;

private:
    struct Shared;
    static void on_rx(UartIrqEvent event, std::uint8_t byte, void* context);

    host::Runtime& runtime_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<FdPump> pump_;
};

} // namespace sim
