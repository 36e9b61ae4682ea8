#pragma once
#include <furi.h>
#include <furi_hal_uart.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/gpio.h"
#include "host/kernel.h"
#include "host/log.h"
#include "host/serial.h"
#include "host/time.h"
#include "host/uart.h"

namespace host {

class Scheduler;
struct RuntimeInternals;

struct RuntimeOptions {
    /// Pace virtual time to the wall clock (interactive runs). Off: virtual time jumps.
    bool realtime = false;
    /// Virtual seconds per wall second when realtime is on.
    double realtime_speed = 1.0;
    /// A run whose virtual clock passes this stops with a furi_crash (0: no limit). Guards tests
    /// against jobs that would otherwise poll forever.
    Nanos virtual_time_limit = seconds(24 * 3600);
    /// Echo log lines to stderr.
    bool log_to_stderr = true;
    /// Initial value of the 32-bit cycle counter (to put a wrap where a test wants it).
    std::uint32_t cycle_counter_start = 0;
};

using EventId = std::uint64_t;

/// The host stand-in for the device's kernel and hardware. One exists at a time; the thread that
/// constructs it becomes the platform thread "main" (priority Normal) and holds the run token.
/// Destroying it requires every other platform thread to have ended and been freed.
class Runtime {
public:
    explicit Runtime(RuntimeOptions options = {});
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    /// The live runtime; a furi_check failure when there is none.
    static Runtime& current();
    static bool exists();

    const RuntimeOptions& options() const { return options_; }

    /// Virtual time.
    Nanos now() const;
    std::uint32_t tick() const { return static_cast<std::uint32_t>(now() / kMillisecond); }
    /// The 64 MHz cycle counter, wrapping at 32 bits.
    std::uint32_t cycle_counter() const;

    /// Runs fn in interrupt context at virtual time `at` (clamped to now). Events at the same time
    /// run in the order they were scheduled. Call from a platform thread or interrupt context.
    EventId schedule_at(Nanos at, std::function<void()> fn);
    EventId schedule_after(Nanos delay, std::function<void()> fn);
    /// Cancels an event that has not run yet; false when it ran or is unknown.
    bool cancel(EventId id);

    /// From any OS thread (a front-end's keyboard reader, a serial bridge): runs fn in interrupt
    /// context at the next scheduling point. Thread-safe.
    void inject(std::function<void()> fn);

    /// Lets virtual time pass on the calling platform thread (a delay in nanoseconds).
    void run_for(Nanos duration);

    /// Number of OS-level hand-overs of the run token so far.
    std::uint64_t handovers() const;
    /// Number of scheduled interrupt events run so far (UART bytes, device models, key presses).
    std::uint64_t events_run() const;

    UartPort& uart(FuriHalUartId id);
    /// The 86.0 serial control over the same UARTs (host/serial.h).
    SerialControl& serial() { return *serial_; }
    GpioBus& gpio() { return *gpio_; }
    LogCapture& log() { return log_; }

    /// The console: log lines also go out on USART1 while it is on (from boot until
    /// furi_hal_console_disable).
    bool console_enabled() const { return console_; }
    void set_console_enabled(bool on) { console_ = on; }

    bool otg_enabled() const { return otg_; }
    void set_otg(bool on) { otg_ = on; }
    std::uint32_t otg_switch_count() const { return otg_switches_; }
    void count_otg_switch() { ++otg_switches_; }

    /// Names of the platform threads that exist (started or not), for diagnostics.
    std::vector<std::string> thread_names() const;

    Scheduler& scheduler() { return *scheduler_; }
    RuntimeInternals& internals() { return *internals_; }

private:
    RuntimeOptions options_;
    LogCapture log_;
    std::unique_ptr<Scheduler> scheduler_;
    std::unique_ptr<RuntimeInternals> internals_;
    std::unique_ptr<GpioBus> gpio_;
    std::unique_ptr<UartPort> uart_[2];
    std::unique_ptr<SerialControl> serial_;
    bool console_ = true;
    bool otg_ = false;
    std::uint32_t otg_switches_ = 0;
};

/// Runs fn as if it were an interrupt handler on the calling platform thread (for tests that call
/// ISR-only code paths directly).
void run_in_interrupt_context(const std::function<void()>& fn);

} // namespace host
