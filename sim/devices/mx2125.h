#pragma once
// MX2125 dual-axis thermal accelerometer, one axis wired to a GPIO input. The axis outputs a
// 100 Hz pulse train whose high time T1 follows the acceleration: T1/T2 = 50% + 12.5% per g.
// Edges are events on the virtual clock, so the device sees them in interrupt context, timed by
// its cycle counter exactly as the model placed them.
//
// A walking gait reaches the pin through the part: the mounting picks the body axis the sensor's
// axis lies along and tilts it, and the part adds its 0 g offset and its noise. A constant and a
// recorded trace are readings of the axis already and drive the pulses as they are.

#include <furi_hal_gpio.h>
#include <furi_hal_resources.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "devices/gait.h"
#include "host/runtime.h"

namespace sim {

/// The body axis the sensor's axis on PC0 lies along.
enum class Mount : std::uint8_t {
    lateral,  ///< across the body, left-right: sways through 0 g once per step
    forward,  ///< in the walking direction: crosses 0 g twice per step
    vertical, ///< up-down: +1 g at rest, walking does not reach 0 g
};
std::string_view mount_name(Mount mount);
std::optional<Mount> mount_from_name(std::string_view name);
/// The names mount_from_name knows, the default (lateral) first.
std::vector<std::string_view> mount_names();

/// One part's departures from the ideal transfer function.
struct Mx2125Part {
    /// Offsets of real parts are tens of mg, up to about 0.1 g.
    static constexpr double kTypicalOffsetG = 0.025;
    static constexpr double kOffsetSpreadG = 0.04; ///< standard deviation over parts
    static constexpr double kMaxOffsetG = 0.1;

    /// What the axis reads at 0 g, in g.
    double offset_g = kTypicalOffsetG;
    /// Rms output noise: 0.2 mg/sqrt(Hz) over the bandwidth, about 1 mg.
    double noise_g = 0.001;
    /// The thermal sensor's -3 dB bandwidth; the noise rolls off above it.
    double bandwidth_hz = 17.0;

    /// No offset and no noise.
    static Mx2125Part ideal() { return {.offset_g = 0.0, .noise_g = 0.0}; }
    /// A part off the shelf: its offset drawn from the spread of real parts, the same for a seed.
    static Mx2125Part random(std::uint64_t seed);
};

/// The part's output noise: Gaussian-like, with the spectrum of a first-order low-pass at the
/// bandwidth (cut at 50 Hz, the pulse rate's Nyquist limit), built from a sum of tones of random
/// frequency and phase. A pure function of time: the same seed gives the same noise.
class SensorNoise {
public:
    SensorNoise(double rms_g, double bandwidth_hz, std::uint64_t seed);
    double at(host::Nanos t) const;

private:
    struct Tone {
        double radians_per_second;
        double phase;
    };
    std::vector<Tone> tones_;
    double amplitude_ = 0.0;
};

struct Mx2125Config {
    host::Nanos period = host::ms(10); ///< T2: 100 Hz, as calibrated at 25 C
    /// Accelerations beyond this are clipped; the part is sold as a +-3 g sensor.
    double saturation_g = 3.0;
    Mount mount = Mount::lateral;
    /// The axis leans by this angle towards vertical (a vertical axis leans forward), so a
    /// horizontal axis feels sin(tilt) g of gravity.
    double tilt_deg = 0.0;
    Mx2125Part part{};
    std::uint64_t seed = 1; ///< noise seed
};

class Mx2125 {
public:
    /// The model must be destroyed before the runtime. The pin starts low and stays low until
    /// start().
    explicit Mx2125(
        host::Runtime& runtime,
        const GpioPin& pin = gpio_ext_pc0,
        Mx2125Config config = {});
    ~Mx2125();
    Mx2125(const Mx2125&) = delete;
    Mx2125& operator=(const Mx2125&) = delete;

    const Mx2125Config& config() const { return config_; }

    /// High time of one pulse for a reading, in nanoseconds.
    host::Nanos high_time(double accel_g) const;
    /// Duty cycle T1/T2 for a reading, saturation applied.
    double duty(double accel_g) const;
    /// What the axis reads for a trunk acceleration, before the noise: mount, tilt and offset.
    double axis_g(const TrunkAccel& trunk) const;

    // Backend for tests and front-ends ----------------------------------------------------------

    /// The board remounted: PC0's axis lies along this body axis from now on.
    void set_mount(Mount mount) { config_.mount = mount; }
    /// Called in interrupt context at each pulse's rising edge, with the edge's time and the
    /// pulse's high time (null: nobody). It must be short and must not block.
    using PulseListener = std::function<void(host::Nanos rise, host::Nanos high)>;
    void set_pulse_listener(PulseListener listener) { listener_ = std::move(listener); }

    /// The axis reads exactly this from now on (1.0: a vertical axis at rest); no offset, no noise.
    void set_acceleration(double accel_g);
    /// A walking gait seen through the part; walking starts only with start_walking() or
    /// gait().walk().
    Gait& set_gait(const GaitParams& params);
    /// A recorded reading of the axis, replayed as it is.
    void set_trace(CsvTrace trace);
    void set_source(std::unique_ptr<AccelSource> source);
    /// The gait in use; furi_check fails when the source is not a gait.
    Gait& gait();
    bool has_gait() const { return gait_ != nullptr; }

    /// Walking starts or (at the end of the step in progress) stops at the current virtual time.
    void start_walking();
    void stop_walking();
    /// Steps the source says were taken so far; empty for a trace.
    std::optional<std::uint64_t> true_steps() const;
    /// What the axis reads at virtual time t, noise included.
    double reading_g(host::Nanos t) const;
    /// What the axis reads now.
    double acceleration() const { return reading_g(runtime_.now()); }

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
    SensorNoise noise_;
    std::unique_ptr<AccelSource> source_; ///< a reading; null while a gait drives the axis
    std::unique_ptr<Gait> gait_;
    host::EventId pending_ = 0;
    host::Nanos rise_at_ = 0;
    host::Nanos last_high_ = 0;
    host::Nanos shortest_high_ = 0;
    host::Nanos longest_high_ = 0;
    std::uint64_t pulses_ = 0;
    std::uint64_t edges_ = 0;
    PulseListener listener_;
};

} // namespace sim
