#include "pacewick_session.h"

#include <cstdio>

#include "pacewick.h"

namespace sim {
namespace {

host::RuntimeOptions pacewick_runtime_options(const PacewickSessionOptions& options) {
    host::RuntimeOptions o =
        session_runtime_options(options.echo_log, options.realtime, options.speed);
    if(!options.realtime) o.virtual_time_limit = options.virtual_time_limit;
    return o;
}

} // namespace

PacewickSession::PacewickSession(PacewickSessionOptions options)
    : rt_(pacewick_runtime_options(options))
    , api_(options.api)
    , api_services_(rt_, options.api)
    , gui_(rt_)
    , sensor_(rt_, gpio_ext_pc0, options.sensor)
    , program_(AppProgram::pick(kAppId, options.api, options.fap, kStack)) {}

PacewickSession::~PacewickSession() {
    if(thread_.started()) quit();
    sensor_.stop();
}

void PacewickSession::start() {
    thread_.start(kAppId, program_.stack, program_.entry, program_.context);
    // The pulses begin once the app has read the idle pin and hooked its interrupt.
    rt_.run_for(host::ms(50));
    sensor_.start();
    rt_.run_for(host::ms(50));
}

bool PacewickSession::running() const {
    return thread_.running();
}

std::optional<int32_t> PacewickSession::quit(int presses) {
    for(int i = 0; i < presses && running(); ++i) press(InputKeyBack);
    return thread_.join();
}

void PacewickSession::press(InputKey key) {
    const host::Nanos at = gui_.input().short_press(key);
    rt_.run_for(at - rt_.now() + kSettle);
}

void PacewickSession::long_press(InputKey key) {
    const host::Nanos at = gui_.input().long_press(key);
    rt_.run_for(at - rt_.now() + kSettle);
}

void PacewickSession::wait(std::uint32_t milliseconds) {
    rt_.run_for(host::ms(milliseconds));
}

bool PacewickSession::walk(bool walking) {
    if(!sensor_.has_gait()) return false;
    if(walking) {
        sensor_.start_walking();
    } else {
        sensor_.stop_walking();
    }
    return true;
}

std::optional<long> PacewickSession::counted_steps() const {
    const host::Screen s = gui_.screen();
    const auto* line = s.find("Steps: ");
    long steps = 0;
    if(line == nullptr || std::sscanf(line->text.c_str(), "Steps: %ld", &steps) != 1)
        return std::nullopt;
    return steps;
}

} // namespace sim
