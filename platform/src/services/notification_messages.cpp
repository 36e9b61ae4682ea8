// The platform's stock notification messages and sequences.

#include <notification/notification_messages.h>

namespace {

constexpr NotificationMessage led(NotificationMessageType type, uint8_t value) {
    NotificationMessage m{};
    m.type = type;
    m.data.led.value = value;
    return m;
}

constexpr NotificationMessage
    blink(NotificationMessageType type, uint16_t on_time, uint16_t period, uint32_t color) {
    NotificationMessage m{};
    m.type = type;
    m.data.led_blink.on_time = on_time;
    m.data.led_blink.period = period;
    m.data.led_blink.color = static_cast<Light>(color);
    return m;
}

constexpr NotificationMessage delay(uint32_t length) {
    NotificationMessage m{};
    m.type = NotificationMessageTypeDelay;
    m.data.delay.length = length;
    return m;
}

constexpr NotificationMessage vibro(bool on) {
    NotificationMessage m{};
    m.type = NotificationMessageTypeVibro;
    m.data.vibro.on = on;
    return m;
}

constexpr NotificationMessage plain(NotificationMessageType type) {
    NotificationMessage m{};
    m.type = type;
    return m;
}

constexpr NotificationMessage
    forced(float speaker_volume, bool vibro_on, float display_brightness) {
    NotificationMessage m{};
    m.type = NotificationMessageTypeForceSpeakerVolumeSetting;
    m.data.forced_settings = {speaker_volume, vibro_on, display_brightness};
    return m;
}

// Equal temperament around A4 = 440 Hz; `semitone` counts from C0.
constexpr float note_frequency(int semitone) {
    constexpr float kRatios[12] = {
        1.0F,
        1.0594631F,
        1.1224620F,
        1.1892071F,
        1.2599210F,
        1.3348399F,
        1.4142136F,
        1.4983071F,
        1.5874011F,
        1.6817928F,
        1.7817974F,
        1.8877486F};
    float f = 16.351598F; // C0
    for(int octave = 0; octave < semitone / 12; ++octave) f *= 2.0F;
    return f * kRatios[semitone % 12];
}

constexpr NotificationMessage note(int semitone) {
    NotificationMessage m{};
    m.type = NotificationMessageTypeSoundOn;
    m.data.sound.frequency = note_frequency(semitone);
    m.data.sound.volume = 1.0F;
    return m;
}

} // namespace

