// The notification service: a thread that plays message sequences on the virtual clock and keeps
// the resulting LED / vibro / speaker / backlight state where tests and front-ends can read it.

#include <notification/notification.h>

#include <furi.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/fatal.h"
#include "host/notification.h"
#include "host/runtime.h"

namespace {

constexpr uint32_t kQueueLength = 16;

struct Message {
    const NotificationSequence* sequence; // null: stop the service
    FuriSemaphore* done;                  // released when played (blocking calls)
};

host::Rgb rgb_of(uint32_t light) {
    return {
        static_cast<uint8_t>((light & LightRed) ? 255 : 0),
        static_cast<uint8_t>((light & LightGreen) ? 255 : 0),
        static_cast<uint8_t>((light & LightBlue) ? 255 : 0)};
}

} // namespace

struct NotificationApp {
    FuriMessageQueue* queue = nullptr;
    FuriThread* thread = nullptr;

    mutable std::mutex mutex; // guards what front-ends read from other OS threads
    host::NotificationState state;
    std::vector<host::NotificationChange> history;
    std::vector<host::PlayedSequence> sequences;

    void publish(const host::NotificationState& next) {
        std::lock_guard lock(mutex);
        if(next == state) return;
        state = next;
        history.push_back({host::Runtime::current().now(), next});
    }

    void play(const NotificationSequence* sequence);
};

void NotificationApp::play(const NotificationSequence* sequence) {
    host::NotificationState s;
    {
        std::lock_guard lock(mutex);
        s = state;
        sequences.push_back({host::Runtime::current().now(), sequence});
    }
    bool reset = true;
    bool touched_red = false, touched_green = false, touched_blue = false;
    bool touched_vibro = false, touched_sound = false, started_blink = false;

    for(const NotificationMessage* const* it = *sequence; *it != nullptr; ++it) {
        const NotificationMessage& m = **it;
        switch(m.type) {
        case NotificationMessageTypeLedRed:
            s.led.r = m.data.led.value;
            touched_red = true;
            break;
        case NotificationMessageTypeLedGreen:
            s.led.g = m.data.led.value;
            touched_green = true;
            break;
        case NotificationMessageTypeLedBlue:
            s.led.b = m.data.led.value;
            touched_blue = true;
            break;
        case NotificationMessageTypeLedBlinkStart:
            s.blinking = true;
            s.blink_on_ms = m.data.led_blink.on_time;
            s.blink_period_ms = m.data.led_blink.period;
            s.blink_color = rgb_of(m.data.led_blink.color);
            s.blink_since = host::Runtime::current().now();
            started_blink = true;
            break;
        case NotificationMessageTypeLedBlinkColor:
            s.blink_color = rgb_of(m.data.led_blink.color);
            break;
        case NotificationMessageTypeLedBlinkStop:
            s.blinking = false;
            s.blink_color = {};
            break;
        case NotificationMessageTypeVibro:
            s.vibro = m.data.vibro.on;
            touched_vibro = true;
            break;
        case NotificationMessageTypeSoundOn:
            s.speaker_hz = m.data.sound.frequency;
            s.speaker_volume = m.data.sound.volume;
            touched_sound = true;
            break;
        case NotificationMessageTypeSoundOff:
            s.speaker_hz = 0;
            s.speaker_volume = 0;
            touched_sound = true;
            break;
        case NotificationMessageTypeLedDisplayBacklight:
            s.backlight = m.data.led.value;
            break;
        case NotificationMessageTypeDelay:
            publish(s);
            furi_delay_ms(m.data.delay.length);
            break;
        case NotificationMessageTypeDoNotReset:
            reset = false;
            break;
        default:
            break; // settings overrides and display enforcement have no visible effect here
        }
        publish(s);
    }
    if(reset) {
        if(touched_red) s.led.r = 0;
        if(touched_green) s.led.g = 0;
        if(touched_blue) s.led.b = 0;
        if(touched_vibro) s.vibro = false;
        if(touched_sound) s.speaker_hz = s.speaker_volume = 0;
        if(started_blink) {
            s.blinking = false;
            s.blink_color = {};
        }
        publish(s);
    }
}

