#pragma once
#include <notification/notification.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "host/time.h"

namespace host {

class Runtime;

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
    bool off() const { return r == 0 && g == 0 && b == 0; }
};

/// What the notification hardware does at one moment.
struct NotificationState {
    Rgb led;               ///< the steady colour
    bool blinking = false; ///< the LED blinks blink_color over the steady colour
    Rgb blink_color;
    std::uint16_t blink_on_ms = 0;
    std::uint16_t blink_period_ms = 0;
    Nanos blink_since = 0; ///< when the blinking started
    bool vibro = false;
    float speaker_hz = 0; ///< 0: silent
    float speaker_volume = 0;
    std::uint8_t backlight = 0; ///< display backlight brightness

    /// The colour the LED shows at virtual time t (blink phase included).
    Rgb led_at(Nanos t) const;
    bool operator==(const NotificationState&) const = default;
};

struct NotificationChange {
    Nanos time = 0;
    NotificationState state;
};

struct PlayedSequence {
    Nanos time = 0; ///< when the service started playing it
    const NotificationSequence* sequence = nullptr;
};

/// The notification service of the host runtime: the record "notification" (a NotificationApp*)
/// and its thread "NotificationSrv", which plays queued sequences in virtual time. A sequence's
/// effects on the LED channels, vibro, sound and blinking are undone when it ends unless it holds
/// message_do_not_reset.
///
/// Construct on a platform thread after the Runtime; destroy it before the Runtime, after the
/// apps closed the record. The service runs at High priority, so a sequence's first effects are
/// visible as soon as notification_message returns:
///     host::NotificationService notifications(runtime);
///     ... run the app ...
///     EXPECT_TRUE(notifications.state().blinking);
///     EXPECT_EQ(notifications.count(&sequence_success), 1u);
class NotificationService {
public:
    explicit NotificationService(Runtime& runtime);
    ~NotificationService();
    NotificationService(const NotificationService&) = delete;
    NotificationService& operator=(const NotificationService&) = delete;

    NotificationApp* app() const;

    /// Thread-safe reads, from any OS thread.
    NotificationState state() const;
    /// Every change of state, in order, with its virtual time.
    std::vector<NotificationChange> history() const;
    /// Every sequence received, in order.
    std::vector<PlayedSequence> sequences() const;
    /// How many times `sequence` was received.
    std::size_t count(const NotificationSequence* sequence) const;
    void clear_history();

private:
    NotificationApp* app_;
};

} // namespace host
