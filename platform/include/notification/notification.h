/* Notification service: the status LED (steady colour and blinking), the vibration motor, the
 * speaker and the display backlight, driven by sequences of messages. Record "notification". */
#pragma once
#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RECORD_NOTIFICATION "notification"

typedef struct NotificationApp NotificationApp;

typedef enum {
    NotificationMessageTypeVibro,   /* data.vibro.on */
    NotificationMessageTypeSoundOn, /* data.sound.frequency, data.sound.volume */
    NotificationMessageTypeSoundOff,
    NotificationMessageTypeLedRed, /* data.led.value */
    NotificationMessageTypeLedGreen,
    NotificationMessageTypeLedBlue,
    NotificationMessageTypeLedBlinkStart, /* data.led_blink.on_time, .period, .color */
    NotificationMessageTypeLedBlinkStop,
    NotificationMessageTypeLedBlinkColor,       /* data.led_blink.color */
    NotificationMessageTypeDelay,               /* data.delay.length (ms) */
    NotificationMessageTypeLedDisplayBacklight, /* data.led.value */
    NotificationMessageTypeLedDisplayBacklightEnforceOn,
    NotificationMessageTypeLedDisplayBacklightEnforceAuto,
    NotificationMessageTypeDoNotReset, /* keep the sequence's effects when it ends */
    NotificationMessageTypeForceSpeakerVolumeSetting,
    NotificationMessageTypeForceVibroSetting,
    NotificationMessageTypeForceDisplayBrightnessSetting,
    NotificationMessageTypeLedBrightnessSettingApply,
    NotificationMessageTypeLcdContrastUpdate,
} NotificationMessageType;

typedef enum {
    LightRed = (1 << 0),
    LightGreen = (1 << 1),
    LightBlue = (1 << 2),
    LightBacklight = (1 << 3),
} Light;

typedef struct {
    uint8_t value;
} NotificationMessageDataLed;

typedef struct {
    bool on;
} NotificationMessageDataVibro;

typedef struct {
    float frequency;
    float volume;
} NotificationMessageDataSound;

typedef struct {
    uint32_t length;
} NotificationMessageDataDelay;

typedef struct {
    float speaker_volume;
    bool vibro;
    float display_brightness;
} NotificationMessageDataForcedSettings;

typedef struct {
    uint16_t on_time;
    uint16_t period;
    Light color; /* a combination of LightRed, LightGreen and LightBlue */
} NotificationMessageDataLedBlink;

typedef union {
    NotificationMessageDataSound sound;
    NotificationMessageDataLed led;
    NotificationMessageDataLedBlink led_blink;
    NotificationMessageDataVibro vibro;
    NotificationMessageDataDelay delay;
    NotificationMessageDataForcedSettings forced_settings;
} NotificationMessageData;

typedef struct {
    NotificationMessageType type;
    NotificationMessageData data;
} NotificationMessage;

/* A null-terminated list of messages. */
typedef const NotificationMessage* NotificationSequence[];

/* Queues the sequence; the service plays it on its own thread. */
void notification_message(NotificationApp* app, const NotificationSequence* sequence);
/* Queues the sequence and waits until it has been played. */
void notification_message_block(NotificationApp* app, const NotificationSequence* sequence);
void notification_internal_message(NotificationApp* app, const NotificationSequence* sequence);
void notification_internal_message_block(
    NotificationApp* app,
    const NotificationSequence* sequence);

#ifdef __cplusplus
}
#endif
