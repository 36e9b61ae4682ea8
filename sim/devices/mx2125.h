#pragma once
// MX2125 dual-axis thermal accelerometer, one axis wired to a GPIO input. The axis outputs a
// 100 Hz pulse train whose high time T1 follows the acceleration: T1/T2 = 50% + 12.5% per g.
// Edges are events on the virtual clock, so the device sees them in interrupt context, timed by
// its cycle counter exactly as the model placed them.

#include <furi_hal_gpio.h>
#include <furi_hal_resources.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "devices/gait.h"
#include "host/runtime.h"

namespace sim {

struct Mx2125Config {
    host::Nanos period = host::ms(10);  ///< T2: 100 Hz, as calibrated at 25 C
    /// Accelerations beyond this are clipped; the part is sold as a +-3 g sensor.
    double saturation_g = 3.0;
};

class Mx2125 {
public:
    /// The model must be destroyed before the runtime. The pin starts low and stays low until
    /// start().
    explicit Mx2125(host::Runtime& runtime, const GpioPin& pin = gpio_ext_pc0, Mx2125Config config = {});
    ~Mx2125();
    Mx2125(const Mx2125&) = delete;
    Mx2125& operator=(const Mx2125&) = delete;

    /// High time of one pulse for an acceleration, in nanoseconds.
    host::Nanos high_time(double accel_g) const;
    /// Duty cycle T1/T2 for an acceleration, saturation applied.
    double duty(double accel_g) const;

    // Backend for tests and front-ends ----------------------------------------------------------

    /// A constant acceleration from now on (1.0: a vertical axis at rest).
    void set_acceleration(double accel_g);
    /// A walking gait; walking starts only with start_walking() or gait().walk().
    Gait& set_gait(const GaitParams& params);
    void set_trace(CsvTrace trace);
    void set_source(std::unique_ptr<AccelSource> source);
    const AccelSource& source() const { return *source_; }
    /// The gait in use; furi_check fails when the source is not a gait.
    Gait& gait();

    /// Walking starts or (at the end of the step in progress) stops at the current virtual time.
    void start_walking();
    void stop_walking();
    /// Steps the source says were taken so far; empty for a trace.
    std::optional<std::uint64_t> true_steps() const;
    /// The acceleration the axis feels now.
    double acceleration() const;

    /// Begins the pulse train: the first rising edge comes after `first_rise_in`.
    void start(host::Nanos first_rise_in = 0);
    /// Ends the pulse train and drives the pin low.
    void stop();
    bool running() const { return pending_ != 0; }

    std::uint64_t pulses() const { return pulses_; }
    std::uint64_t edges() const { return edges_; }
    /// High time of the last pulse begun, in nanoseconds.
    host::Nanos last_high_time() const { return last_high_; }
    /// Shortest and longest high time since start() (0 before the first pulse).
    host::Nanos shortest_high_time() const { return shortest_high_; }
    host::Nanos longest_high_time() const { return longest_high_; }

private:
    void rise();
    void fall();

    host::Runtime& runtime_;
    GpioPin pin_;
    Mx2125Config config_;
    std::unique_ptr<AccelSource> source_;
    Gait* gait_ = nullptr;  ///< source_ when it is a gait
    host::EventId pending_ = 0;
    host::Nanos rise_at_ = 0;
    host::Nanos last_high_ = 0;
    host::Nanos shortest_high_ = 0;
    host::Nanos longest_high_ = 0;
    std::uint64_t pulses_ = 0;
    std::uint64_t edges_ = 0;
};

}  // namespace sim
