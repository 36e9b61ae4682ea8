// Input: key names and the host's button model (host::InputDevice).
#include "host/input.h"

#include <algorithm>

#include "core/raw_enum.h"
#include "host/runtime.h"

extern "C" {

const char* input_get_key_name(InputKey key) {
    switch(host::raw_enum(key)) {
    case InputKeyUp:
        return "Up";
    case InputKeyDown:
        return "Down";
    case InputKeyRight:
        return "Right";
    case InputKeyLeft:
        return "Left";
    case InputKeyOk:
        return "Ok";
    case InputKeyBack:
        return "Back";
    default:
        return "Unknown";
    }
}

const char* input_get_type_name(InputType type) {
    switch(host::raw_enum(type)) {
    case InputTypePress:
        return "Press";
    case InputTypeRelease:
        return "Release";
    case InputTypeShort:
        return "Short";
    case InputTypeLong:
        return "Long";
    case InputTypeRepeat:
        return "Repeat";
    default:
        return "Unknown";
    }
}

} // extern "C"

namespace host {

InputDevice::InputDevice(Runtime& runtime)
    : runtime_(runtime) {}

InputDevice::~InputDevice() {
    std::lock_guard lock(mutex_);
    for(const auto& [token, id] : pending_) runtime_.cancel(id);
    pending_.clear();
}

void InputDevice::set_sink(Sink sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}

bool InputDevice::valid(const InputKey& key) {
    return host::raw_enum(key) < InputKeyMAX;
}

std::uint64_t InputDevice::schedule(Nanos at, std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    const std::uint64_t token = next_token_++;
    const EventId id = runtime_.schedule_at(at, [this, token, fn = std::move(fn)] {
        {
            std::lock_guard inner(mutex_);
            pending_.erase(token);
        }
        fn();
    });
    pending_[token] = id;
    return token;
}

void InputDevice::cancel_token(std::uint64_t token) {
    std::lock_guard lock(mutex_);
    if(const auto it = pending_.find(token); it != pending_.end()) {
        runtime_.cancel(it->second);
        pending_.erase(it);
    }
}

void InputDevice::press(InputKey key) {
    if(!valid(key)) return;
    press_at(key, runtime_.now());
}

void InputDevice::release(InputKey key) {
    if(!valid(key)) return;
    release_at(key, runtime_.now());
}

void InputDevice::press_at(InputKey key, Nanos at) {
    if(!valid(key)) return;
    schedule(std::max(at, runtime_.now()), [this, key] { do_press(key); });
}

void InputDevice::release_at(InputKey key, Nanos at) {
    if(!valid(key)) return;
    schedule(std::max(at, runtime_.now()), [this, key] { do_release(key); });
}

Nanos InputDevice::short_press(InputKey key, Nanos hold) {
    std::lock_guard lock(mutex_);
    const Nanos start = std::max(runtime_.now(), gestures_end_);
    gestures_end_ = start + hold;
    press_at(key, start);
    release_at(key, gestures_end_);
    return gestures_end_;
}

Nanos InputDevice::long_press(InputKey key, Nanos hold) {
    return short_press(key, std::max(hold, kLongPressTime));
}

void InputDevice::send_raw(InputKey key, InputType type, std::uint32_t sequence) {
    schedule(runtime_.now(), [this, key, type, sequence] { emit(key, type, sequence); });
}

void InputDevice::do_press(InputKey key) {
    std::uint32_t sequence = 0;
    {
        std::lock_guard lock(mutex_);
        KeyState& state = keys_[key];
        if(state.pressed) return;
        state.pressed = true;
        state.long_emitted = false;
        state.sequence = next_sequence_++;
        sequence = state.sequence;
        state.timer_token = schedule(runtime_.now() + kLongPressTime, [this, key] {
            on_timer(key, InputTypeLong);
        });
    }
    emit(key, InputTypePress, sequence);
}

void InputDevice::do_release(InputKey key) {
    std::uint32_t sequence = 0;
    bool short_press = false;
    {
        std::lock_guard lock(mutex_);
        KeyState& state = keys_[key];
        if(!state.pressed) return;
        state.pressed = false;
        if(state.timer_token != 0) cancel_token(state.timer_token);
        state.timer_token = 0;
        sequence = state.sequence;
        short_press = !state.long_emitted;
    }
    if(short_press) emit(key, InputTypeShort, sequence);
    emit(key, InputTypeRelease, sequence);
}

void InputDevice::on_timer(InputKey key, InputType type) {
    std::uint32_t sequence = 0;
    {
        std::lock_guard lock(mutex_);
        KeyState& state = keys_[key];
        if(!state.pressed) return;
        state.long_emitted = true;
        sequence = state.sequence;
        state.timer_token = schedule(runtime_.now() + kRepeatPeriod, [this, key] {
            on_timer(key, InputTypeRepeat);
        });
    }
    emit(key, type, sequence);
}

void InputDevice::emit(InputKey key, InputType type, std::uint32_t sequence) {
    InputEvent event{};
    event.sequence = sequence; // the device's union of the whole id and its source/counter bits
    event.key = key;
    event.type = type;
    Sink sink;
    {
        std::lock_guard lock(mutex_);
        history_.push_back({runtime_.now(), event});
        sink = sink_;
    }
    if(sink) sink(event);
}

bool InputDevice::is_pressed(InputKey key) const {
    std::lock_guard lock(mutex_);
    return valid(key) && keys_[key].pressed;
}

std::vector<TimedInputEvent> InputDevice::history() const {
    std::lock_guard lock(mutex_);
    return history_;
}

void InputDevice::clear_history() {
    std::lock_guard lock(mutex_);
    history_.clear();
}

} // namespace host
