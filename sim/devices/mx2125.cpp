#include "devices/mx2125.h"

#include <furi.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sim {
namespace {

constexpr double kNoiseNanosPerSecond = 1e9;
/// Tones in the noise: enough for a Gaussian-looking sum and a smooth spectrum.
constexpr int kNoiseTones = 64;
/// The noise stops here: the 100 Hz pulse train cannot carry anything faster.
constexpr double kNoiseCutHz = 50.0;

std::uint64_t noise_mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

/// A uniform variate in [0, 1) that depends only on (seed, index).
double noise_uniform(std::uint64_t seed, std::uint64_t index) {
    return static_cast<double>(noise_mix(seed ^ noise_mix(index)) >> 11) / 9007199254740992.0;
}

/// A standard normal variate that depends only on (seed, index).
double noise_gaussian(std::uint64_t seed, std::uint64_t index) {
    const double u1 = 1.0 - noise_uniform(seed, 2 * index); // (0, 1]: the logarithm stays finite
    const double u2 = noise_uniform(seed, 2 * index + 1);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

} // namespace

std::string_view mount_name(Mount mount) {
    switch(mount) {
    case Mount::lateral:
        return "lateral";
    case Mount::forward:
        return "forward";
    case Mount::vertical:
        return "vertical";
    }
    return "?";
}

std::vector<std::string_view> mount_names() {
    return {"lateral", "forward", "vertical"};
}

std::optional<Mount> mount_from_name(std::string_view name) {
    for(const Mount mount : {Mount::lateral, Mount::forward, Mount::vertical}) {
        if(mount_name(mount) == name) return mount;
    }
    return std::nullopt;
}

Mx2125Part Mx2125Part::random(std::uint64_t seed) {
    Mx2125Part part;
    const double drawn =
        kOffsetSpreadG * noise_gaussian(noise_mix(seed ^ 0x6F66667365740000ull), 0);
    part.offset_g = std::clamp(drawn, -kMaxOffsetG, kMaxOffsetG);
    return part;
}

SensorNoise::SensorNoise(double rms_g, double bandwidth_hz, std::uint64_t seed) {
    if(!(rms_g > 0.0) || !(bandwidth_hz > 0.0)) return; // silent
    // Frequencies drawn from the first-order low-pass's power spectrum 1 / (1 + (f/fc)^2), cut at
    // kNoiseCutHz: its inverse distribution is f = fc tan(u atan(cut/fc)). Equal tones of
    // amplitude sqrt(2/N) rms add up to the rms asked for.
    const double reach = std::atan(kNoiseCutHz / bandwidth_hz);
    tones_.reserve(kNoiseTones);
    for(int i = 0; i < kNoiseTones; ++i) {
        const auto index = static_cast<std::uint64_t>(i);
        const double hz = bandwidth_hz * std::tan(reach * noise_uniform(seed, 2 * index));
        tones_.push_back(
            {2.0 * std::numbers::pi * hz,
             2.0 * std::numbers::pi * noise_uniform(seed, 2 * index + 1)});
    }
    amplitude_ = rms_g * std::sqrt(2.0 / kNoiseTones);
}

double SensorNoise::at(host::Nanos t) const {
    const double s = static_cast<double>(t) / kNoiseNanosPerSecond;
    double sum = 0.0;
    for(const Tone& tone : tones_) sum += std::sin(tone.radians_per_second * s + tone.phase);
    return amplitude_ * sum;
}

Mx2125::Mx2125(host::Runtime& runtime, const GpioPin& pin, Mx2125Config config)
    : runtime_(runtime)
    , pin_(pin)
    , config_(config)
    , noise_(config.part.noise_g, config.part.bandwidth_hz, config.seed)
    , source_(std::make_unique<ConstantAccel>(1.0)) {
    furi_check(config_.period > 0);
    furi_check(std::isfinite(config_.tilt_deg) && std::isfinite(config_.part.offset_g));
    furi_check(config_.part.noise_g >= 0.0 && config_.part.bandwidth_hz > 0.0);
}

Mx2125::~Mx2125() {
    stop();
}

double Mx2125::duty(double accel_g) const {
    if(std::isnan(accel_g)) accel_g = 0.0;
    const double a = std::clamp(accel_g, -config_.saturation_g, config_.saturation_g);
    // Keep a sliver of both levels so every pulse has two edges even for silly saturation values.
    return std::clamp(0.5 + 0.125 * a, 0.01, 0.99);
}

host::Nanos Mx2125::high_time(double accel_g) const {
    return static_cast<host::Nanos>(
        std::llround(static_cast<double>(config_.period) * duty(accel_g)));
}

double Mx2125::axis_g(const TrunkAccel& trunk) const {
    const double tilt = config_.tilt_deg * std::numbers::pi / 180.0;
    const double along = std::cos(tilt);
    const double across = std::sin(tilt);
    double g = 0.0;
    switch(config_.mount) {
    case Mount::lateral:
        g = along * trunk.lateral + across * trunk.vertical;
        break;
    case Mount::forward:
        g = along * trunk.forward + across * trunk.vertical;
        break;
    case Mount::vertical:
        g = along * trunk.vertical + across * trunk.forward;
        break;
    }
    return g + config_.part.offset_g;
}

void Mx2125::set_source(std::unique_ptr<AccelSource> source) {
    furi_check(source != nullptr);
    source_ = std::move(source);
    gait_.reset();
}

void Mx2125::set_acceleration(double accel_g) {
    set_source(std::make_unique<ConstantAccel>(accel_g));
}

Gait& Mx2125::set_gait(const GaitParams& params) {
    gait_ = std::make_unique<Gait>(params);
    source_.reset();
    return *gait_;
}

void Mx2125::set_trace(CsvTrace trace) {
    set_source(std::make_unique<CsvTrace>(std::move(trace)));
}

Gait& Mx2125::gait() {
    furi_check(gait_ != nullptr); // the source is a trace or a constant
    return *gait_;
}

void Mx2125::start_walking() {
    gait().start_walking(runtime_.now());
}
void Mx2125::stop_walking() {
    gait().stop_walking(runtime_.now());
}

std::optional<std::uint64_t> Mx2125::true_steps() const {
    if(gait_) return gait_->true_steps(runtime_.now());
    return source_->true_steps(runtime_.now());
}

double Mx2125::reading_g(host::Nanos t) const {
    if(!gait_) return source_->accel_g(t);
    return axis_g(gait_->accel(t)) + noise_.at(t);
}

void Mx2125::start(host::Nanos first_rise_in) {
    stop();
    rise_at_ = runtime_.now() + first_rise_in;
    shortest_high_ = longest_high_ = 0;
    pending_ = runtime_.schedule_at(rise_at_, [this] { rise(); });
}

void Mx2125::stop() {
    if(pending_ != 0) {
        runtime_.cancel(pending_);
        pending_ = 0;
    }
    if(runtime_.gpio().level(pin_)) runtime_.gpio().set_input(pin_, false);
}

void Mx2125::rise() {
    // The duty cycle of a period follows the reading at its start.
    last_high_ = high_time(reading_g(rise_at_));
    shortest_high_ = shortest_high_ == 0 ? last_high_ : std::min(shortest_high_, last_high_);
    longest_high_ = std::max(longest_high_, last_high_);
    ++pulses_;
    ++edges_;
    pending_ = runtime_.schedule_at(rise_at_ + last_high_, [this] { fall(); });
    runtime_.gpio().set_input(pin_, true);
    if(listener_) listener_(rise_at_, last_high_);
}

void Mx2125::fall() {
    ++edges_;
    rise_at_ += config_.period; // from the schedule, not from now: no drift
    pending_ = runtime_.schedule_at(rise_at_, [this] { rise(); });
    runtime_.gpio().set_input(pin_, false);
}

} // namespace sim
