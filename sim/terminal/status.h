#pragma once
// The text lines under the live screen: what the screen says, the outputs (LED, vibro, speaker,
// 5 V, virtual time), and the virtual hardware (the module's field, or the walk).

#include <string>
#include <vector>

#include "host/notification.h"
#include "host/screen.h"
#include "host/time.h"
#include "session/app_session.h"

namespace sim::terminal {

/// "LED cyan blinking", "LED green", "LED off", "LED cyan blinking over red".
std::string led_text(const host::NotificationState& state);

/// "LED cyan blinking · vibro off · speaker off · 5V on · 12.3 s".
std::string outputs_text(const host::NotificationState& state, bool otg_on, host::Nanos now);

/// What the screen says, for the status line: its strings in drawing order, the selected item
/// of a menu or the file browser marked "> Saved", unprintable bytes escaped; blank strings and
/// the text input's cursor marks are left out.
std::vector<std::string> screen_strings(const host::Screen& screen);

/// The strings on "screen:" lines: "screen: Read Tag | > Saved | Settings". Blank strings are
/// left out; lines break between strings to stay within `columns`, at most `max_lines` of them.
std::vector<std::string>
    screen_text_lines(const std::vector<std::string>& strings, int columns, int max_lines);

/// The virtual hardware: "module: plugged · 1 tag in the field: E200..." for corvane,
/// "sensor: walking · 12 steps taken" for pacewick; empty when there is none to show.
std::string hardware_text(AppSession& session);

} // namespace sim::terminal