extern "C" {

// Display
const NotificationMessage message_display_backlight_on =
    led(NotificationMessageTypeLedDisplayBacklight, 0xFF);
const NotificationMessage message_display_backlight_off =
    led(NotificationMessageTypeLedDisplayBacklight, 0x00);
const NotificationMessage message_display_backlight_enforce_on =
    led(NotificationMessageTypeLedDisplayBacklightEnforceOn, 0xFF);
const NotificationMessage message_display_backlight_enforce_auto =
    plain(NotificationMessageTypeLedDisplayBacklightEnforceAuto);

// LED
const NotificationMessage message_red_255 = led(NotificationMessageTypeLedRed, 0xFF);
const NotificationMessage message_green_255 = led(NotificationMessageTypeLedGreen, 0xFF);
const NotificationMessage message_blue_255 = led(NotificationMessageTypeLedBlue, 0xFF);
const NotificationMessage message_red_0 = led(NotificationMessageTypeLedRed, 0x00);
const NotificationMessage message_green_0 = led(NotificationMessageTypeLedGreen, 0x00);
const NotificationMessage message_blue_0 = led(NotificationMessageTypeLedBlue, 0x00);

const NotificationMessage message_blink_start_10 =
    blink(NotificationMessageTypeLedBlinkStart, 10, 100, 0);
const NotificationMessage message_blink_start_100 =
    blink(NotificationMessageTypeLedBlinkStart, 100, 1000, 0);
const NotificationMessage message_blink_stop = plain(NotificationMessageTypeLedBlinkStop);
const NotificationMessage message_blink_set_color_red =
    blink(NotificationMessageTypeLedBlinkColor, 0, 0, LightRed);
const NotificationMessage message_blink_set_color_green =
    blink(NotificationMessageTypeLedBlinkColor, 0, 0, LightGreen);
const NotificationMessage message_blink_set_color_blue =
    blink(NotificationMessageTypeLedBlinkColor, 0, 0, LightBlue);
const NotificationMessage message_blink_set_color_cyan =
    blink(NotificationMessageTypeLedBlinkColor, 0, 0, LightGreen | LightBlue);
const NotificationMessage message_blink_set_color_magenta =
    blink(NotificationMessageTypeLedBlinkColor, 0, 0, LightRed | LightBlue);
const NotificationMessage message_blink_set_color_yellow =
    blink(NotificationMessageTypeLedBlinkColor, 0, 0, LightRed | LightGreen);
const NotificationMessage message_blink_set_color_white =
    blink(NotificationMessageTypeLedBlinkColor, 0, 0, LightRed | LightGreen | LightBlue);

// Delays
const NotificationMessage message_delay_1 = delay(1);
const NotificationMessage message_delay_10 = delay(10);
const NotificationMessage message_delay_25 = delay(25);
const NotificationMessage message_delay_50 = delay(50);
const NotificationMessage message_delay_100 = delay(100);
const NotificationMessage message_delay_250 = delay(250);
const NotificationMessage message_delay_500 = delay(500);
const NotificationMessage message_delay_1000 = delay(1000);

// Sound
const NotificationMessage message_sound_off = plain(NotificationMessageTypeSoundOff);
const NotificationMessage message_click =
    note(12 * 4); // a short C4; sequences follow it with a delay

const NotificationMessage message_note_c0 = note(0);
const NotificationMessage message_note_cs0 = note(1);
const NotificationMessage message_note_d0 = note(2);
const NotificationMessage message_note_ds0 = note(3);
const NotificationMessage message_note_e0 = note(4);
const NotificationMessage message_note_f0 = note(5);
const NotificationMessage message_note_fs0 = note(6);
const NotificationMessage message_note_g0 = note(7);
const NotificationMessage message_note_gs0 = note(8);
const NotificationMessage message_note_a0 = note(9);
const NotificationMessage message_note_as0 = note(10);
const NotificationMessage message_note_b0 = note(11);
const NotificationMessage message_note_c1 = note(12);
const NotificationMessage message_note_cs1 = note(13);
const NotificationMessage message_note_d1 = note(14);
const NotificationMessage message_note_ds1 = note(15);
const NotificationMessage message_note_e1 = note(16);
const NotificationMessage message_note_f1 = note(17);
const NotificationMessage message_note_fs1 = note(18);
const NotificationMessage message_note_g1 = note(19);
const NotificationMessage message_note_gs1 = note(20);
const NotificationMessage message_note_a1 = note(21);
const NotificationMessage message_note_as1 = note(22);
const NotificationMessage message_note_b1 = note(23);
const NotificationMessage message_note_c2 = note(24);
const NotificationMessage message_note_cs2 = note(25);
const NotificationMessage message_note_d2 = note(26);
const NotificationMessage message_note_ds2 = note(27);
const NotificationMessage message_note_e2 = note(28);
const NotificationMessage message_note_f2 = note(29);
const NotificationMessage message_note_fs2 = note(30);
const NotificationMessage message_note_g2 = note(31);
const NotificationMessage message_note_gs2 = note(32);
const NotificationMessage message_note_a2 = note(33);
const NotificationMessage message_note_as2 = note(34);
const NotificationMessage message_note_b2 = note(35);
const NotificationMessage message_note_c3 = note(36);
const NotificationMessage message_note_cs3 = note(37);
const NotificationMessage message_note_d3 = note(38);
const NotificationMessage message_note_ds3 = note(39);
const NotificationMessage message_note_e3 = note(40);
const NotificationMessage message_note_f3 = note(41);
const NotificationMessage message_note_fs3 = note(42);
const NotificationMessage message_note_g3 = note(43);
const NotificationMessage message_note_gs3 = note(44);
const NotificationMessage message_note_a3 = note(45);
const NotificationMessage message_note_as3 = note(46);
const NotificationMessage message_note_b3 = note(47);
const NotificationMessage message_note_c4 = note(48);
const NotificationMessage message_note_cs4 = note(49);
const NotificationMessage message_note_d4 = note(50);
const NotificationMessage message_note_ds4 = note(51);
const NotificationMessage message_note_e4 = note(52);
const NotificationMessage message_note_f4 = note(53);
const NotificationMessage message_note_fs4 = note(54);
const NotificationMessage message_note_g4 = note(55);
const NotificationMessage message_note_gs4 = note(56);
const NotificationMessage message_note_a4 = note(57);
const NotificationMessage message_note_as4 = note(58);
const NotificationMessage message_note_b4 = note(59);
const NotificationMessage message_note_c5 = note(60);
const NotificationMessage message_note_cs5 = note(61);
const NotificationMessage message_note_d5 = note(62);
const NotificationMessage message_note_ds5 = note(63);
const NotificationMessage message_note_e5 = note(64);
const NotificationMessage message_note_f5 = note(65);
const NotificationMessage message_note_fs5 = note(66);
const NotificationMessage message_note_g5 = note(67);
const NotificationMessage message_note_gs5 = note(68);
const NotificationMessage message_note_a5 = note(69);
const NotificationMessage message_note_as5 = note(70);
const NotificationMessage message_note_b5 = note(71);
const NotificationMessage message_note_c6 = note(72);
const NotificationMessage message_note_cs6 = note(73);
const NotificationMessage message_note_d6 = note(74);
const NotificationMessage message_note_ds6 = note(75);
const NotificationMessage message_note_e6 = note(76);
const NotificationMessage message_note_f6 = note(77);
const NotificationMessage message_note_fs6 = note(78);
const NotificationMessage message_note_g6 = note(79);
const NotificationMessage message_note_gs6 = note(80);
const NotificationMessage message_note_a6 = note(81);
const NotificationMessage message_note_as6 = note(82);
const NotificationMessage message_note_b6 = note(83);
const NotificationMessage message_note_c7 = note(84);
const NotificationMessage message_note_cs7 = note(85);
const NotificationMessage message_note_d7 = note(86);
const NotificationMessage message_note_ds7 = note(87);
const NotificationMessage message_note_e7 = note(88);
const NotificationMessage message_note_f7 = note(89);
const NotificationMessage message_note_fs7 = note(90);
const NotificationMessage message_note_g7 = note(91);
const NotificationMessage message_note_gs7 = note(92);
const NotificationMessage message_note_a7 = note(93);
const NotificationMessage message_note_as7 = note(94);
const NotificationMessage message_note_b7 = note(95);
const NotificationMessage message_note_c8 = note(96);
const NotificationMessage message_note_cs8 = note(97);
const NotificationMessage message_note_d8 = note(98);
const NotificationMessage message_note_ds8 = note(99);
const NotificationMessage message_note_e8 = note(100);
const NotificationMessage message_note_f8 = note(101);
const NotificationMessage message_note_fs8 = note(102);
const NotificationMessage message_note_g8 = note(103);
const NotificationMessage message_note_gs8 = note(104);
const NotificationMessage message_note_a8 = note(105);
const NotificationMessage message_note_as8 = note(106);
const NotificationMessage message_note_b8 = note(107);

// Vibro
const NotificationMessage message_vibro_on = vibro(true);
const NotificationMessage message_vibro_off = vibro(false);

// Settings and misc
const NotificationMessage message_do_not_reset = plain(NotificationMessageTypeDoNotReset);
const NotificationMessage message_force_speaker_volume_setting_1f = forced(1.0F, false, 0.0F);
const NotificationMessage message_force_vibro_setting_on = [] {
    NotificationMessage m = forced(0.0F, true, 0.0F);
    m.type = NotificationMessageTypeForceVibroSetting;
    return m;
}();
const NotificationMessage message_force_vibro_setting_off = [] {
    NotificationMessage m = forced(0.0F, false, 0.0F);
    m.type = NotificationMessageTypeForceVibroSetting;
    return m;
}();
const NotificationMessage message_force_display_brightness_setting_1f = [] {
    NotificationMessage m = forced(0.0F, false, 1.0F);
    m.type = NotificationMessageTypeForceDisplayBrightnessSetting;
    return m;
}();
const NotificationMessage message_lcd_contrast_update =
    plain(NotificationMessageTypeLcdContrastUpdate);

// Reset
const NotificationSequence sequence_reset_red = {&message_red_0, nullptr};
const NotificationSequence sequence_reset_green = {&message_green_0, nullptr};
const NotificationSequence sequence_reset_blue = {&message_blue_0, nullptr};
const NotificationSequence sequence_reset_rgb =
    {&message_red_0, &message_blue_0, &message_green_0, nullptr};
const NotificationSequence sequence_reset_display = {&message_display_backlight_off, nullptr};
const NotificationSequence sequence_reset_sound = {&message_sound_off, nullptr};
const NotificationSequence sequence_reset_vibro = {&message_vibro_off, nullptr};

// Vibro
const NotificationSequence sequence_set_vibro_on = {
    &message_vibro_on,
    &message_do_not_reset,
    nullptr};

// Display
const NotificationSequence sequence_display_backlight_on = {&message_display_backlight_on, nullptr};
const NotificationSequence sequence_display_backlight_off = {
    &message_display_backlight_off,
    nullptr};
const NotificationSequence sequence_display_backlight_off_delay_1000 = {
    &message_delay_1000,
    &message_display_backlight_off,
    nullptr};
const NotificationSequence sequence_display_backlight_enforce_on = {
    &message_display_backlight_enforce_on,
    nullptr};
const NotificationSequence sequence_display_backlight_enforce_auto = {
    &message_display_backlight_enforce_auto,
    nullptr};

// Charging
const NotificationSequence sequence_charging =
    {&message_red_255, &message_green_0, &message_blue_0, nullptr};
const NotificationSequence sequence_charged =
    {&message_green_255, &message_red_0, &message_blue_0, nullptr};
const NotificationSequence sequence_not_charging =
    {&message_red_0, &message_green_0, &message_blue_0, nullptr};

// Solid colours
const NotificationSequence sequence_set_only_red_255 =
    {&message_red_255, &message_green_0, &message_blue_0, &message_do_not_reset, nullptr};
const NotificationSequence sequence_set_only_green_255 =
    {&message_red_0, &message_green_255, &message_blue_0, &message_do_not_reset, nullptr};
const NotificationSequence sequence_set_only_blue_255 =
    {&message_red_0, &message_green_0, &message_blue_255, &message_do_not_reset, nullptr};
const NotificationSequence sequence_set_red_255 = {
    &message_red_255,
    &message_do_not_reset,
    nullptr};
const NotificationSequence sequence_set_green_255 = {
    &message_green_255,
    &message_do_not_reset,
    nullptr};
const NotificationSequence sequence_set_blue_255 = {
    &message_blue_255,
    &message_do_not_reset,
    nullptr};
const NotificationSequence sequence_solid_yellow =
    {&message_red_255, &message_green_255, &message_blue_0, &message_do_not_reset, nullptr};

// Short flashes
const NotificationSequence sequence_blink_blue_10 = {&message_blue_255, &message_delay_10, nullptr};
const NotificationSequence sequence_blink_red_10 = {&message_red_255, &message_delay_10, nullptr};
const NotificationSequence sequence_blink_green_10 = {
    &message_green_255,
    &message_delay_10,
    nullptr};
const NotificationSequence sequence_blink_yellow_10 =
    {&message_red_255, &message_green_255, &message_delay_10, nullptr};
const NotificationSequence sequence_blink_cyan_10 =
    {&message_green_255, &message_blue_255, &message_delay_10, nullptr};
const NotificationSequence sequence_blink_magenta_10 =
    {&message_red_255, &message_blue_255, &message_delay_10, nullptr};
const NotificationSequence sequence_blink_red_100 = {&message_red_255, &message_delay_100, nullptr};
const NotificationSequence sequence_blink_green_100 = {
    &message_green_255,
    &message_delay_100,
    nullptr};
const NotificationSequence sequence_blink_blue_100 = {
    &message_blue_255,
    &message_delay_100,
    nullptr};
const NotificationSequence sequence_blink_yellow_100 =
    {&message_red_255, &message_green_255, &message_delay_100, nullptr};
const NotificationSequence sequence_blink_cyan_100 =
    {&message_green_255, &message_blue_255, &message_delay_100, nullptr};
const NotificationSequence sequence_blink_magenta_100 =
    {&message_red_255, &message_blue_255, &message_delay_100, nullptr};
const NotificationSequence sequence_blink_white_100 =
    {&message_red_255, &message_green_255, &message_blue_255, &message_delay_100, nullptr};

// Lasting blinks
const NotificationSequence sequence_blink_start_blue =
    {&message_blink_start_10, &message_blink_set_color_blue, &message_do_not_reset, nullptr};
const NotificationSequence sequence_blink_start_red =
    {&message_blink_start_10, &message_blink_set_color_red, &message_do_not_reset, nullptr};
const NotificationSequence sequence_blink_start_green =
    {&message_blink_start_10, &message_blink_set_color_green, &message_do_not_reset, nullptr};
const NotificationSequence sequence_blink_start_yellow =
    {&message_blink_start_10, &message_blink_set_color_yellow, &message_do_not_reset, nullptr};
const NotificationSequence sequence_blink_start_cyan =
    {&message_blink_start_10, &message_blink_set_color_cyan, &message_do_not_reset, nullptr};
const NotificationSequence sequence_blink_start_magenta =
    {&message_blink_start_10, &message_blink_set_color_magenta, &message_do_not_reset, nullptr};
const NotificationSequence sequence_blink_stop = {&message_blink_stop, nullptr};

// Feedback
const NotificationSequence sequence_single_vibro = {&message_vibro_on, &message_delay_100, nullptr};
const NotificationSequence sequence_double_vibro = {
    &message_vibro_on,
    &message_delay_100,
    &message_vibro_off,
    &message_delay_100,
    &message_vibro_on,
    &message_delay_100,
    nullptr};
const NotificationSequence sequence_success = {
    &message_display_backlight_on,
    &message_green_255,
    &message_vibro_on,
    &message_note_c5,
    &message_delay_50,
    &message_vibro_off,
    &message_note_e5,
    &message_delay_50,
    &message_note_g5,
    &message_delay_50,
    &message_note_c6,
    &message_delay_50,
    &message_sound_off,
    nullptr,
};
const NotificationSequence sequence_error = {
    &message_display_backlight_on,
    &message_red_255,
    &message_vibro_on,
    &message_note_c5,
    &message_delay_100,
    &message_vibro_off,
    &message_sound_off,
    &message_delay_10,
    &message_vibro_on,
    &message_note_c5,
    &message_delay_100,
    &message_vibro_off,
    &message_sound_off,
    nullptr,
};
const NotificationSequence sequence_audiovisual_alert = {
    &message_force_speaker_volume_setting_1f,
    &message_force_vibro_setting_on,
    &message_force_display_brightness_setting_1f,
    &message_vibro_on,
    &message_display_backlight_on,
    &message_note_c7,
    &message_delay_250,
    &message_display_backlight_off,
    &message_note_c4,
    &message_delay_250,
    &message_display_backlight_on,
    &message_note_c7,
    &message_delay_250,
    &message_display_backlight_off,
    &message_note_c4,
    &message_delay_250,
    &message_sound_off,
    &message_vibro_off,
    &message_display_backlight_on,
    nullptr,
};
const NotificationSequence sequence_lcd_contrast_update = {&message_lcd_contrast_update, nullptr};

} // extern "C"