namespace {

int32_t service_main(void* context) {
    auto* app = static_cast<NotificationApp*>(context);
    Message message{};
    while(furi_message_queue_get(app->queue, &message, FuriWaitForever) == FuriStatusOk) {
        if(message.sequence == nullptr) break;
        app->play(message.sequence);
        if(message.done != nullptr) furi_semaphore_release(message.done);
    }
    return 0;
}

void send(NotificationApp* app, const NotificationSequence* sequence, bool block, const char* what) {
    host::NotNull<NotificationApp>{"notification app"}(app, what);
    host::NotNull<const NotificationSequence>{"sequence"}(sequence, what);
    const bool irq = furi_kernel_is_irq_or_masked();
    if(block && irq) host::fatal("%s: cannot wait in interrupt context", what);
    Message message{sequence, block ? furi_semaphore_alloc(1, 0) : nullptr};
    if(furi_message_queue_put(
           app->queue, &message, irq ? 0U : static_cast<uint32_t>(FuriWaitForever)) !=
       FuriStatusOk) {
        FURI_LOG_W("Notification", "queue full, sequence dropped");
        return;
    }
    if(message.done != nullptr) {
        furi_semaphore_acquire(message.done, FuriWaitForever);
        furi_semaphore_free(message.done);
    }
}

} // namespace

extern "C" {

void notification_message(NotificationApp* app, const NotificationSequence* sequence) {
    send(app, sequence, false, "notification_message");
}

void notification_message_block(NotificationApp* app, const NotificationSequence* sequence) {
    send(app, sequence, true, "notification_message_block");
}

void notification_internal_message(NotificationApp* app, const NotificationSequence* sequence) {
    send(app, sequence, false, "notification_internal_message");
}

void notification_internal_message_block(
    NotificationApp* app,
    const NotificationSequence* sequence) {
    send(app, sequence, true, "notification_internal_message_block");
}

} // extern "C"

namespace host {

Rgb NotificationState::led_at(Nanos t) const {
    if(!blinking || blink_period_ms == 0 || t < blink_since) return led;
    const Nanos phase = (t - blink_since) % ms(blink_period_ms);
    return phase < ms(blink_on_ms) ? blink_color : led;
}

NotificationService::NotificationService(Runtime& runtime)
    : app_(new NotificationApp) {
    (void)runtime;
    app_->state.backlight = 255;
    app_->queue = furi_message_queue_alloc(kQueueLength, sizeof(Message));
    app_->thread = furi_thread_alloc_ex("NotificationSrv", 1024, service_main, app_);
    furi_thread_set_priority(app_->thread, FuriThreadPriorityHigh);
    furi_thread_start(app_->thread);
    furi_record_create(RECORD_NOTIFICATION, app_);
}

NotificationService::~NotificationService() {
    if(!host::record_destroy(RECORD_NOTIFICATION)) {
        host::fatal(
            "NotificationService: the \"notification\" record is still open; close it before the service ends");
    }
    Message stop{nullptr, nullptr};
    furi_message_queue_put(app_->queue, &stop, FuriWaitForever);
    furi_thread_join(app_->thread);
    furi_thread_free(app_->thread);
    furi_message_queue_free(app_->queue);
    delete app_;
}

NotificationApp* NotificationService::app() const {
    return app_;
}

NotificationState NotificationService::state() const {
    std::lock_guard lock(app_->mutex);
    return app_->state;
}

std::vector<NotificationChange> NotificationService::history() const {
    std::lock_guard lock(app_->mutex);
    return app_->history;
}

std::vector<PlayedSequence> NotificationService::sequences() const {
    std::lock_guard lock(app_->mutex);
    return app_->sequences;
}

std::size_t NotificationService::count(const NotificationSequence* sequence) const {
    std::lock_guard lock(app_->mutex);
    return static_cast<std::size_t>(std::count_if(
        app_->sequences.begin(), app_->sequences.end(), [&](const PlayedSequence& played) {
            return played.sequence == sequence;
        }));
}

void NotificationService::clear_history() {
    std::lock_guard lock(app_->mutex);
    app_->history.clear();
    app_->sequences.clear();
}

} // namespace host
