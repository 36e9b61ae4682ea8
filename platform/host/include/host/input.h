#pragma once
#include <input/input.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "host/time.h"

namespace host {

class Runtime;

struct TimedInputEvent {
    Nanos time = 0;
    InputEvent event{};
};

/// The device's six buttons, with the input service's timing: a press emits Press; held for
/// 300 ms it emits Long, then Repeat every 150 ms; the release emits Release, preceded by Short
/// only when no Long was emitted. All events of one press share a sequence number (from 1).
///
/// Events happen on the virtual clock, in interrupt context, and go to the sink (the GUI service
/// sets one that queues them for its thread). Call the methods from a platform thread or from
/// interrupt context; a front-end's own OS thread goes through Runtime::inject:
///     runtime.inject([&] { gui.input().short_press(InputKeyOk); });
class InputDevice {
public:
    static constexpr Nanos kLongPressTime = ms(300);
    static constexpr Nanos kRepeatPeriod = ms(150);
    static constexpr Nanos kShortHold = ms(50);
    static constexpr Nanos kLongHold = ms(500);

    using Sink = std::function<void(const InputEvent&)>;

    explicit InputDevice(Runtime& runtime);
    /// Cancels every event still scheduled.
    ~InputDevice();
    InputDevice(const InputDevice&) = delete;
    InputDevice& operator=(const InputDevice&) = delete;

    /// Called in interrupt context with every event; must not block.
    void set_sink(Sink sink);

    /// Key down / key up now (at the next scheduling point). Pressing a held key or releasing a
    /// key that is up changes nothing.
    void press(InputKey key);
    void release(InputKey key);
    /// The same at a virtual time (clamped to now).
    void press_at(InputKey key, Nanos at);
    void release_at(InputKey key, Nanos at);

    /// A whole gesture: press, hold, release. Gestures queue up: one starts when the previous one
    /// (from these two calls) has ended, or now. Returns the virtual time of the release.
    Nanos short_press(InputKey key, Nanos hold = kShortHold);
    Nanos long_press(InputKey key, Nanos hold = kLongHold);

    /// Emits one raw event now (no timing, no state): for tests of odd sequences.
    void send_raw(InputKey key, InputType type, std::uint32_t sequence = 0);

    bool is_pressed(InputKey key) const;
    /// Every event emitted so far, in order, with its virtual time.
    std::vector<TimedInputEvent> history() const;
    void clear_history();

private:
    struct KeyState {
        bool pressed = false;
        bool long_emitted = false;
        std::uint32_t sequence = 0;
        std::uint64_t timer_token = 0; // Long / Repeat event, 0 = none
    };

    std::uint64_t schedule(Nanos at, std::function<void()> fn);
    void cancel_token(std::uint64_t token);
    void do_press(InputKey key);
    void do_release(InputKey key);
    void on_timer(InputKey key, InputType type);
    void emit(InputKey key, InputType type, std::uint32_t sequence);
    static bool valid(const InputKey& key); // also for values that are no InputKey

    Runtime& runtime_;
    mutable std::recursive_mutex mutex_;
    Sink sink_;
    std::array<KeyState, InputKeyMAX> keys_{};
    std::uint32_t next_sequence_ = 1;
    std::uint64_t next_token_ = 1;
    std::map<std::uint64_t, std::uint64_t> pending_; // token -> runtime event id
    Nanos gestures_end_ = 0;
    std::vector<TimedInputEvent> history_;
};

} // namespace host
