#pragma once
// Acceleration for the MX2125 model. A walking gait gives the trunk's acceleration along all three
// body axes, which the sensor model projects onto the axis it is mounted on; a recorded CSV trace
// and a constant give what the sensor's axis reads directly.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/time.h"

namespace sim {

/// A reading of the sensor's axis over virtual time: the acceleration the axis reports, in g.
class AccelSource {
public:
    virtual ~AccelSource() = default;
    /// What the axis reads at virtual time t, in g (gravity included).
    virtual double accel_g(host::Nanos t) const = 0;
    /// Steps actually taken up to t, when the source knows them.
    virtual std::optional<std::uint64_t> true_steps(host::Nanos t) const = 0;
};

class ConstantAccel final : public AccelSource {
public:
    explicit ConstantAccel(double g)
        : g_(g) {}
    double accel_g(host::Nanos) const override { return g_; }
    std::optional<std::uint64_t> true_steps(host::Nanos) const override { return 0; }

private:
    double g_;
};

/// Acceleration of the trunk along the body's axes, in g. Gravity is in `vertical`: +1 at rest.
/// `lateral` is positive towards the walker's right, `forward` in the walking direction.
struct TrunkAccel {
    double vertical = 1.0;
    double lateral = 0.0;
    double forward = 0.0;
};

struct GaitParams {
    double cadence_hz = 1.9; ///< steps per second
    /// Amplitude of the vertical oscillation at the step frequency (before its harmonic and the
    /// heel strike). 0 on all three axes stands still and never walks.
    double vertical_g = 0.25;
    /// Amplitude of the medio-lateral sway's fundamental at the stride frequency (half the cadence).
    double lateral_g = 0.10;
    /// Amplitude of the antero-posterior oscillation at the step frequency.
    double forward_g = 0.15;
    /// Step-to-step variation of the amplitudes: standard deviation as a fraction (at most 0.3).
    double variability = 0.1;
    std::uint64_t seed = 1; ///< the steps' variation; the same seed gives the same walk

    bool moves() const { return vertical_g != 0.0 || lateral_g != 0.0 || forward_g != 0.0; }
};

/// Named gaits: "slow", "normal", "brisk" walking and "still" (standing).
std::optional<GaitParams> gait_preset(std::string_view name);
/// The names gait_preset knows, for help texts.
std::vector<std::string_view> gait_preset_names();

/// Trunk acceleration of a walker, noise free (the sensor adds its own). Each step is one cycle
/// of the phase, and a stride (a step of each foot) two:
/// - vertical: a fundamental at the cadence, its second harmonic and a short heel-strike peak;
/// - lateral: a sway at the stride frequency with a small third harmonic; it changes sign at
///   every heel strike, towards the new stance foot's side and back;
/// - forward: braking after each heel strike and propulsion before the next, at the cadence,
///   with a small second harmonic; it changes sign twice per step.
/// Each step's amplitude varies a little (`variability`), smoothly from step to step. A bout of
/// walking fades in over its first step and out over its last, and always ends on a whole step: a stop request lets the step in progress finish. Steps land at the end of each
/// cycle, at the heel strike.
class Gait final {
public:
    explicit Gait(GaitParams params);

    const GaitParams& params() const { return params_; }

    /// Starts a bout of walking at `at` (no effect while already walking then, or with no motion).
    void start_walking(host::Nanos at);
    /// Ends the bout in progress at the first step boundary at or after `at`.
    void stop_walking(host::Nanos at);
    /// A whole bout: walking over [from, to), to rounded up to a step boundary.
    void walk(host::Nanos from, host::Nanos to);
    bool walking(host::Nanos t) const;

    TrunkAccel accel(host::Nanos t) const;
    /// Heel strikes so far.
    std::uint64_t true_steps(host::Nanos t) const;

private:
    struct Bout {
        host::Nanos start;
        std::optional<std::uint64_t> steps; ///< set once the bout is stopped
    };
    const Bout* bout_at(host::Nanos t) const;
    double vertical_shape(double phase_in_step, double seconds_into_step) const;
    /// The amplitudes' factor at a phase of the bout: 1 plus the steps' variation.
    double step_factor(const Bout& bout, double phase) const;

    GaitParams params_;
    std::vector<Bout> bouts_;
};

/// Malformed trace input: the message names the source and line.
class TraceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A recorded acceleration trace: CSV lines `time_s,accel_g`, times increasing. Blank lines, lines
/// starting with '#' and a header line `time_s,accel_g` are skipped. Between samples the
/// acceleration is interpolated linearly; before the first and after the last it holds. A trace
/// does not know the true steps.
class CsvTrace final : public AccelSource {
public:
    struct Sample {
        double time_s;
        double accel_g;
    };

    /// Throws TraceError on malformed input; `name` prefixes the messages.
    static CsvTrace parse(std::istream& in, std::string_view name = "trace");
    static CsvTrace load(const std::filesystem::path& path);

    const std::vector<Sample>& samples() const { return samples_; }
    /// Virtual time of the last sample.
    host::Nanos duration() const;

    double accel_g(host::Nanos t) const override;
    std::optional<std::uint64_t> true_steps(host::Nanos) const override { return std::nullopt; }

private:
    explicit CsvTrace(std::vector<Sample> samples)
        : samples_(std::move(samples)) {}
    std::vector<Sample> samples_;
};

} // namespace sim
