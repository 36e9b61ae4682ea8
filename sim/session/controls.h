#pragma once
// What the live front-ends (the terminal and the web page) share about the virtual hardware and
// the screen: the status texts (the LED, the outputs, the module's field or the walk), the module
// faults a person can cause by name, and whether the on-screen keyboard shows. The LED's colour
// names are session/colours.h's.

#include <string>
#include <string_view>

#include "devices/yrm100.h"
#include "host/notification.h"
#include "host/screen.h"
#include "host/time.h"
#include "session/app_session.h"
#include "session/colours.h"

namespace sim {

/// "LED cyan blinking", "LED green", "LED off", "LED cyan blinking over red".
std::string led_text(const host::NotificationState& state);

/// "LED cyan blinking · vibro off · speaker off · 5V on · 12.3 s".
std::string outputs_text(const host::NotificationState& state, bool otg_on, host::Nanos now);

/// The virtual hardware: "module: plugged · 1 tag in the field: E200..." for corvane,
/// "sensor: walking · 12 steps taken" for pacewick, "module: the serial line is LOST: ..." for a
/// real module whose line failed; empty when there is none to show.
std::string hardware_text(AppSession& session);

/// The tag's EPC as it is now, in hex without spaces ("(no EPC)" for none).
std::string epc_hex(const yrm100::VirtualTag& tag);

/// The module's next reply spoilt by name: "silence" (none), "corrupt" (a flipped bit),
/// "cut" (its first 4 bytes only), "noise" (16 random bytes instead), "delay" (250 ms late);
/// null for any other name.
Yrm100Fault fault_of(std::string_view kind);
inline constexpr const char* kFaultKinds = "silence, corrupt, cut, noise or delay";
/// The same fault as a scenario's module step ("{fault: cut-short, keep: 4}"); empty for any
/// other name.
std::string fault_step(std::string_view kind);

/// The on-screen keyboard of the text input is showing (its field's frame is drawn, and no
/// message covers it).
bool shows_keyboard(const host::Screen& screen);

} // namespace sim
