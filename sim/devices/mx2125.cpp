#include "devices/mx2125.h"

#include <furi.h>

#include <algorithm>
#include <cmath>

namespace sim {

Mx2125::Mx2125(host::Runtime& runtime, const GpioPin& pin, Mx2125Config config)
    : runtime_(runtime), pin_(pin), config_(config), source_(std::make_unique<ConstantAccel>(1.0)) {
    furi_check(config_.period > 0);
}

Mx2125::~Mx2125() { stop(); }

double Mx2125::duty(double accel_g) const {
    if(std::isnan(accel_g)) accel_g = 0.0;
    const double a = std::clamp(accel_g, -config_.saturation_g, config_.saturation_g);
    // Keep a sliver of both levels so every pulse has two edges even for silly saturation values.
    return std::clamp(0.5 + 0.125 * a, 0.01, 0.99);
}

host::Nanos Mx2125::high_time(double accel_g) const {
    return static_cast<host::Nanos>(std::llround(static_cast<double>(config_.period) * duty(accel_g)));
}

void Mx2125::set_source(std::unique_ptr<AccelSource> source) {
    furi_check(source != nullptr);
    source_ = std::move(source);
    gait_ = nullptr;
}

void Mx2125::set_acceleration(double accel_g) { set_source(std::make_unique<ConstantAccel>(accel_g)); }

Gait& Mx2125::set_gait(const GaitParams& params) {
    auto gait = std::make_unique<Gait>(params);
    Gait& ref = *gait;
    set_source(std::move(gait));
    gait_ = &ref;
    return ref;
}

void Mx2125::set_trace(CsvTrace trace) { set_source(std::make_unique<CsvTrace>(std::move(trace))); }

Gait& Mx2125::gait() {
    furi_check(gait_ != nullptr);  // the source is a trace or a constant
    return *gait_;
}

void Mx2125::start_walking() { gait().start_walking(runtime_.now()); }
void Mx2125::stop_walking() { gait().stop_walking(runtime_.now()); }

std::optional<std::uint64_t> Mx2125::true_steps() const { return source_->true_steps(runtime_.now()); }

double Mx2125::acceleration() const { return source_->accel_g(runtime_.now()); }

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
    // The duty cycle of a period follows the acceleration at its start.
    last_high_ = high_time(source_->accel_g(rise_at_));
    shortest_high_ = shortest_high_ == 0 ? last_high_ : std::min(shortest_high_, last_high_);
    longest_high_ = std::max(longest_high_, last_high_);
    ++pulses_;
    ++edges_;
    pending_ = runtime_.schedule_at(rise_at_ + last_high_, [this] { fall(); });
    runtime_.gpio().set_input(pin_, true);
}

void Mx2125::fall() {
    ++edges_;
    rise_at_ += config_.period;  // from the schedule, not from now: no drift
    pending_ = runtime_.schedule_at(rise_at_, [this] { rise(); });
    runtime_.gpio().set_input(pin_, false);
}

}  // namespace sim
