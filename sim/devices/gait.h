#pragma once
// Acceleration sources for the MX2125 model: a walking-gait generator, a recorded CSV trace and a
// constant. Each gives the total acceleration along the sensor's axis, in g, at a virtual time.

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

/// Acceleration along one sensor axis over virtual time.
class AccelSource {
public:
    virtual ~AccelSource() = default;
    /// Total acceleration along the axis at virtual time t, in g (gravity included).
    virtual double accel_g(host::Nanos t) const = 0;
    /// Steps actually taken up to t, when the source knows them.
    virtual std::optional<std::uint64_t> true_steps(host::Nanos t) const = 0;
};

class ConstantAccel final : public AccelSource {
public:
    explicit ConstantAccel(double g) : g_(g) {}
    double accel_g(host::Nanos) const override { return g_; }
    std::optional<std::uint64_t> true_steps(host::Nanos) const override { return 0; }

private:
    double g_;
};

struct GaitParams {
    double cadence_hz = 1.9;   ///< steps per second
    double amplitude_g = 0.25; ///< peak of the per-step oscillation; 0 stands still and never walks
    double noise_g = 0.01;     ///< standard deviation of the sensor noise
    double baseline_g = 1.0;   ///< static part: +1 g on a vertically mounted axis, 0 on a level one
    std::uint64_t seed = 1;    ///< noise seed; the same seed gives the same signal
};

/// Named gaits: "slow", "normal", "brisk" walking and "still" (standing, noise only).
std::optional<GaitParams> gait_preset(std::string_view name);
/// The names gait_preset knows, for help texts.
std::vector<std::string_view> gait_preset_names();

/// Vertical trunk acceleration of a walker. Each step is one cycle: a fundamental at the cadence,
/// its second harmonic and a short heel-strike peak, plus noise. A bout of walking fades in over
/// its first step and out over its last, and always ends on a whole step: a stop request lets the
/// step in progress finish. Steps land at the end of each cycle.
class Gait final : public AccelSource {
public:
    explicit Gait(GaitParams params);

    const GaitParams& params() const { return params_; }

    /// Starts a bout of walking at `at` (no effect while already walking then, or with no swing).
    void start_walking(host::Nanos at);
    /// Ends the bout in progress at the first step boundary at or after `at`.
    void stop_walking(host::Nanos at);
    /// A whole bout: walking over [from, to), to rounded up to a step boundary.
    void walk(host::Nanos from, host::Nanos to);
    bool walking(host::Nanos t) const;

    double accel_g(host::Nanos t) const override;
    std::optional<std::uint64_t> true_steps(host::Nanos t) const override;

    /// The noise part alone at t: a deterministic function of the seed and t.
    double noise_g(host::Nanos t) const;

private:
    struct Bout {
        host::Nanos start;
        std::optional<std::uint64_t> steps; ///< set once the bout is stopped
    };
    const Bout* bout_at(host::Nanos t) const;
    double step_shape(double phase_in_step, double seconds_into_step) const;

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
    explicit CsvTrace(std::vector<Sample> samples) : samples_(std::move(samples)) {}
    std::vector<Sample> samples_;
};

}  // namespace sim
