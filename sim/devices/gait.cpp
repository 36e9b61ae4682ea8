#include "devices/gait.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <istream>
#include <numbers>
#include <stdexcept>
#include <string>

namespace sim {
namespace {

constexpr double kNanosPerSecond = 1e9;
/// Half-width of the heel-strike peak.
constexpr double kHeelStrikeSeconds = 0.02;

double to_seconds(host::Nanos t) {
    return static_cast<double>(t) / kNanosPerSecond;
}

std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

/// A standard normal variate that depends only on (seed, index).
double gaussian(std::uint64_t seed, std::uint64_t index) {
    const std::uint64_t a = splitmix64(seed ^ splitmix64(index));
    const std::uint64_t b = splitmix64(a);
    // Uniforms in (0, 1]: never 0, so the logarithm stays finite.
    const double u1 = (static_cast<double>(a >> 11) + 1.0) / 9007199254740992.0;
    const double u2 = static_cast<double>(b >> 11) / 9007199254740992.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

} // namespace

std::optional<GaitParams> gait_preset(std::string_view name) {
    // Cadences and amplitudes from published trunk-acceleration figures: slow walking moves the
    // vertical acceleration by only about 55 mg per step, brisk walking by several tenths of a g;
    // the lateral sway is 0.05-0.15 g, the forward oscillation 0.1-0.2 g.
    if(name == "slow")
        return GaitParams{
            .cadence_hz = 1.4, .vertical_g = 0.03, .lateral_g = 0.05, .forward_g = 0.10};
    if(name == "normal")
        return GaitParams{
            .cadence_hz = 1.9, .vertical_g = 0.25, .lateral_g = 0.10, .forward_g = 0.15};
    if(name == "brisk")
        return GaitParams{
            .cadence_hz = 2.2, .vertical_g = 0.45, .lateral_g = 0.15, .forward_g = 0.20};
    if(name == "still")
        return GaitParams{
            .cadence_hz = 1.9, .vertical_g = 0.0, .lateral_g = 0.0, .forward_g = 0.0};
    return std::nullopt;
}

std::vector<std::string_view> gait_preset_names() {
    return {"slow", "normal", "brisk", "still"};
}

Gait::Gait(GaitParams params)
    : params_(params) {
    if(!(params_.cadence_hz > 0.0) || !std::isfinite(params_.cadence_hz)) {
        throw std::invalid_argument("gait cadence must be a positive number of steps per second");
    }
    if(!(params_.variability >= 0.0 && params_.variability <= 0.3)) {
        throw std::invalid_argument("gait variability must be between 0 and 0.3");
    }
    for(const double amplitude : {params_.vertical_g, params_.lateral_g, params_.forward_g}) {
        if(!(amplitude >= 0.0) || !std::isfinite(amplitude)) {
            throw std::invalid_argument("gait amplitudes must be finite and not negative");
        }
    }
}

void Gait::start_walking(host::Nanos at) {
    if(!params_.moves()) return; // standing still
    if(!bouts_.empty()) {
        const Bout& last = bouts_.back();
        if(at < last.start)
            throw std::invalid_argument("walking bouts must be added in time order");
        if(!last.steps) return; // already walking
        const double end =
            to_seconds(last.start) + static_cast<double>(*last.steps) / params_.cadence_hz;
        if(to_seconds(at) < end) return; // still finishing the last bout
    }
    bouts_.push_back({at, std::nullopt});
}

void Gait::stop_walking(host::Nanos at) {
    if(bouts_.empty() || bouts_.back().steps) return;
    Bout& bout = bouts_.back();
    if(at < bout.start) throw std::invalid_argument("cannot stop walking before it started");
    // Finish the step in progress; the small slack keeps an exact boundary from adding a step.
    const double phase = to_seconds(at - bout.start) * params_.cadence_hz;
    bout.steps = static_cast<std::uint64_t>(std::ceil(phase - 1e-9));
}

void Gait::walk(host::Nanos from, host::Nanos to) {
    start_walking(from);
    stop_walking(std::max(from, to));
}

const Gait::Bout* Gait::bout_at(host::Nanos t) const {
    for(auto it = bouts_.rbegin(); it != bouts_.rend(); ++it) {
        if(it->start > t) continue;
        if(!it->steps) return &*it;
        const double phase = to_seconds(t - it->start) * params_.cadence_hz;
        return phase < static_cast<double>(*it->steps) ? &*it : nullptr;
    }
    return nullptr;
}

bool Gait::walking(host::Nanos t) const {
    return bout_at(t) != nullptr;
}

double Gait::vertical_shape(double p, double seconds_into_step) const {
    using std::numbers::pi;
    // Upward peak at each heel strike (the cycle's ends), a second harmonic for the push-off,
    // and a short impact spike on top.
    const double seconds_from_strike = std::min(seconds_into_step, (1.0 - p) / params_.cadence_hz);
    const double x = seconds_from_strike / kHeelStrikeSeconds;
    return std::cos(2.0 * pi * p) + 0.3 * std::cos(4.0 * pi * p + 0.8) + 0.5 * std::exp(-x * x);
}

double Gait::step_factor(const Bout& bout, double phase) const {
    if(params_.variability == 0.0) return 1.0;
    // One draw per step, at its middle; a smoothstep between neighbours keeps the signal free of
    // jumps. The draw is clipped at three standard deviations.
    const std::uint64_t seed = params_.seed ^ splitmix64(static_cast<std::uint64_t>(bout.start));
    const auto draw = [this, seed](double step) {
        const double g = std::clamp(gaussian(seed, static_cast<std::uint64_t>(step)), -3.0, 3.0);
        return 1.0 + params_.variability * g;
    };
    const double from = std::floor(phase - 0.5);
    const double u = phase - 0.5 - from;
    const double w = u * u * (3.0 - 2.0 * u);
    return draw(std::max(from, 0.0)) * (1.0 - w) + draw(from + 1.0) * w;
}

TrunkAccel Gait::accel(host::Nanos t) const {
    using std::numbers::pi;
    TrunkAccel a;
    const Bout* bout = bout_at(t);
    if(bout == nullptr) return a;

    const double phase = to_seconds(t - bout->start) * params_.cadence_hz;
    double envelope = std::min(1.0, phase); // fade in over the first step
    if(bout->steps) envelope = std::min(envelope, static_cast<double>(*bout->steps) - phase);
    envelope *= step_factor(*bout, phase);
    const double p = phase - std::floor(phase);

    a.vertical += params_.vertical_g * envelope * vertical_shape(p, p / params_.cadence_hz);
    // Half a sway cycle per step: the odd harmonic keeps the zero crossings on the heel strikes
    // and steepens them (sin x + 0.2 sin 3x = sin x (1.6 - 0.8 sin^2 x) has no other zeros).
    const double sway = pi * phase;
    a.lateral = params_.lateral_g * envelope * (std::sin(sway) + 0.2 * std::sin(3.0 * sway));
    // Braking right after the heel strike, propulsion before the next: -sin y + 0.25 sin 2y =
    // sin y (0.5 cos y - 1) crosses zero at the strike and at mid-step only.
    const double step = 2.0 * pi * p;
    a.forward = params_.forward_g * envelope * (-std::sin(step) + 0.25 * std::sin(2.0 * step));
    return a;
}

std::uint64_t Gait::true_steps(host::Nanos t) const {
    std::uint64_t steps = 0;
    for(const Bout& bout : bouts_) {
        if(bout.start > t) break;
        const double phase = to_seconds(t - bout.start) * params_.cadence_hz;
        auto done = static_cast<std::uint64_t>(std::floor(phase + 1e-9));
        if(bout.steps) done = std::min(done, *bout.steps);
        steps += done;
    }
    return steps;
}

namespace {

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if(first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

std::optional<double> parse_number(std::string_view field) {
    field = trim(field);
    if(!field.empty() && field.front() == '+') field.remove_prefix(1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if(field.empty() || ec != std::errc{} || end != field.data() + field.size())
        return std::nullopt;
    return value;
}

} // namespace

CsvTrace CsvTrace::parse(std::istream& in, std::string_view name) {
    std::vector<Sample> samples;
    std::string line;
    std::size_t line_no = 0;
    bool seen_content = false;
    const auto fail = [&](const std::string& what) {
        throw TraceError(std::string(name) + ":" + std::to_string(line_no) + ": " + what);
    };

    while(std::getline(in, line)) {
        ++line_no;
        const std::string_view text = trim(line);
        if(text.empty() || text.front() == '#') continue;

        std::vector<std::string_view> fields;
        std::size_t pos = 0;
        while(true) {
            const auto comma = text.find(',', pos);
            fields.push_back(
                text.substr(pos, comma == std::string_view::npos ? comma : comma - pos));
            if(comma == std::string_view::npos) break;
            pos = comma + 1;
        }

        const bool first = !seen_content;
        seen_content = true;
        if(fields.size() != 2) {
            fail("expected 2 columns (time_s,accel_g), found " + std::to_string(fields.size()));
        }
        const auto time = parse_number(fields[0]);
        const auto accel = parse_number(fields[1]);
        if(first && !time && !accel) continue; // a header line
        if(!time) fail("time '" + std::string(trim(fields[0])) + "' is not a number");
        if(!accel) fail("acceleration '" + std::string(trim(fields[1])) + "' is not a number");
        if(!std::isfinite(*time) || !std::isfinite(*accel)) fail("values must be finite");
        if(*time < 0.0) fail("time must not be negative");
        if(*time > 1e6) fail("time beyond 1e6 s");
        if(!samples.empty() && *time <= samples.back().time_s) {
            fail(
                "time " + std::string(trim(fields[0])) +
                " s does not come after the previous sample");
        }
        samples.push_back({*time, *accel});
    }
    if(in.bad()) throw TraceError(std::string(name) + ": read error");
    if(samples.empty())
        throw TraceError(std::string(name) + ": no samples (expected lines time_s,accel_g)");
    return CsvTrace(std::move(samples));
}

CsvTrace CsvTrace::load(const std::filesystem::path& path) {
    std::ifstream in(path);
    if(!in) throw TraceError(path.string() + ": cannot open");
    return parse(in, path.string());
}

host::Nanos CsvTrace::duration() const {
    return static_cast<host::Nanos>(std::llround(samples_.back().time_s * kNanosPerSecond));
}

double CsvTrace::accel_g(host::Nanos t) const {
    const double s = to_seconds(t);
    if(s <= samples_.front().time_s) return samples_.front().accel_g;
    if(s >= samples_.back().time_s) return samples_.back().accel_g;
    const auto next =
        std::upper_bound(samples_.begin(), samples_.end(), s, [](double v, const Sample& sample) {
            return v < sample.time_s;
        });
    const auto prev = next - 1;
    const double frac = (s - prev->time_s) / (next->time_s - prev->time_s);
    return prev->accel_g + (next->accel_g - prev->accel_g) * frac;
}

} // namespace sim
